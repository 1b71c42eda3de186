#include "platform/vfw.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <new>
#include <vector>

#include "platform/bytes.h"
#include "platform/module.h"
#include "platform/read_fully.h"
#include "platform/riff_format.h"
#include "platform/riff_walk.h"

namespace {

std::atomic<int> g_aviFileUsers{0};

using HasVideoEncoderFn = int32_t (*)(uint32_t fourcc);
std::atomic<HasVideoEncoderFn> g_hasVideoEncoder{nullptr};

// Fields of a "strh" that lie inside the chunk; the rest stay zero.
AVISTREAMINFOA InfoFromStreamHeader(ByteReader sh) {
    AVISTREAMINFOA info;
    auto dword = [&sh](size_t off) { return sh.Has(off, 4) ? sh.LE32(off) : 0u; };
    auto word = [&sh](size_t off) { return sh.Has(off, 2) ? sh.LE16(off) : uint16_t{0}; };
    auto coordinate = [&sh](size_t off) {
        return sh.Has(off, 2) ? static_cast<int32_t>(static_cast<int16_t>(sh.LE16(off))) : 0;
    };
    info.fccType = dword(riff::strh::kType);
    info.fccHandler = dword(riff::strh::kHandler);
    info.dwFlags = dword(riff::strh::kFlags);
    info.dwCaps = AVIFILECAPS_CANREAD;
    info.wPriority = word(riff::strh::kPriority);
    info.wLanguage = word(riff::strh::kLanguage);
    info.dwInitialFrames = dword(riff::strh::kInitialFrames);
    info.dwScale = dword(riff::strh::kScale);
    info.dwRate = dword(riff::strh::kRate);
    info.dwStart = dword(riff::strh::kStart);
    info.dwLength = dword(riff::strh::kLength);
    info.dwSuggestedBufferSize = dword(riff::strh::kSuggestedBufferSize);
    info.dwQuality = dword(riff::strh::kQuality);
    info.dwSampleSize = dword(riff::strh::kSampleSize);
    info.rcFrame.left = coordinate(riff::strh::kFrame);
    info.rcFrame.top = coordinate(riff::strh::kFrame + 2);
    info.rcFrame.right = coordinate(riff::strh::kFrame + 4);
    info.rcFrame.bottom = coordinate(riff::strh::kFrame + 6);
    return info;
}

// One stream's information: its "strh" fields, named by its "strn".
AVISTREAMINFOA InfoFromStream(const riff::AviStreamChunks& stream) {
    AVISTREAMINFOA info = InfoFromStreamHeader(stream.header);
    ByteReader name = stream.name;
    size_t n = 0;
    while (n + 1 < sizeof info.szName && n < name.size() && name.U8(n) != 0) {
        info.szName[n] = static_cast<char>(name.U8(n));
        ++n;
    }
    return info;
}

class AviStream final : public ComObject<IAVIStream> {
public:
    explicit AviStream(const AVISTREAMINFOA& info) : m_info(info) {}

    HRESULT Info(AVISTREAMINFOA* info, LONG size) override {
        if (info == nullptr || size < 0) {
            return AVIERR_BADPARAM;
        }
        size_t count = std::min(static_cast<size_t>(size), sizeof m_info);
        std::copy_n(reinterpret_cast<const uint8_t*>(&m_info), count,
                    reinterpret_cast<uint8_t*>(info));
        return AVIERR_OK;
    }

private:
    AVISTREAMINFOA m_info;
};

class AviFile final : public ComObject<IAVIFile> {
public:
    explicit AviFile(std::vector<AVISTREAMINFOA> streams) : m_streams(std::move(streams)) {}

    HRESULT GetStream(IAVIStream** stream, DWORD fccType, LONG index) override {
        if (stream == nullptr) {
            return AVIERR_BADPARAM;
        }
        *stream = nullptr;
        if (index < 0) {
            return AVIERR_BADPARAM;
        }
        LONG seen = 0;
        for (const AVISTREAMINFOA& info : m_streams) {
            if (fccType != 0 && info.fccType != fccType) {
                continue;
            }
            if (seen++ == index) {
                *stream = new (std::nothrow) AviStream(info);
                return *stream != nullptr ? AVIERR_OK : AVIERR_MEMORY;
            }
        }
        return AVIERR_NODATA;
    }

private:
    std::vector<AVISTREAMINFOA> m_streams;
};

}  // namespace

