// Resource ids of QXErs.exe, shared by the resource script and the view's logic.
#pragma once

// The single-document template: its document string.
#define IDR_MAINFRAME 128

// Dialog templates, each in two fonts: "ＭＳ Ｐゴシック", and "MS UI Gothic" where it is installed.
#define IDD_CONFIRM 130
#define IDD_PROGRESS 131
#define IDD_PROGRESS_UI 132
#define IDD_CONFIRM_UI 133
#define IDD_DRIVERS 134
#define IDD_DRIVERS_UI 135

// Controls.
#define IDC_PROGRESS 1000
#define IDC_STATUS 1001
#define IDC_KEEP_DRIVERS 1003
#define IDC_DELETE_DRIVERS 1004
#define IDC_CONFIRM_TEXT 1005
#define IDC_CONFIRM_NOTE 1006
#define IDC_DRIVERS_TEXT 1007

// The frame's close command.
#define ID_APP_CLOSE 1054

// Strings.
#define IDS_BANNER 57344
#define IDS_ASK_CONTINUE 61204
#define IDS_ASK_QUIT 61205
#define IDS_END_DONE 61206
#define IDS_END_RESTART 61207
#define IDS_END_UNSUPPORTED 61208
#define IDS_END_NO_CONFIG 61209
#define IDS_END_NO_RIGHTS 61210
#define IDS_STATUS_COMPANIONS 61211
#define IDS_STATUS_SERVICES 61212
#define IDS_STATUS_SERVICES_AND_OTHERS 61213
#define IDS_STATUS_MENUS 61214
#define IDS_STATUS_REGISTRY 61215
#define IDS_STATUS_FILES 61216
#define IDS_STATUS_INIT 61217
#define IDS_END_CANCELLED 61218

// The version resource's numbers.
#define QX_VERSION_NUMBERS 1, 0, 0, 0
#define QX_VERSION_TEXT "1.0.0.0"
