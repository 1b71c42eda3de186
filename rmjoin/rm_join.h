// The Real Media join: the ordered inputs handed to the RealMedia engine module's edit object.
#pragma once

#include <cstdint>
#include <string>

class JoinHost;

// Joins the host's inputs into `outputPath` through the RealMedia engine; 1 on success, 0 on
// failure with the reason in g_errorText.
int JoinRealMediaFiles(JoinHost& host, const std::string& outputPath);

// The effects of the RealMedia engine's progress notifications.
void RmNotifyProgress(JoinHost& host, uint32_t percent);
void RmNotifyStart(JoinHost& host);
void RmNotifyComplete(JoinHost& host);
