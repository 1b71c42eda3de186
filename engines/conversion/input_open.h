// Opening an input of the conversion library with libavformat: every reader of the module (the
// file scan, the join) opens its files here, so a wrapped format (a Video CD .DAT file's sectors)
// is handled in one place.
#pragma once

#include <string>

struct AVFormatContext;

// Opens `path` and reads its stream information. 0 on success with *context set (close it with
// CloseMediaInput); otherwise an FFmpeg error code and a readable reason in *error.
int OpenMediaInput(const std::string& path, AVFormatContext** context, std::string* error);

// Closes what OpenMediaInput opened (and whatever I/O layer it put under it); null is fine.
void CloseMediaInput(AVFormatContext** context);
