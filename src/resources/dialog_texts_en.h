// The language module's dialog and menu texts (English), for dialogs.rci.
#define WBFAX_DIALOG_FONT FONT 8, "MS Shell Dlg", 0, 0, 0x1
#define WBFAX_DIALOG_FONT_PLAIN FONT 8, "MS Shell Dlg"
#define T_OK "OK"
#define T_CANCEL "Cancel"
#define T_NEW "New"
#define T_EDIT "Edit"
#define T_DELETE "Delete"

#define T_LIST_CAPTION "Distribution Settings"
#define T_LIST_FOLDER "Folder"
#define T_LIST_RULES "Distribution rules"
#define T_LIST_CONDITION "Condition"
#define T_LIST_ENVIRONMENT "Environment"
#define T_LIST_LOG "Log"

#define T_ENV_CAPTION "Environment Settings"
#define T_ENV_BY_MAIL "Notify by mail"
#define T_ENV_SERVER "SMTP server name"
#define T_ENV_PORT "SMTP port number"
#define T_ENV_ATTACH "Attach the received file"
#define T_ENV_SIZE "Data size"
#define T_ENV_TO_HOST "Notify Scanner Quillbox"
#define T_ENV_KEEP "Keep notices for"
#define T_ENV_DAYS "d"

#define T_DEST_CAPTION "Destination Settings"
#define T_DEST_FOLDER "Storage folder"
#define T_DEST_PICK "..."

#define T_MAIL_CAPTION "Mail Address"
#define T_MAIL_ADD "Add"

#define T_LOG_CAPTION "Error Log"

#define T_MENU_FOLDER "Folder"
#define T_MENU_NEW_FOLDER "New Folder"
#define T_MENU_RENAME "Rename"
#define T_MENU_PROPERTIES "Properties"
