// "MclGetPicture": one picture of a file for the program's list (picture_grab.h).
#include <cstring>

#include "engines/conversion/mcl.h"
#include "engines/conversion/mcl_exports.h"
#include "engines/conversion/picture_grab.h"

extern "C" KJ_MCL_EXPORT int32_t MclGetPicture(const char* path, double fraction, int32_t maxWidth,
                                               int32_t maxHeight, uint8_t* pixels, int32_t capacity,
                                               int32_t* width, int32_t* height) {
    if (path == nullptr || pixels == nullptr || width == nullptr || height == nullptr) {
        return 0;
    }
    GrabbedPicture picture;
    std::string error;
    if (!GrabPicture(path, fraction, maxWidth, maxHeight, picture, &error) ||
        picture.pixels.size() > static_cast<size_t>(capacity < 0 ? 0 : capacity)) {
        return 0;
    }
    std::memcpy(pixels, picture.pixels.data(), picture.pixels.size());
    *width = picture.width;
    *height = picture.height;
    return 1;
}
