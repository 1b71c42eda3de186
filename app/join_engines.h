// The engines of the four kinds, as the job calls them.
#pragma once

#include <string>

class JoinHost;

// AVI and MPEG: the conversion library.
int JoinWithConversionLibrary(JoinHost& host, const std::string& outputPath);
// RM/RMVB: the RealMedia engine module.
int JoinRealMediaFiles(JoinHost& host, const std::string& outputPath);
// WMV/ASF: the Windows Media joiner on the WMVCore module.
int JoinWindowsMediaFiles(JoinHost& host, const std::string& outputPath);
