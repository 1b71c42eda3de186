// Fixed settings of the program.
#pragma once

inline constexpr char kApplicationTitle[] = "Kelvane AVI/MPEG/RM/WMV Joiner";
inline constexpr char kHomePageUrl[] = "https://www.kelvane.example/joiner/";
inline constexpr char kSupportMailto[] = "mailto:support@kelvane.example?subject=Kelvane%20Joiner";
// The help page, installed next to the executable.
inline constexpr char kHelpFileName[] = "rvkhlp.html";

// Filters of the file dialogs, in the "Desc|patterns|...||" form: every extension the probe
// takes (Video CD .dat and DVD .vob are MPEG; .rv and .ra Real Media; .wma Windows Media).
inline constexpr char kOpenFilter[] =
    "All Supported Media Files|*.avi;*.mpg;*.mpeg;*.mpe;*.m1v;*.m2v;*.dat;*.vob;*.rm;*.rmvb;*.rv;"
    "*.ra;*.wmv;*.asf;*.wma|AVI Files (*.avi)|*.avi|"
    "Mpeg Files (*.mpg;*.mpeg;*.mpe;*.m1v;*.m2v;*.dat;*.vob)|*.mpg;*.mpeg;*.mpe;*.m1v;*.m2v;*.dat;"
    "*.vob|Real Media(*.rm;*.rmvb;*.rv;*.ra)|*.rm;*.rmvb;*.rv;*.ra|"
    "Windows Media(*.wmv;*.asf;*.wma)|*.wmv;*.asf;*.wma||";
// Whatever can be added can be the name of a joined file of its kind.
inline constexpr const char* kSaveFilter = kOpenFilter;
