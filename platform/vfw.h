// The small Video for Windows layer: the AVI file interface the probe uses, on our own reading
// of the AVI header list, and the compressor manager, which answers from the encoders of the
// conversion module. AVIFileInit/AVIFileExit bracket its use for the life of the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/com.h"
#include "platform/riff_walk.h"

class Module;

using DWORD = uint32_t;
using WORD = uint16_t;
using LONG = int32_t;
using UINT = uint32_t;
using CLSID = GUID;

// Starts and ends the AVI file interface; calls are counted, so nested pairs are fine.
void AVIFileInit();
void AVIFileExit();

// Number of AVIFileInit calls not yet matched by AVIFileExit.
int AVIFileInitCount();

constexpr DWORD mmioFOURCC(char a, char b, char c, char d) {
    return static_cast<DWORD>(static_cast<uint8_t>(a)) |
           (static_cast<DWORD>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<DWORD>(static_cast<uint8_t>(c)) << 16) |
           (static_cast<DWORD>(static_cast<uint8_t>(d)) << 24);
}

inline constexpr DWORD streamtypeVIDEO = mmioFOURCC('v', 'i', 'd', 's');
inline constexpr DWORD streamtypeAUDIO = mmioFOURCC('a', 'u', 'd', 's');

// Open modes (only reading is offered).
inline constexpr UINT OF_READ = 0x0000;
inline constexpr UINT OF_WRITE = 0x0001;
inline constexpr UINT OF_READWRITE = 0x0002;
inline constexpr UINT OF_SHARE_DENY_NONE = 0x0040;
inline constexpr UINT OF_CREATE = 0x1000;

// Results of the AVI file interface.
inline constexpr HRESULT AVIERR_OK = 0;
inline constexpr HRESULT AVIERR_UNSUPPORTED = MakeHresult(0x80044065u);
inline constexpr HRESULT AVIERR_BADFORMAT = MakeHresult(0x80044066u);
inline constexpr HRESULT AVIERR_MEMORY = MakeHresult(0x80044067u);
inline constexpr HRESULT AVIERR_BADPARAM = MakeHresult(0x8004406Au);
inline constexpr HRESULT AVIERR_FILEREAD = MakeHresult(0x8004406Du);
inline constexpr HRESULT AVIERR_FILEOPEN = MakeHresult(0x8004406Fu);
inline constexpr HRESULT AVIERR_NODATA = MakeHresult(0x80044071u);

// Stream capabilities.
inline constexpr DWORD AVIFILECAPS_CANREAD = 0x00000001;

