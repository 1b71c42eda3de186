#include "probe/media_kind.h"

std::string MediaKindText(MediaKind kind) {
    switch (kind) {
        case kKindAvi:
            return "AVI";
        case kKindMpeg:
            return "MPEG";
        case kKindMpeg2:
            return "MPEG-2";
        case kKindRealMedia:
            return "Real Media";
        case kKindWmv:
            return "WMV/ASF";
        default:
            return {};
    }
}
