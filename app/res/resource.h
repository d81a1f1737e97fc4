// Resource identifiers of Ampwise, shared by the resource script and the sources.
#pragma once

// Icons.
#define IDR_MAINFRAME 128  // the application's window icon
#define IDI_ONLINE 132     // tray icon while the charging request succeeds
#define IDI_OFFLINE 133    // tray icon while it fails, and at start

// Dialogs.
#define IDD_AMPWISE_DIALOG 102
#define IDD_NOTIFY_DIALOG 137

// Controls of the main dialog.
#define IDC_SHOW_NOTIFY 1000
#define IDC_ICON_STATIC 1005
#define IDC_EDIT_UNUSED 1015

// Controls of the notify dialog.
#define IDC_PORT2_BUTTON 1001
#define IDC_PORT3_BUTTON 1002
#define IDC_PORT4_BUTTON 1003
#define IDC_PORT1_BUTTON 1006
#define IDC_PORT1_DETECTED 1010
#define IDC_PORT2_DETECTED 1011
#define IDC_PORT3_DETECTED 1012
#define IDC_PORT4_DETECTED 1013
#define IDC_NOTIFY_TITLE 1014

// Strings.
#define IDS_TIP_OFFLINE 1001
#define IDS_SKIP_OPTION 1002  // "YesForSkip" skips the Vexa-hub condition of charging
#define IDS_TIP_ONLINE 1003
#define IDS_NOTIFY_TITLE 1004
#define IDS_TIP_DETECTED 1005
#define IDS_TIP_CHARGING 1006
#define IDS_BALLOON_TEXT 1007
#define IDS_POWER_PLAN_OPTION 1008  // "Yes" changes the power plan for the whole run
