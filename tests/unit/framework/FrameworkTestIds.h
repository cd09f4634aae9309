#pragma once

#define IDD_TEST_DIALOG 200
#define IDC_TEST_EDIT 201
#define IDC_TEST_BUTTON 202
#define ID_TEST_COMMAND 300
