// Numbers of the resources and controls the program uses from the resource module.
#pragma once

// Dialog layouts.
inline constexpr int IDD_ABOUT = 100;
inline constexpr int IDD_MAIN = 129;
inline constexpr int IDD_SCAN_PROGRESS = 139;
inline constexpr int IDD_JOIN_ERROR = 193;

// Strings.
inline constexpr int IDS_ZERO_GEOMETRY = 102;
inline constexpr int IDS_MIXED_KINDS = 103;
inline constexpr int IDS_STOP_QUESTION = 104;
inline constexpr int IDS_NO_WINDOWS_MEDIA = 105;
inline constexpr int IDS_TOO_FEW_FILES = 180;
inline constexpr int IDS_AUDIO_ONLY_WITH_VIDEO = 186;  // %1: the file without video
inline constexpr int IDS_STOPPED = 187;                // the status line after a stop
// The line under the list: %1 files, %2 their length, %3 their size, %4 the joined file's.
inline constexpr int IDS_LIST_TOTALS = 188;
inline constexpr int IDS_JOINED_STATUS = 189;  // %1 the joined file, %2 its length

// Menu and its commands.
inline constexpr int IDR_MAIN_MENU = 238;
inline constexpr int ID_HELP = 271;
inline constexpr int ID_SUPPORT = 272;
inline constexpr int ID_ABOUT = 275;
inline constexpr int ID_HOMEPAGE = 276;
inline constexpr int ID_MARK_INPUTS = 277;  // a marker at each input's start (WMV/ASF joins)

// Controls of the main dialog.
inline constexpr int IDC_LIST = 1001;
inline constexpr int IDC_MOVE_TOP = 1004;
inline constexpr int IDC_MOVE_UP = 1005;
inline constexpr int IDC_MOVE_DOWN = 1006;
inline constexpr int IDC_MOVE_BOTTOM = 1007;
inline constexpr int IDC_ADD = 1008;
inline constexpr int IDC_REMOVE = 1009;
inline constexpr int IDC_CLEAR = 1010;
inline constexpr int IDC_JOIN = 1011;
inline constexpr int IDC_PROGRESS = 1015;
inline constexpr int IDC_HOMEPAGE = 1042;
inline constexpr int IDC_MINIMISE = 1043;
inline constexpr int IDC_CLOSE = 1044;
inline constexpr int IDC_MENU = 1045;
inline constexpr int IDC_STATUS = 1046;
inline constexpr int IDC_PLAY = 1047;
inline constexpr int IDC_TOTALS = 1049;  // the line of totals under the list

// Controls of the small dialogs.
inline constexpr int IDC_SCAN_PROGRESS = 1076;
inline constexpr int IDC_SCAN_TEXT = 1077;
inline constexpr int IDC_JOIN_ERROR_TEXT = 1086;
inline constexpr int IDC_ABOUT_VERSION = 1091;

// Bitmaps and icons of the skin.
inline constexpr int IDB_BACKGROUND = 153;
inline constexpr int IDB_HEADER_TILE = 159;
inline constexpr int IDI_MOVE_DOWN = 133;
inline constexpr int IDI_MOVE_UP = 134;
inline constexpr int IDI_MOVE_TOP = 135;
inline constexpr int IDI_MOVE_BOTTOM = 136;
inline constexpr int IDI_PLAY = 180;
