// Fixed settings of the program.
#pragma once

inline constexpr char kApplicationTitle[] = "Kelvane AVI/MPEG/RM/WMV Joiner";
inline constexpr char kHomePageUrl[] = "https://www.kelvane.example/joiner/";
inline constexpr char kSupportMailto[] = "mailto:support@kelvane.example?subject=Kelvane%20Joiner";
// The help page, installed next to the executable.
inline constexpr char kHelpFileName[] = "rvkhlp.html";

// Filters of the file dialogs, in the "Desc|patterns|...||" form.
inline constexpr char kOpenFilter[] =
    "All Supported Media Files|*.avi;*.mpg;*.mpeg;*.rm;*.rmvb;*.wmv;*.asf|AVI Files "
    "(*.avi)|*.avi|Mpeg Files (*.mpg;*.mpeg)|*.mpg;*.mpeg|Real Media(*.rm;*.rmvb)|*.rm;*.rmvb|"
    "Windows Media(*.wmv;*.asf)|*.wmv;*.asf||";
inline constexpr char kSaveFilter[] =
    "All Supported Media Files|*.avi;*.mpg;*.mpeg;*.rm;*.rmvb;*.wmv;*.asf|AVI Files (*.avi)|*.avi|"
    "Mpeg Files (*.mpg;*.mpeg)|*.mpg;*.mpeg|Real Media(*.rm;*.rmvb)|*.rm;*.rmvb|Windows "
    "Media(*.wmv;*.asf)|*.wmv;*.asf||";
