#include "wmjoin/wm_stream_table.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "engines/asf/asf_format.h"
#include "engines/asf/wm_read_damage.h"
#include "job/join_host.h"
#include "platform/unicode.h"

std::string WmLine(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string WmFileFailureReason(HRESULT hr) {
    switch (static_cast<uint32_t>(hr)) {
        case static_cast<uint32_t>(ASF_E_NOHEADEROBJECT):
            return "The file is not an ASF file: it does not begin with a Header Object.\n";
        case static_cast<uint32_t>(ASF_E_INVALIDHEADER):
            return "The file's ASF header is damaged: one of its objects does not hold together.\n";
        case static_cast<uint32_t>(ASF_E_HEADERSIZE):
            return "The file's ASF header is larger than a header can be.\n";
        case static_cast<uint32_t>(ASF_E_NODATAOBJECT):
            return "The file has no Data Object after its header.\n";
        case static_cast<uint32_t>(ASF_E_BUFFEROVERRUN):
            return "The file ends before its first whole data packet: it was cut short.\n";
        case static_cast<uint32_t>(KJ_E_NO_READABLE_PACKET):
            return "None of the file's data packets can be read: they are all damaged.\n";
        case static_cast<uint32_t>(KJ_E_MOSTLY_DAMAGED):
            return "More than half of the file's data packets are damaged: it is refused rather "
                   "than joined with most of it left out.\n";
        case static_cast<uint32_t>(ASF_E_BADDATAUNIT):
            return "The file's data packets cannot be read: they are damaged or laid out in a way "
                   "this program does not know.\n";
        case static_cast<uint32_t>(ASF_E_EXCEEDEDMAXIMUMOBJECTSIZE):
            return "The file holds a media sample larger than this program accepts.\n";
        case static_cast<uint32_t>(E_FILE_NOT_FOUND):
            return "The file does not exist.\n";
        case static_cast<uint32_t>(E_ACCESSDENIED):
            return "The file may not be read.\n";
        case static_cast<uint32_t>(E_TOO_MANY_OPEN_FILES):
            return "Too many files are open at once: the system's limit of open files was "
                   "reached.\n";
        case static_cast<uint32_t>(E_READ_FAULT):
            return "The file could not be read from its disk.\n";
        case static_cast<uint32_t>(E_DISK_FULL):
            return "The output's disk is full.\n";
        case static_cast<uint32_t>(E_WRITE_FAULT):
            return "The output could not be written to its disk.\n";
        default:
            return "";
    }
}

WmStreamTable::WmStreamTable(uint32_t streamCount) : m_count(streamCount) {}

WM_MEDIA_TYPE* WmStreamTable::MediaType(uint32_t i) const {
    if (i >= m_mediaTypes.size() || m_mediaTypes[i].size() < sizeof(WM_MEDIA_TYPE)) {
        return nullptr;
    }
    // The block was allocated as bytes; its start is suitably aligned for the structure.
    return reinterpret_cast<WM_MEDIA_TYPE*>(const_cast<uint8_t*>(m_mediaTypes[i].data()));
}

HRESULT WmStreamTable::Fail(HRESULT hr, const std::string& line) {
    m_messageText += line;
    return hr;
}

HRESULT WmStreamTable::Build(IWMProfile* profile) {
    m_mediaTypes.assign(m_count, {});
    m_streamNumbers.assign(m_count, 0);
    m_bufferWindows.assign(m_count, 0);
    m_bitrates.assign(m_count, 0);
    m_vbrFlags.assign(m_count, 0);
    const std::wstring vbrName = WideFromUtf8("_VBRENABLED");
    for (uint32_t i = 0; i < m_count; ++i) {
        IWMStreamConfig* config = nullptr;
        HRESULT hr = profile->GetStream(i, &config);
        if (FAILED(hr)) {
            return Fail(hr, WmLine("Could not get Stream %d from IWMProfile (hr=0x%08x).\n",
                                   static_cast<int>(i), Hex(hr)));
        }
        config->GetStreamNumber(&m_streamNumbers[i]);
        IWMMediaProps* props = nullptr;
        IWMPropertyVault* vault = nullptr;
        auto release = [&] {
            SafeRelease(vault);
            SafeRelease(props);
            SafeRelease(config);
        };
        hr = config->QueryInterface(IID_IWMMediaProps, reinterpret_cast<void**>(&props));
        if (FAILED(hr)) {
            release();
            return Fail(hr, WmLine("Could not QI for IWMMediaProps (hr=0x%08x).\n", Hex(hr)));
        }
        hr = config->GetBufferWindow(&m_bufferWindows[i]);
        if (FAILED(hr)) {
            release();
            return Fail(hr, WmLine("Could not get Buffer Window from IWMStreamConfig "
                                   "(hr=0x%08x).\n",
                                   Hex(hr)));
        }
        if (FAILED(config->GetBitrate(&m_bitrates[i]))) {
            m_bitrates[i] = 0;  // the first file's own rate stays
        }
        hr = config->QueryInterface(IID_IWMPropertyVault, reinterpret_cast<void**>(&vault));
        if (FAILED(hr)) {
            release();
            return hr;
        }
        WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
        DWORD size = sizeof(DWORD);
        DWORD vbr = 0;
        if (FAILED(vault->GetPropertyByName(vbrName.c_str(), &type, reinterpret_cast<BYTE*>(&vbr),
                                            &size))) {
            vbr = 0;
        }
        m_vbrFlags[i] = vbr;
        DWORD blockSize = 0;
        hr = props->GetMediaType(nullptr, &blockSize);
        if (SUCCEEDED(hr)) {
            if (blockSize < sizeof(WM_MEDIA_TYPE)) {
                hr = E_UNEXPECTED;
            } else {
                m_mediaTypes[i].assign(blockSize, 0);
                hr = props->GetMediaType(MediaType(i), &blockSize);
                // The comparison reads the format bytes right after the structure.
                if (SUCCEEDED(hr) &&
                    MediaType(i)->cbFormat > m_mediaTypes[i].size() - sizeof(WM_MEDIA_TYPE)) {
                    hr = E_UNEXPECTED;
                }
            }
        }
        release();
        if (FAILED(hr)) {
            m_mediaTypes[i].clear();
            return Fail(hr, WmLine("Could not Get Media Type (hr=0x%08x).\n", Hex(hr)));
        }
    }
    return S_OK;
}

int WmStreamTable::MapStreams(WmStreamTable& other, std::unique_ptr<WmStreamMap>* slot,
                              JoinHost& host) {
    if (slot == nullptr || !HasMediaTypes() || !other.HasMediaTypes()) {
        return 0;
    }
    *slot = std::make_unique<WmStreamMap>(2 * static_cast<size_t>(m_count), 0);
    WmStreamMap& map = **slot;
    for (uint32_t i = 0; i < m_count; ++i) {
        map[i] = m_streamNumbers[i];
        DWORD window = 0;
        DWORD bitrate = 0;
        WORD partner = FindMatch(&map, i, other, &window, &bitrate);
        if (partner == kNoStream) {
            host.MessageBox("Mismatch in Media types of video or audio  Streams.\n");
            return 0;
        }
        m_bufferWindows[i] += window;
        // Inputs may differ in bit rate alone: the output's rate is the largest, so that a
        // player sized by it takes every input's packets.
        m_bitrates[i] = std::max(m_bitrates[i], bitrate);
        map[m_count + i] = partner;
    }
    return 1;
}

WORD WmStreamTable::FindMatch(const WmStreamMap* map, uint32_t index, WmStreamTable& other,
                              DWORD* window, DWORD* bitrate) {
    WM_MEDIA_TYPE* mine = MediaType(index);
    if (map == nullptr || mine == nullptr || window == nullptr || m_count == 0 ||
        other.m_count != m_count) {
        return kNoStream;
    }
    for (uint32_t j = 0; j < other.m_count; ++j) {
        WM_MEDIA_TYPE* candidate = other.MediaType(j);
        if (candidate == nullptr || other.m_vbrFlags[j] != m_vbrFlags[index] ||
            !CompareMediaTypes(mine, candidate, m_vbrFlags[index])) {
            continue;
        }
        // A stream of the later input is matched at most once.
        bool taken = false;
        for (uint32_t k = m_count; k < 2 * m_count; ++k) {
            if ((*map)[k] == other.m_streamNumbers[j]) {
                taken = true;
                break;
            }
        }
        if (!taken) {
            *window = other.m_bufferWindows[j];
            if (bitrate != nullptr && j < other.m_bitrates.size()) {
                *bitrate = other.m_bitrates[j];
            }
            return other.m_streamNumbers[j];
        }
    }
    return kNoStream;
}

namespace {
// The format bytes of a block (they follow the structure), or null when it has none.
BYTE* FormatBytes(WM_MEDIA_TYPE* type) {
    return type->cbFormat == 0 ? nullptr : reinterpret_cast<BYTE*>(type + 1);
}

template <size_t N>
void ClearBits(std::vector<uint8_t>& mask, size_t at, const uint8_t (&bits)[N]) {
    for (size_t i = 0; i < N && at + i < mask.size(); ++i) {
        mask[at + i] &= static_cast<uint8_t>(~bits[i]);
    }
}

void ClearField(std::vector<uint8_t>& mask, size_t at, size_t size) {
    for (size_t i = at; i < at + size && i < mask.size(); ++i) {
        mask[i] = 0;
    }
}
}  // namespace

std::vector<uint8_t> FormatBitsRead(const WM_MEDIA_TYPE* type) {
    namespace unread = asf::unread;
    std::vector<uint8_t> mask(type->cbFormat, 0xFF);
    const BYTE* format = reinterpret_cast<const BYTE*>(type + 1);
    if (type->formattype == WMFORMAT_VideoInfo && type->cbFormat >= sizeof(VIDEOINFOHEADER)) {
        ClearField(mask, unread::kVideoBitRate, sizeof(DWORD));
        const size_t data = unread::kVideoCodecData;
        if (type->subtype == WMMEDIASUBTYPE_WMV2) {
            ClearBits(mask, data, unread::kWmv2HintMask);
        } else if (type->subtype == WMMEDIASUBTYPE_WMV3 && type->cbFormat > data &&
                   format[data] >> 6 != unread::kVc1AdvancedProfile) {
            ClearBits(mask, data, unread::kWmv3HintMask);
        }
    } else if (type->formattype == WMFORMAT_WaveFormatEx &&
               type->cbFormat >= sizeof(WAVEFORMATEX)) {
        const uint16_t tag = static_cast<uint16_t>(format[0] | format[1] << 8);
        const size_t data = asf::kWaveFormatExSize;
        if (tag == unread::kMpegAudioTag) {
            ClearField(mask, unread::kWaveAvgBytesPerSec, sizeof(DWORD));
        } else if (tag == unread::kWma2Tag) {
            ClearBits(mask, data, unread::kWma2UnreadMask);
        } else if (tag == unread::kWma1Tag) {
            ClearBits(mask, data, unread::kWma1UnreadMask);
        }
    }
    return mask;
}

bool CompareMediaTypes(WM_MEDIA_TYPE* a, WM_MEDIA_TYPE* b, DWORD vbr) {
    if (!(a->majortype == b->majortype) || !(a->subtype == b->subtype)) {
        return false;
    }
    if (a->bFixedSizeSamples != b->bFixedSizeSamples) {
        a->bFixedSizeSamples = FALSE;
    }
    if (a->bTemporalCompression != b->bTemporalCompression) {
        return false;
    }
    if (a->lSampleSize != b->lSampleSize) {
        a->bFixedSizeSamples = FALSE;
    }
    if (!(a->formattype == b->formattype) || a->cbFormat != b->cbFormat) {
        return false;
    }
    BYTE* formatA = FormatBytes(a);
    BYTE* formatB = FormatBytes(b);
    if (formatA == nullptr || formatB == nullptr) {
        return formatA == formatB;
    }
    if (vbr != 0) {
        if (a->formattype == WMFORMAT_VideoInfo && a->cbFormat >= sizeof(VIDEOINFOHEADER)) {
            const size_t at = offsetof(VIDEOINFOHEADER, dwBitRate);
            std::memset(formatA + at, 0, sizeof(DWORD));
            std::memset(formatB + at, 0, sizeof(DWORD));
        } else if (a->formattype == WMFORMAT_WaveFormatEx && a->cbFormat >= sizeof(WAVEFORMATEX)) {
            const size_t at = offsetof(WAVEFORMATEX, nAvgBytesPerSec);
            std::memset(formatA + at, 0, sizeof(DWORD));
            std::memset(formatB + at, 0, sizeof(DWORD));
        }
    }
    const std::vector<uint8_t> read = FormatBitsRead(a);
    for (size_t i = 0; i < read.size(); ++i) {
        if (((formatA[i] ^ formatB[i]) & read[i]) != 0) {
            return false;
        }
    }
    return true;
}
