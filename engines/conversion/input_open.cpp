#include "engines/conversion/input_open.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include "engines/conversion/av_error.h"

int OpenMediaInput(const std::string& path, AVFormatContext** context, std::string* error) {
    *context = nullptr;
    int result = avformat_open_input(context, path.c_str(), nullptr, nullptr);
    if (result < 0) {
        *error = AvErrorText("Cannot open " + path, result);
        return result;
    }
    result = avformat_find_stream_info(*context, nullptr);
    if (result < 0) {
        *error = AvErrorText("Cannot read the streams of " + path, result);
        CloseMediaInput(context);
        return result;
    }
    return 0;
}

void CloseMediaInput(AVFormatContext** context) {
    avformat_close_input(context);
}
