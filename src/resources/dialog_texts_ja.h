// The module's own dialog and menu texts (Japanese), for dialogs.rci. UTF-8.
#define WBFAX_DIALOG_FONT FONT 9, "ＭＳ Ｐゴシック", 0, 0, 0x80
#define WBFAX_DIALOG_FONT_PLAIN FONT 9, "ＭＳ Ｐゴシック"
#define T_OK "OK"
#define T_CANCEL "ｷｬﾝｾﾙ"
#define T_NEW "新規"
#define T_EDIT "編集"
#define T_DELETE "削除"

#define T_LIST_CAPTION "配信設定リスト"
#define T_LIST_FOLDER "フォルダ"
#define T_LIST_RULES "配信設定リスト"
#define T_LIST_CONDITION "配信条件"
#define T_LIST_ENVIRONMENT "環境設定"
#define T_LIST_LOG "ログ"

#define T_ENV_CAPTION "環境設定"
#define T_ENV_BY_MAIL "メールで受信通知を行う"
#define T_ENV_SERVER "SMTPサーバ名"
#define T_ENV_PORT "SMTPポート番号"
#define T_ENV_ATTACH "受信通知メールにFileを添付する"
#define T_ENV_SIZE "データサイズ"
#define T_ENV_TO_HOST "Scanner Quillboxに受信通知を送る"
#define T_ENV_KEEP "受信通知保持期間"
#define T_ENV_DAYS "日"

#define T_DEST_CAPTION "配信先設定"
#define T_DEST_FOLDER "保存先フォルダ"
#define T_DEST_PICK "..."

#define T_MAIL_CAPTION "Mail Address"
#define T_MAIL_ADD "追加"

#define T_LOG_CAPTION "Error Log"

#define T_MENU_FOLDER "フォルダ"
#define T_MENU_NEW_FOLDER "新規作成"
#define T_MENU_RENAME "名前の変更"
#define T_MENU_PROPERTIES "プロパティ"