void AVIFileInit() {
    ++g_aviFileUsers;
}

void AVIFileExit() {
    int users = g_aviFileUsers.load();
    while (users > 0 && !g_aviFileUsers.compare_exchange_weak(users, users - 1)) {
    }
}

HRESULT ReadAviStreamInfos(const AviFileReadAt& readAt, std::vector<AVISTREAMINFOA>& streams) {
    streams.clear();
    riff::AviHeaderList header;
    switch (header.Read(readAt)) {
        case riff::AviWalk::kOk:
            break;
        case riff::AviWalk::kNotAvi:
        case riff::AviWalk::kNoHeaderList:
            return AVIERR_BADFORMAT;
    }
    for (const riff::AviStreamChunks& stream : header.streams()) {
        streams.push_back(InfoFromStream(stream));
    }
    return AVIERR_OK;
}

int AVIFileInitCount() {
    return g_aviFileUsers.load();
}

HRESULT AVIFileOpenA(PAVIFILE* ppfile, const char* szFile, UINT uMode, const CLSID* lpHandler) {
    if (ppfile == nullptr) {
        return AVIERR_BADPARAM;
    }
    *ppfile = nullptr;
    if (szFile == nullptr) {
        return AVIERR_BADPARAM;
    }
    if ((uMode & (OF_WRITE | OF_READWRITE | OF_CREATE)) != 0 || lpHandler != nullptr) {
        return AVIERR_UNSUPPORTED;
    }
    int fd = ::open(szFile, O_RDONLY | O_CLOEXEC | O_NONBLOCK);  // never wait on a pipe
    if (fd < 0) {
        return AVIERR_FILEOPEN;
    }
    AviFileReadAt readAt = [fd](uint64_t offset, uint8_t* out, size_t count) {
        return PreadFully(fd, offset, out, count);
    };
    std::vector<AVISTREAMINFOA> streams;
    HRESULT hr = ReadAviStreamInfos(readAt, streams);
    ::close(fd);
    if (FAILED(hr)) {
        return hr;
    }
    *ppfile = new (std::nothrow) AviFile(std::move(streams));
    return *ppfile != nullptr ? AVIERR_OK : AVIERR_MEMORY;
}

HRESULT AVIFileGetStream(PAVIFILE pfile, PAVISTREAM* ppavi, DWORD fccType, LONG lParam) {
    if (ppavi != nullptr) {
        *ppavi = nullptr;
    }
    if (pfile == nullptr) {
        return AVIERR_BADPARAM;
    }
    return pfile->GetStream(ppavi, fccType, lParam);
}

HRESULT AVIStreamInfoA(PAVISTREAM pavi, AVISTREAMINFOA* psi, LONG lSize) {
    if (pavi == nullptr) {
        return AVIERR_BADPARAM;
    }
    return pavi->Info(psi, lSize);
}

ULONG AVIStreamRelease(PAVISTREAM pavi) {
    return pavi != nullptr ? pavi->Release() : 0;
}

ULONG AVIFileRelease(PAVIFILE pfile) {
    return pfile != nullptr ? pfile->Release() : 0;
}

struct IcInstance {
    DWORD fccType = 0;
    DWORD fccHandler = 0;
    UINT mode = 0;
};

void ICUseConversionModule(const Module* module) {
    g_hasVideoEncoder =
        module != nullptr ? module->ResolveAs<HasVideoEncoderFn>("MclHasVideoEncoder") : nullptr;
}

HIC ICOpen(DWORD fccType, DWORD fccHandler, UINT wMode) {
    // The type is compared without regard to case, as the compressor manager does.
    if ((fccType | 0x20202020u) != ICTYPE_VIDEO) {
        return nullptr;
    }
    if (wMode != ICMODE_COMPRESS && wMode != ICMODE_FASTCOMPRESS && wMode != ICMODE_QUERY) {
        return nullptr;
    }
    HasVideoEncoderFn hasEncoder = g_hasVideoEncoder.load();
    if (hasEncoder == nullptr || fccHandler == 0 || hasEncoder(fccHandler) == 0) {
        return nullptr;
    }
    return new (std::nothrow) IcInstance{fccType, fccHandler, wMode};
}

LRESULT ICClose(HIC hic) {
    if (hic == nullptr) {
        return ICERR_BADHANDLE;
    }
    delete hic;
    return ICERR_OK;
}
