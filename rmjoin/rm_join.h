// The Real Media join: the ordered inputs handed to the RealMedia engine module's edit object.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com.h"

class JoinHost;

// Joins the host's inputs into `outputPath` through the RealMedia engine; 1 on success, 0 on
// failure with the reason in g_errorText.
int JoinRealMediaFiles(JoinHost& host, const std::string& outputPath);

// "error code:->%X; " and the description of the code, "Unknown error" for codes outside
// the table: the text of an engine failure that comes without a text of its own.
std::string RmErrorText(HRESULT code);

// The effects of the RealMedia engine's progress notifications.
void RmNotifyProgress(JoinHost& host, uint32_t percent);
void RmNotifyStart(JoinHost& host);
void RmNotifyComplete(JoinHost& host);
