#include "engines/conversion/av_error.h"

extern "C" {
#include <libavutil/error.h>
}

std::string AvErrorText(const std::string& what, int code) {
    char description[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, description, sizeof description);
    return what + ": " + description;
}
