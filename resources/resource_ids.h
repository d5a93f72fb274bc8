// Ids of the client's resources, controls and menu commands: one name for each number
// that the shell, the dialogs and the resource tables share.
#pragma once

// ---- String table.
inline constexpr int IDS_ADDRESS_COUNT_ONE = 1;   // "(%d address)"
inline constexpr int IDS_ADDRESS_COUNT_MANY = 2;  // "(%d addresses)"
inline constexpr int IDS_FILL_ALL_FIELDS = 3;
inline constexpr int IDS_EMAILS_DIFFER = 4;
inline constexpr int IDS_INVALID_EMAIL = 5;
inline constexpr int IDS_APP_TITLE = 6;  // main window title, navigation-bar text
inline constexpr int IDS_CONNECT_FAILED = 7;
inline constexpr int IDS_CLEAR_ATTACHMENT_QUESTION = 8;  // takes the attachment path
inline constexpr int IDS_CLEAR_ATTACHMENT_CAPTION = 9;
inline constexpr int IDS_CUSTOM_PICTURE_VERIFY = 10;
inline constexpr int IDS_CUSTOM_PICTURE_TOO_BIG = 11;
inline constexpr int IDS_CLEAR_CUSTOM_PICTURE_QUESTION = 12;
inline constexpr int IDS_CLEAR_CUSTOM_PICTURE_CAPTION = 13;
inline constexpr int IDS_WINDOW_CLASS = 14;  // also what the single-instance check looks for
inline constexpr int IDS_NO_BROWSER = 15;
inline constexpr int IDS_APP_NAME = 16;  // message box captions
inline constexpr int IDS_NO_MESSAGE = 17;
inline constexpr int IDS_FIRST = IDS_ADDRESS_COUNT_ONE;
inline constexpr int IDS_LAST = IDS_NO_MESSAGE;

// ---- Icon, menu and dialog templates.
inline constexpr int IDI_APP = 101;
inline constexpr int IDR_MAIN_MENU = 103;
inline constexpr int MENU_POS_OPTION = 0;  // pop-ups of the main menu, by position
inline constexpr int MENU_POS_HELP = 1;
inline constexpr int IDD_ABOUT = 106;
inline constexpr int IDD_USER_PROFILE = 107;
inline constexpr int IDD_ADDRESS_BOOK = 108;

// ---- Bitmaps of the normal set. A screen with few colours uses the set whose ids are
// IDB_LOW_COLOR_OFFSET higher (`bitmapIdOffset`); the background tile has no such twin.
inline constexpr int IDB_LOW_COLOR_OFFSET = 100;
inline constexpr int IDB_BACKGROUND_TILE = 111;
inline constexpr int IDB_LOGO = 112;
inline constexpr int IDB_BUTTON_PANEL = 117;
inline constexpr int IDB_RECORD_NORMAL = 119;
inline constexpr int IDB_RECORD_PRESSED = 120;
inline constexpr int IDB_STOP_PRESSED = 121;
inline constexpr int IDB_STOP_NORMAL = 122;
inline constexpr int IDB_PLAY_PRESSED = 123;
inline constexpr int IDB_PLAY_NORMAL = 124;
inline constexpr int IDB_SEND_PRESSED = 125;
inline constexpr int IDB_SEND_NORMAL = 126;
inline constexpr int IDB_OPTION_PRESSED = 127;
inline constexpr int IDB_OPTION_NORMAL = 128;
inline constexpr int IDB_RECORD_DISABLED = 129;
inline constexpr int IDB_PLAY_DISABLED = 130;
inline constexpr int IDB_SEND_DISABLED = 131;
inline constexpr int IDB_HELP_PRESSED = 137;
inline constexpr int IDB_HELP_NORMAL = 138;
inline constexpr int IDB_FIELD_LABELS = 167;

// ---- Controls of the main window (logo and field labels carry id 0).
inline constexpr int IDC_RECIPIENTS = 60000;
inline constexpr int IDC_SUBJECT = 60001;
inline constexpr int IDC_MESSAGE_TEXT = 60002;
inline constexpr int IDC_PROGRESS = 60005;
inline constexpr int IDC_TIME_DISPLAY = 60006;
inline constexpr int IDC_BUTTON_PANEL = 60007;
inline constexpr int IDC_RECORD = 30007;
inline constexpr int IDC_STOP = 30008;
inline constexpr int IDC_PLAY = 30009;
inline constexpr int IDC_SEND = 30010;
inline constexpr int IDC_OPTION = 30011;  // opens the OPTION pop-up
inline constexpr int IDC_HELP = 40008;    // opens the HELP pop-up

// ---- Controls of the profile dialog.
inline constexpr int IDC_PROFILE_EMAIL = 1022;
inline constexpr int IDC_PROFILE_EMAIL_CONFIRM = 1023;
inline constexpr int IDC_PROFILE_MR = 1024;
inline constexpr int IDC_PROFILE_MS = 1025;
inline constexpr int IDC_PROFILE_NAME = 1026;
inline constexpr int IDC_PROFILE_CITY = 1027;
inline constexpr int IDC_PROFILE_STATE = 1028;
inline constexpr int IDC_PROFILE_COUNTRY = 1029;

// ---- Controls of the address book dialog.
inline constexpr int IDC_ADDRESS_LIST = 1041;
inline constexpr int IDC_ADDRESS_ENTRY = 1042;
inline constexpr int IDC_ADDRESS_COUNT = 1043;
inline constexpr int IDC_ADDRESS_ADD = 1044;
inline constexpr int IDC_ADDRESS_DELETE = 1045;
// Default command while the entry field lacks the focus: no control bears it, so Enter
// does nothing.
inline constexpr int IDC_ADDRESS_NO_DEFAULT = 1032;

// ---- Menu commands.
inline constexpr int IDM_ATTACH_FILE = 0;  // the one command whose id is 0
inline constexpr int IDM_CLEAR_ATTACHMENT = 60008;
inline constexpr int IDM_CUSTOM_PICTURE = 40009;
inline constexpr int IDM_CLEAR_CUSTOM_PICTURE = 40010;
inline constexpr int IDM_ADDRESS_BOOK = 40002;
inline constexpr int IDM_USER_PROFILE = 40004;
inline constexpr int IDM_EXIT = 40006;
inline constexpr int IDM_ABOUT = 40001;
inline constexpr int IDM_HOMEPAGE = 40007;
inline constexpr int IDM_QUICK_TUTORIAL = 40011;
inline constexpr int IDM_TROUBLE_RECORDING = 40012;
inline constexpr int IDM_TROUBLE_PLAYING = 40013;
inline constexpr int IDM_TROUBLE_SENDING = 40014;
inline constexpr int IDM_TROUBLE_ADDRESS_BOOK = 40015;
inline constexpr int IDM_CE_TUTORIAL = 40016;
