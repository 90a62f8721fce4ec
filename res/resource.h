#pragma once
// Resource and control ids shared by the resource script and the code.

#define IDD_ABOUTBOX       100
#define ID_STR_ABOUT       101
#define IDD_CORVANE_DIALOG 102
#define ID_STR_HISTORY     103
#define IDR_MAINFRAME      128
#define IDR_TRAYMENU       131
#define IDD_SETTINGS       132
#define IDD_WEB_TARGETS    133
#define IDD_WEB_TARGET     134
#define IDD_HISTORY        135
#define IDB_POPUP_SKIN     136
#define IDB_MAIN_SKIN      137

// Main window.
#define IDC_INET     1000
#define IDC_IP       1001
#define IDC_UPDATE   1002
#define IDC_IP6      1003
#define IDC_SMTP     1004
#define IDC_SETTINGS 1005
#define IDC_STATUS   1016
#define IDC_HIDE     1018

// Settings dialog (the mail control is IDC_SMTP there too).
#define IDC_SMTP_SERVER    1006
#define IDC_USERNAME       1007
#define IDC_PASSWORD       1008
#define IDC_SENDTO         1009
#define IDC_FROM           1010
#define IDC_AUTHENTICATION 1011
#define IDC_TIMER          1012
#define IDC_TEST_EMAIL     1013
#define IDC_SETTINGS_HELP  1014
#define IDC_LINK           1015
#define IDC_WEB_NOTIFY     1017
#define IDC_IPV6           1029

// The web targets' list and the editor of one target.
#define IDC_WEB_URL         1020
#define IDC_WEB_METHOD      1021
#define IDC_WEB_BODY        1022
#define IDC_WEB_TEST        1023
#define IDC_WEB_TARGET_LIST 1024
#define IDC_WEB_ADD         1025
#define IDC_WEB_EDIT        1026
#define IDC_WEB_REMOVE      1027
#define IDC_WEB_HEADERS     1028
#define IDC_WEB_WHEN        1032

// The history of address changes.
#define IDC_HISTORY_LIST 1030
#define IDC_HISTORY_COPY 1031

// Tray menu commands.
#define ID_MENU_RESTORE 32771
#define ID_MENU_EXIT    32772
#define ID_MENU_HISTORY 32773

// The About and History items of the main window's system menu.
#define ID_SYSCMD_ABOUT   0x0010
#define ID_SYSCMD_HISTORY 0x0020
