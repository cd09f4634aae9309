// Ids of the driver's test dialog: the same shape as the program's main
// dialog, so the driver can be tried before (and independently of) it.
#pragma once
#define IDD_TEST 102
#define IDM_TEST 129
#define IDC_LABEL 1000
#define IDC_PATH 1001
#define IDC_BROWSE 3
#define IDC_UPGRADE 1006
#define IDC_FOLDER 1007
#define IDC_FILE 1008
#define IDC_GROUP 1009
#define IDM_COMPORT 32773
#define IDM_ABOUT 16
