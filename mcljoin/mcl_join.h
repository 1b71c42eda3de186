// The AVI and MPEG join: the conversion library driven with the first input's settings.
#pragma once

#include <string>

class JoinHost;

// Joins the host's inputs into `outputPath` through the conversion library; 1 on success, 0 on
// failure with the reason in g_errorText.
int JoinWithConversionLibrary(JoinHost& host, const std::string& outputPath);
