#include "probe/avi_probe.h"

#include "platform/bytes.h"
#include "platform/vfw.h"
#include "probe/avi_header_walk.h"

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
    // The walk's FourCC, when it finds one, is the answer, so the handler code is read only
    // when it does not: each file's headers are read once.
    uint32_t fourcc = 0;
    if (WalkAviHeaders(path, fourcc) == kAviWalkOk) {
        info.m_dwFourcc = fourcc;
        info.m_strVideoCodec = FourccText(fourcc);
        return;
    }
    ReadAviHandlerFourcc(path, info);
}
