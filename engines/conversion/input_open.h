// Opening an input of the conversion library with libavformat: every reader of the module (the
// file scan, the join) opens its files here, so a wrapped format (a Video CD .DAT file's sectors)
// is handled in one place.
#pragma once

#include <string>

struct AVFormatContext;

// Opens `path` and reads its stream information. A Video CD file (RIFF "CDXA" around raw CD
// sectors) is opened as the MPEG program stream its sectors carry. 0 on success with *context set
// (close it with CloseMediaInput); otherwise an FFmpeg error code and a readable reason in *error.
int OpenMediaInput(const std::string& path, AVFormatContext** context, std::string* error);

// True when `context` reads a Video CD file through its sector payloads.
bool IsVideoCdInput(const AVFormatContext* context);

// Keeps FFmpeg's own log off the console; every opening calls it, others may too.
void QuietFfmpegLog();

// Closes what OpenMediaInput opened (and whatever I/O layer it put under it); null is fine.
void CloseMediaInput(AVFormatContext** context);

// An input opened by OpenMediaInput into `context`, closed when this goes.
struct MediaInput {
    AVFormatContext* context = nullptr;
    MediaInput() = default;
    ~MediaInput() { CloseMediaInput(&context); }
    MediaInput(const MediaInput&) = delete;
    MediaInput& operator=(const MediaInput&) = delete;
};
