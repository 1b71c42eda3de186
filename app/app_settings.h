// Fixed settings of the program.
#pragma once

inline constexpr char kApplicationTitle[] = "Kelvane AVI/MPEG/RM/WMV Joiner";
inline constexpr char kHomePageUrl[] = "https://www.kelvane.example/joiner/";
inline constexpr char kSupportMailto[] = "mailto:support@kelvane.example?subject=Kelvane%20Joiner";
// The help page, installed next to the executable.
inline constexpr char kHelpFileName[] = "rvkhlp.html";

// Filters of the file dialogs, in the "Desc|patterns|...||" form: every extension files of the
// kinds the probe recognises go by (Video CD .dat, DVD .vob, camcorder .mod, elementary .m1v,
// .m2v and .mpv are MPEG; .rv and .ra Real Media; .wma Windows Media), and all files, since a
// file is recognised by its content, whatever its name.
inline constexpr char kOpenFilter[] =
    "All Supported Media Files|*.avi;*.divx;*.mpg;*.mpeg;*.mpe;*.m1v;*.m2v;*.m1p;*.m2p;*.mpv;"
    "*.mod;*.dat;*.vob;*.rm;*.rmvb;*.rv;*.ra;*.wmv;*.asf;*.wma|AVI Files (*.avi;*.divx)|*.avi;"
    "*.divx|Mpeg Files (*.mpg;*.mpeg;*.mpe;*.m1v;*.m2v;*.m1p;*.m2p;*.mpv;*.mod;*.dat;*.vob)|"
    "*.mpg;*.mpeg;*.mpe;*.m1v;*.m2v;*.m1p;*.m2p;*.mpv;*.mod;*.dat;*.vob|"
    "Real Media(*.rm;*.rmvb;*.rv;*.ra)|*.rm;*.rmvb;*.rv;*.ra|"
    "Windows Media(*.wmv;*.asf;*.wma)|*.wmv;*.asf;*.wma|All Files (*)|*||";
// Whatever can be added can be the name of a joined file of its kind.
inline constexpr const char* kSaveFilter = kOpenFilter;