struct RECT {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

inline constexpr size_t kAviStreamNameBytes = 64;

// What AVIStreamInfoA tells about one stream, filled from its "strh" (and "strn") chunk.
struct AVISTREAMINFOA {
    DWORD fccType = 0;
    DWORD fccHandler = 0;
    DWORD dwFlags = 0;
    DWORD dwCaps = 0;
    WORD wPriority = 0;
    WORD wLanguage = 0;
    DWORD dwScale = 0;
    DWORD dwRate = 0;
    DWORD dwStart = 0;
    DWORD dwLength = 0;
    DWORD dwInitialFrames = 0;
    DWORD dwSuggestedBufferSize = 0;
    DWORD dwQuality = 0;
    DWORD dwSampleSize = 0;
    RECT rcFrame;
    DWORD dwEditCount = 0;
    DWORD dwFormatChangeCount = 0;
    char szName[kAviStreamNameBytes] = {};
};
static_assert(sizeof(AVISTREAMINFOA) == 140, "AVISTREAMINFOA is a 140-byte record");
static_assert(offsetof(AVISTREAMINFOA, fccHandler) == 4);
static_assert(offsetof(AVISTREAMINFOA, wPriority) == 16);
static_assert(offsetof(AVISTREAMINFOA, dwScale) == 20);
static_assert(offsetof(AVISTREAMINFOA, rcFrame) == 52);
static_assert(offsetof(AVISTREAMINFOA, dwEditCount) == 68);
static_assert(offsetof(AVISTREAMINFOA, szName) == 76);

inline constexpr IID IID_IAVIFile = GuidFromString("00020020-0000-0000-C000-000000000046");
inline constexpr IID IID_IAVIStream = GuidFromString("00020021-0000-0000-C000-000000000046");

// One stream of an open AVI file.
class IAVIStream : public IUnknown {
public:
    virtual HRESULT Info(AVISTREAMINFOA* info, LONG size) = 0;
};

// An open AVI file: its streams as its header list describes them.
class IAVIFile : public IUnknown {
public:
    // The index-th stream of type fccType (0: of any type), with a reference for the caller.
    virtual HRESULT GetStream(IAVIStream** stream, DWORD fccType, LONG index) = 0;
};

template <>
inline constexpr const IID* kInterfaceId<IAVIStream> = &IID_IAVIStream;
template <>
inline constexpr const IID* kInterfaceId<IAVIFile> = &IID_IAVIFile;

using PAVIFILE = IAVIFile*;
using PAVISTREAM = IAVIStream*;

// Opens an AVI file for reading and reads its header list. Only reading, with no handler
// class, is offered; any other mode gives AVIERR_UNSUPPORTED. *ppfile is null on failure.
HRESULT AVIFileOpenA(PAVIFILE* ppfile, const char* szFile, UINT uMode, const CLSID* lpHandler);

// The lParam-th stream of type fccType; AVIERR_NODATA when there is none.
HRESULT AVIFileGetStream(PAVIFILE pfile, PAVISTREAM* ppavi, DWORD fccType, LONG lParam);

// Copies up to lSize bytes of the stream's information into *psi.
HRESULT AVIStreamInfoA(PAVISTREAM pavi, AVISTREAMINFOA* psi, LONG lSize);

// The file's bytes, read at explicit positions.
using AviFileReadAt = riff::ReadAt;

// The reading behind AVIFileOpenA: the streams the header list ("hdrl") describes, in order.
// AVIERR_BADFORMAT when the bytes are not an AVI file with a header list.
HRESULT ReadAviStreamInfos(const AviFileReadAt& readAt, std::vector<AVISTREAMINFOA>& streams);

// Drop a reference; the object goes with its last one. Return the references left.
ULONG AVIStreamRelease(PAVISTREAM pavi);
ULONG AVIFileRelease(PAVIFILE pfile);

// ---- Compressor manager ----

using LRESULT = intptr_t;
struct IcInstance;
using HIC = IcInstance*;

inline constexpr DWORD ICTYPE_VIDEO = mmioFOURCC('v', 'i', 'd', 'c');
inline constexpr UINT ICMODE_COMPRESS = 1;
inline constexpr UINT ICMODE_DECOMPRESS = 2;
inline constexpr UINT ICMODE_FASTDECOMPRESS = 3;
inline constexpr UINT ICMODE_QUERY = 4;
inline constexpr UINT ICMODE_FASTCOMPRESS = 5;
inline constexpr UINT ICMODE_DRAW = 8;
inline constexpr LRESULT ICERR_OK = 0;
inline constexpr LRESULT ICERR_BADHANDLE = -8;

// The module whose encoders the compressor manager offers (its MclHasVideoEncoder export);
// null, or a module without that export, offers none. The module must outlive its use here.
void ICUseConversionModule(const Module* module);

// A compressor of type "vidc" for the FourCC fccHandler (compared without regard to case),
// opened to compress (ICMODE_COMPRESS, ICMODE_FASTCOMPRESS) or to be asked about
// (ICMODE_QUERY); null when the conversion module has no such encoder. Decompressors are not
// offered. Close what opens with ICClose.
HIC ICOpen(DWORD fccType, DWORD fccHandler, UINT wMode);
LRESULT ICClose(HIC hic);
