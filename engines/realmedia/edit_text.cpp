#include "engines/realmedia/edit_text.h"

#include <cstring>

namespace rm {

const char* DescribeEditCode(HRESULT code) {
    switch (code) {
        case RMEDIT_E_UNEXPECTED:
            return "Unexpected error";
        case RMEDIT_E_VIDEO_FORMAT:
            return "Unsupport video format";
        case RMEDIT_E_AUDIO_FORMAT:
            return "Unsupport audio format";
        case RMEDIT_E_AUDIO_MISMATCH:
            return "The audio stream of the source files are mismatch";
        case RMEDIT_E_VIDEO_MISMATCH:
            return "The video stream of the source files are mismatch";
        case RMEDIT_E_NO_DATA:
            return "There is no data in the input file.";
        case RMEDIT_E_EMPTY_STREAM:
            return "The video or audio stream is empty";
        case RMEDIT_E_READ_ONLY:
            return "The file is read only";
        case RMEDIT_E_NO_AUDIO_MATCH:
            return "Can't find matched audio stream in the source files";
        case RMEDIT_E_NO_VIDEO_MATCH:
            return "Can't find matched video stream in the source files";
        case RMEDIT_E_ENCRYPTED:
            return "Source Video has been encrypted.";
        case RMEDIT_E_BAD_FILE:
            return "An input file is damaged or is not a Real Media file.";
        case RMEDIT_E_TOO_LARGE:
            return "The joined file would be larger than a Real Media file can be (4 GB).";
        case RMEDIT_E_NO_INPUT:
            return "No input or output file was given.";
        default:
            return "";
    }
}

HRESULT Fail(std::string* text, HRESULT code, const std::string& account) {
    if (text != nullptr) {
        *text = account;
    }
    return code;
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CannotWriteText(const std::string& outName, int error) {
    return "The file is read only: " + outName + " cannot be written (" + std::strerror(error) +
           ").";
}

}  // namespace rm
