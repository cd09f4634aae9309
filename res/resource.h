// Resource ids shared by the .rc files and the C++ code. Plain #defines only:
// the resource compiler reads this file too.
#pragma once

#define IDC_STATIC (-1)

// Program icon, on every dialog.
#define IDR_MAINFRAME 128

// Main dialog (MainDlg.rc) and its menu.
#define IDD_UPGRADE_DIALOG 102
#define IDR_MAIN_MENU 129
#define IDC_LOCATION_LABEL 1000
#define IDC_PATH_EDIT 1001
#define IDC_UPGRADE 1006
#define IDC_FOLDER_MODE 1007
#define IDC_FILE_MODE 1008
#define IDC_MODE_GROUP 1009
#define IDC_BROWSE 3
#define ID_FILE_EXIT 32772
#define ID_SETUP_COMPORT 32773
#define ID_SETUP_PREVIEW 32774
#define ID_SETUP_BATCH 32775
#define ID_FILE_SUPPORT 32776
#define IDM_ABOUTBOX 16

// About box (AboutDlg.rc).
#define IDD_ABOUTBOX 100
#define IDC_ABOUT_NAME 1009
#define IDC_ABOUT_VERSION 1011
#define IDC_ABOUT_RELEASE 1012
#define IDC_ABOUT_LINE1 1013
#define IDC_ABOUT_LINE2 1014

// COM port dialog (ComPortDlg.rc): button id = IDC_COMPORT_COM1 - 1 + port.
#define IDD_COMPORT 131
#define IDC_COMPORT_GROUP 1012
#define IDC_COMPORT_COM1 1013
#define IDC_COMPORT_COM2 1014
#define IDC_COMPORT_COM3 1015
#define IDC_COMPORT_COM4 1016
#define IDC_COMPORT_COM5 1017
#define IDC_COMPORT_COM6 1018
#define IDC_COMPORT_COM7 1019
#define IDC_COMPORT_COM8 1020
#define IDC_COMPORT_COM9 1021
#define IDC_COMPORT_COM10 1022
#define IDC_COMPORT_COM11 1023
#define IDC_COMPORT_COM12 1024
#define IDC_COMPORT_COM13 1025
#define IDC_COMPORT_COM14 1026
#define IDC_COMPORT_COM15 1027
#define IDC_COMPORT_COM16 1028
#define IDC_COMPORT_COM17 1029
#define IDC_COMPORT_COM18 1030
#define IDC_COMPORT_COM19 1031
#define IDC_COMPORT_COM20 1032
// Below the buttons: the ports above COM20, and the chosen port's device name.
#define IDC_MORE_PORTS_LABEL 1033
#define IDC_MORE_PORTS 1034
#define IDC_PORT_NAME 1035

// Radio after radio (BatchDlg.rc): the list of radios, the status line, Stop
// and Save report; Close is IDCANCEL, so Esc and the close box end there too.
#define IDD_BATCH 132
#define IDC_BATCH_LIST 1040
#define IDC_BATCH_STATUS 1041
#define IDC_BATCH_STOP 1042
#define IDC_BATCH_SAVE 1043
