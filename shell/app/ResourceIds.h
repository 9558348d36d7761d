#pragma once

// Identifiers shared by Kestrum.rc and the code; plain defines so that the resource compiler
// reads them too.

// The class of the hidden main window, by which a later start finds the first one.
#define MAIN_WINDOW_CLASS "KestrumMainWindow"

#define IDD_ABOUTBOX 100
#define IDD_HIDDEN_OWNER 143
#define IDD_MONITOR 144
#define IDD_DETAILS 147

#define IDS_ABOUTBOX 101
#define IDS_SOCKETS_FAILED 103
#define IDS_PRODUCT_NAME 104
#define IDS_MONITOR_FAILED 105

#define IDI_APPLICATION_ICON 128
#define IDR_TRAY_MENU 131
#define IDI_LEVEL_9 132
#define IDI_LEVEL_1 133
#define IDI_LEVEL_2 134
#define IDI_LEVEL_3 135
#define IDI_LEVEL_4 136
#define IDI_LEVEL_5 137
#define IDI_LEVEL_6 138
#define IDI_LEVEL_7 139
#define IDI_LEVEL_8 140
#define IDI_LEVEL_0 141
#define IDB_APPLY 142
#define IDB_APPLY_150 145
#define IDB_APPLY_200 146

#define IDC_STATUS 1000
#define IDC_RECEIVED_GRAPH 1003
#define IDC_SENT_GRAPH 1004
#define IDC_RECEIVED_READOUT 1005
#define IDC_SENT_READOUT 1006
#define IDC_SCALE_EDIT 1007
#define IDC_APPLY 1008
#define IDC_LINK 1009
#define IDC_SETTINGS_CAPTION 1010
#define IDC_RECEIVED_CAPTION 1011
#define IDC_SENT_CAPTION 1012
#define IDC_REFRESH_EDIT 1013
#define IDC_VERSION_TEXT 1013

// The details window's values, one read-only edit per row, in the order shown.
#define IDC_DETAILS_NAME 1020
#define IDC_DETAILS_MANUFACTURER 1021
#define IDC_DETAILS_MODEL 1022
#define IDC_DETAILS_ACCESS 1023
#define IDC_DETAILS_CAPACITY 1024
#define IDC_DETAILS_SHARE 1025
#define IDC_DETAILS_CONNECTION 1026
#define IDC_DETAILS_ADDRESS 1027
#define IDC_DETAILS_TOTALS 1028

#define ID_TRAY_EXIT 32771
#define ID_TRAY_ABOUT 32773
#define ID_TRAY_OPEN 32774
#define ID_TRAY_DETAILS 32775

// The system-menu command of "&About..."; the system reserves the low four bits.
#define IDM_ABOUTBOX 0x0010
