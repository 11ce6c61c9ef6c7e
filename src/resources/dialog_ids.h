// Resource ids of the settings dialogs, their controls and the folder menu: shared by the
// resource scripts (the module's own and the language module's), the drawn dialogs and the
// tests that drive them. Plain #defines, so that the resource compiler reads them too.
#pragma once

#define IDD_DISTRIBUTION_LIST 101
#define IDD_ENVIRONMENT 102
#define IDD_DESTINATION 104
#define IDM_FOLDER 107
#define IDD_MAIL_ADDRESS 108
#define IDD_ERROR_LOG 110

// 101: the distribution settings list
#define IDC_BOX_FOLDER 1002
#define IDC_KIND_LIST 1103
#define IDC_RULE_NEW 1104
#define IDC_RULE_EDIT 1105
#define IDC_RULE_DELETE 1106
#define IDC_RULE_LIST 1107
#define IDC_ENVIRONMENT 1108
#define IDC_ERROR_LOG 1109

// 102: the environment settings
#define IDC_SMTP_SERVER 1001
#define IDC_SMTP_PORT 1004
#define IDC_NOTIFY_DAYS 1007
#define IDC_NOTIFY_BY_MAIL 1015
#define IDC_NOTIFY_HOST 1017
#define IDC_NOTIFY_DAYS_SPIN 1018
#define IDC_FILE_SIZE 1019
#define IDC_ATTACH_FILE 1021

// 104: the destination settings and its folder tree
#define IDC_SELECTED_FOLDER 1006
#define IDC_MAIL_LIST 1008
#define IDC_FOLDER_TREE 1009
#define IDC_ADDRESS_NEW 1010
#define IDC_ADDRESS_EDIT 1011
#define IDC_ADDRESS_DELETE 1012
#define IDC_PC_LIST 1014
#define IDC_ADDRESS_PICK 1016
#define IDC_CODE_LABEL 1200
#define IDC_CODE 1201
#define IDC_FOLDER_NAME 1202
#define IDC_KEY_NAME 1203

// 108 and 110
#define IDC_MAIL_ADD 1013
#define IDC_WINDOW_LIST 1101
#define IDC_STATUS_BAR 200

// The folder menu's commands
#define IDM_NEW_FOLDER 40001
#define IDM_FOLDER_PROPERTIES 40002
#define IDM_RENAME_FOLDER 40003
