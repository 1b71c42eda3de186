#include "probe/avi_probe.h"

#include "platform/bytes.h"
#include "platform/vfw.h"
#include "probe/avi_header_walk.h"
#include "probe/header_file.h"

void ReadAviHandlerFourcc(const std::string& path, MediaFileInfo& info) {
    PAVIFILE file = nullptr;
    if (FAILED(AVIFileOpenA(&file, path.c_str(), OF_READ | OF_SHARE_DENY_NONE, nullptr))) {
        return;
    }
    PAVISTREAM stream = nullptr;
    if (SUCCEEDED(AVIFileGetStream(file, &stream, streamtypeVIDEO, 0))) {
        AVISTREAMINFOA streamInfo;
        if (SUCCEEDED(AVIStreamInfoA(stream, &streamInfo, sizeof streamInfo))) {
            info.m_dwFourcc = streamInfo.fccHandler;
        }
        AVIStreamRelease(stream);
    }
    AVIFileRelease(file);
}

void ApplyAviFourccSteps(const std::string& path, MediaFileInfo& info) {
    // One reading of the headers answers both: the walk's FourCC when it finds one, else the
    // handler code of the first video stream.
    HeaderFile file;
    if (!file.Open(path)) {
        return;
    }
    AviHeaderFourccs found =
        ReadAviHeaderFourccs([&file](uint64_t offset, uint8_t* out, size_t count) {
            return file.ReadAt(offset, out, count);
        });
    if (found.code == kAviWalkOk) {
        info.m_dwFourcc = found.fourcc;
        info.m_strVideoCodec = FourccText(found.fourcc);
    } else if (found.haveVideoHandler) {
        info.m_dwFourcc = found.videoHandler;
    }
}
