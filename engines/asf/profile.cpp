#include "engines/asf/profile.h"

#include <algorithm>
#include <cstring>

#include "engines/asf/media_type.h"
#include "engines/asf/text.h"
#include "platform/bytes.h"

namespace asf {

namespace {

const char16_t kVbrEnabled[] = u"_VBRENABLED";

template <typename Len>
HRESULT CopyOut(const std::u16string& text, WCHAR* buffer, Len* cch) {
    if (cch == nullptr) {
        return E_POINTER;
    }
    std::wstring wide = WideFromU16(text);
    size_t needed = wide.size() + 1;
    if (needed > static_cast<Len>(~Len{0})) {
        return ASF_E_BUFFERTOOSMALL;
    }
    if (buffer == nullptr) {
        *cch = static_cast<Len>(needed);
        return S_OK;
    }
    if (*cch < needed) {
        *cch = static_cast<Len>(needed);
        return ASF_E_BUFFERTOOSMALL;
    }
    std::copy(wide.begin(), wide.end(), buffer);
    buffer[wide.size()] = 0;
    *cch = static_cast<Len>(needed);
    return S_OK;
}

bool AttributeTrue(const Header& h, uint16_t stream, const char16_t* name, bool* value) {
    for (const Attribute& a : h.metadata.attributes) {
        if (a.stream == stream && a.name == name && a.type == WMT_TYPE_BOOL) {
            *value = !a.value.empty() && a.value[0] != 0;
            return true;
        }
    }
    return false;
}

}  // namespace

HRESULT CopyOutString(const std::u16string& text, WCHAR* buffer, WORD* cch) {
    return CopyOut(text, buffer, cch);
}
HRESULT CopyOutString(const std::u16string& text, WCHAR* buffer, DWORD* cch) {
    return CopyOut(text, buffer, cch);
}

namespace {
// What a muxer that knew no rate writes as the file's largest.
constexpr uint32_t kUnknownMaxBitrate = 0xFFFFFFFFu;
}  // namespace

uint32_t StreamBitrate(const StreamInfo& s) {
    if (s.hasExtended && s.extended.dataBitrate != 0) {
        return s.extended.dataBitrate;
    }
    if (s.averageBitrate != 0) {
        return s.averageBitrate;
    }
    ByteReader ts(s.typeSpecific);
    if (s.IsAudio() && ts.Has(0, kWaveFormatExSize)) {
        // Bytes per second as bits, held at the field's largest value rather than wrapped.
        return static_cast<uint32_t>(std::min<uint64_t>(uint64_t{ts.LE32(8)} * 8, 0xFFFFFFFFu));
    }
    return 0;
}

ProfileData ProfileFromHeader(const Header& h) {
    ProfileData p;
    p.packetSize = h.file.maxPacketSize;
    p.prerollMs = h.file.prerollMs;
    p.maxBitrate = h.file.maxBitrate;
    bool fileVbr = false;
    bool hasFileVbr = AttributeTrue(h, 0, u"IsVBR", &fileVbr);
    for (const StreamInfo& s : h.streams) {
        ProfileStream ps;
        ps.info = s;
        ps.bitrate = StreamBitrate(s);
        ps.bufferWindowMs =
            s.hasExtended ? s.extended.bufferSizeMs : static_cast<uint32_t>(h.file.prerollMs);
        bool vbr = false;
        if (AttributeTrue(h, s.number, u"IsVBR", &vbr)) {
            ps.vbr = vbr;
        } else if (hasFileVbr && (s.IsAudio() || s.IsVideo())) {
            ps.vbr = fileVbr;
        } else {
            ps.vbr = s.hasExtended && s.extended.altDataBitrate != 0 &&
                     s.extended.altDataBitrate != s.extended.dataBitrate;
        }
        for (const Attribute& a : h.metadata.attributes) {
            if (a.stream == s.number) {
                ps.attributes.push_back(a);
            }
        }
        p.streams.push_back(std::move(ps));
    }
    // One stream whose header states no rate of its own (ffmpeg writes none for video) has the
    // part of the file's largest rate the others leave, as a profile's stream always has a rate:
    // so a join that raises it to a later input's raises the file's rate with it.
    size_t unrated = p.streams.size();
    uint64_t rated = 0;
    int unratedCount = 0;
    for (size_t i = 0; i < p.streams.size(); ++i) {
        if (p.streams[i].bitrate == 0) {
            unrated = i;
            ++unratedCount;
        }
        rated += p.streams[i].bitrate;
    }
    if (unratedCount == 1 && p.maxBitrate != kUnknownMaxBitrate && p.maxBitrate > rated) {
        p.streams[unrated].bitrate = static_cast<uint32_t>(p.maxBitrate - rated);
    }
    for (const RawObject& raw : h.otherExtension) {
        if (raw.id == kLanguageList || raw.id == kAdvancedMutualExclusion ||
            raw.id == kGroupMutualExclusion || raw.id == kStreamPrioritization ||
            raw.id == kBandwidthSharing) {
            p.extensionObjects.push_back(raw);
        }
    }
    for (const RawObject& raw : h.otherTopLevel) {
        if (raw.id == kBitrateMutualExclusion) {
            p.topLevelObjects.push_back(raw);
        }
    }
    return p;
}

// ---- StreamConfig ----

StreamConfig::StreamConfig(ProfileStream stream) : m_stream(std::move(stream)) {}

HRESULT StreamConfig::GetStreamType(GUID* pguidStreamType) {
    if (pguidStreamType == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    *pguidStreamType = MajorTypeOf(m_stream.info);
    return S_OK;
}

HRESULT StreamConfig::GetStreamNumber(WORD* pwStreamNum) {
    if (pwStreamNum == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    *pwStreamNum = m_stream.info.number;
    return S_OK;
}

HRESULT StreamConfig::SetStreamNumber(WORD wStreamNum) {
    if (wStreamNum == 0 || wStreamNum > streamprops::kStreamNumberMask) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_mutex);
    m_stream.info.number = wStreamNum;
    return S_OK;
}

HRESULT StreamConfig::GetStreamName(WCHAR* pwszStreamName, WORD* pcchStreamName) {
    std::lock_guard lock(m_mutex);
    return CopyOutString(m_stream.name, pwszStreamName, pcchStreamName);
}

HRESULT StreamConfig::SetStreamName(LPCWSTR pwszStreamName) {
    std::lock_guard lock(m_mutex);
    m_stream.name = U16FromWide(pwszStreamName);
    return S_OK;
}

HRESULT StreamConfig::GetConnectionName(WCHAR* pwszInputName, WORD* pcchInputName) {
    std::lock_guard lock(m_mutex);
    return CopyOutString(m_stream.connection, pwszInputName, pcchInputName);
}

HRESULT StreamConfig::SetConnectionName(LPCWSTR pwszInputName) {
    std::lock_guard lock(m_mutex);
    m_stream.connection = U16FromWide(pwszInputName);
    return S_OK;
}

HRESULT StreamConfig::GetBitrate(DWORD* pdwBitrate) {
    if (pdwBitrate == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    *pdwBitrate = m_stream.bitrate;
    return S_OK;
}

HRESULT StreamConfig::SetBitrate(DWORD pdwBitrate) {
    std::lock_guard lock(m_mutex);
    m_stream.bitrate = pdwBitrate;
    return S_OK;
}

HRESULT StreamConfig::GetBufferWindow(DWORD* pmsBufferWindow) {
    if (pmsBufferWindow == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    *pmsBufferWindow = m_stream.bufferWindowMs;
    return S_OK;
}

HRESULT StreamConfig::SetBufferWindow(DWORD msBufferWindow) {
    std::lock_guard lock(m_mutex);
    m_stream.bufferWindowMs = msBufferWindow;
    return S_OK;
}

HRESULT StreamConfig::GetType(GUID* pguidType) {
    return GetStreamType(pguidType);
}

HRESULT StreamConfig::GetMediaType(WM_MEDIA_TYPE* pType, DWORD* pcbType) {
    if (pcbType == nullptr) {
        return E_POINTER;
    }
    Bytes block;
    {
        std::lock_guard lock(m_mutex);
        BuildMediaTypeBlock(m_stream.info, m_stream.bitrate, &block);
    }
    if (pType == nullptr) {
        *pcbType = static_cast<DWORD>(block.size());
        return S_OK;
    }
    if (*pcbType < block.size()) {
        *pcbType = static_cast<DWORD>(block.size());
        return ASF_E_BUFFERTOOSMALL;
    }
    PlaceMediaTypeBlock(block, pType);
    *pcbType = static_cast<DWORD>(block.size());
    return S_OK;
}

HRESULT StreamConfig::SetMediaType(WM_MEDIA_TYPE*) {
    // The stream's format is the file's; a copy cannot change it.
    return NS_E_INVALID_REQUEST;
}

HRESULT StreamConfig::GetPropertyCount(DWORD* pdwCount) {
    if (pdwCount == nullptr) {
        return E_POINTER;
    }
    *pdwCount = 1;
    return S_OK;
}

HRESULT StreamConfig::GetPropertyByName(LPCWSTR pszName, WMT_ATTR_DATATYPE* pType, BYTE* pValue,
                                        DWORD* pdwSize) {
    if (pszName == nullptr || pType == nullptr || pdwSize == nullptr) {
        return E_POINTER;
    }
    if (U16FromWide(pszName) != kVbrEnabled) {
        return ASF_E_NOTFOUND;
    }
    *pType = WMT_TYPE_BOOL;
    if (pValue == nullptr) {
        *pdwSize = sizeof(BOOL);
        return S_OK;
    }
    if (*pdwSize < sizeof(BOOL)) {
        *pdwSize = sizeof(BOOL);
        return ASF_E_BUFFERTOOSMALL;
    }
    BOOL v;
    {
        std::lock_guard lock(m_mutex);
        v = m_stream.vbr ? TRUE : FALSE;
    }
    std::memcpy(pValue, &v, sizeof v);
    *pdwSize = sizeof(BOOL);
    return S_OK;
}

HRESULT StreamConfig::SetProperty(LPCWSTR pszName, WMT_ATTR_DATATYPE pType, BYTE* pValue,
                                  DWORD dwSize) {
    if (pszName == nullptr || pValue == nullptr) {
        return E_POINTER;
    }
    if (U16FromWide(pszName) != kVbrEnabled || pType != WMT_TYPE_BOOL || dwSize != sizeof(BOOL)) {
        return E_INVALIDARG;
    }
    BOOL v;
    std::memcpy(&v, pValue, sizeof v);
    std::lock_guard lock(m_mutex);
    m_stream.vbr = v != 0;
    return S_OK;
}

HRESULT StreamConfig::GetPropertyByIndex(DWORD dwIndex, LPWSTR pszName, DWORD* pdwNameLen,
                                         WMT_ATTR_DATATYPE* pType, BYTE* pValue, DWORD* pdwSize) {
    if (dwIndex != 0) {
        return E_INVALIDARG;
    }
    HRESULT hr = CopyOutString(kVbrEnabled, pszName, pdwNameLen);
    if (FAILED(hr)) {
        return hr;
    }
    std::wstring name = WideFromU16(kVbrEnabled);
    return GetPropertyByName(name.c_str(), pType, pValue, pdwSize);
}

HRESULT StreamConfig::CopyPropertiesFrom(IWMPropertyVault* other) {
    if (other == nullptr) {
        return E_POINTER;
    }
    std::wstring name = WideFromU16(kVbrEnabled);
    WMT_ATTR_DATATYPE type;
    BOOL v = FALSE;
    DWORD size = sizeof v;
    HRESULT hr = other->GetPropertyByName(name.c_str(), &type, reinterpret_cast<BYTE*>(&v), &size);
    if (SUCCEEDED(hr)) {
        std::lock_guard lock(m_mutex);
        m_stream.vbr = v != 0;
    }
    return S_OK;
}

HRESULT StreamConfig::Clear() {
    std::lock_guard lock(m_mutex);
    m_stream.vbr = false;
    return S_OK;
}

// ---- Profile ----

Profile::Profile(ProfileData data) : m_data(std::move(data)) {}

ProfileData Profile::Snapshot() const {
    std::lock_guard lock(m_mutex);
    return m_data;
}

HRESULT Profile::GetVersion(WMT_VERSION* pdwVersion) {
    if (pdwVersion == nullptr) {
        return E_POINTER;
    }
    *pdwVersion = WMT_VER_9_0;
    return S_OK;
}

HRESULT Profile::GetName(WCHAR* pwszName, DWORD* pcchName) {
    std::lock_guard lock(m_mutex);
    return CopyOutString(m_data.name, pwszName, pcchName);
}

HRESULT Profile::SetName(LPCWSTR pwszName) {
    std::lock_guard lock(m_mutex);
    m_data.name = U16FromWide(pwszName);
    return S_OK;
}

HRESULT Profile::GetDescription(WCHAR* pwszDescription, DWORD* pcchDescription) {
    std::lock_guard lock(m_mutex);
    return CopyOutString(m_data.description, pwszDescription, pcchDescription);
}

HRESULT Profile::SetDescription(LPCWSTR pwszDescription) {
    std::lock_guard lock(m_mutex);
    m_data.description = U16FromWide(pwszDescription);
    return S_OK;
}

HRESULT Profile::GetStreamCount(DWORD* pcStreams) {
    if (pcStreams == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    *pcStreams = static_cast<DWORD>(m_data.streams.size());
    return S_OK;
}

HRESULT Profile::GetStream(DWORD dwStreamIndex, IWMStreamConfig** ppConfig) {
    if (ppConfig == nullptr) {
        return E_POINTER;
    }
    *ppConfig = nullptr;
    std::lock_guard lock(m_mutex);
    if (dwStreamIndex >= m_data.streams.size()) {
        return E_INVALIDARG;
    }
    *ppConfig = new StreamConfig(m_data.streams[dwStreamIndex]);
    return S_OK;
}

HRESULT Profile::GetStreamByNumber(WORD wStreamNum, IWMStreamConfig** ppConfig) {
    if (ppConfig == nullptr) {
        return E_POINTER;
    }
    *ppConfig = nullptr;
    std::lock_guard lock(m_mutex);
    for (const auto& s : m_data.streams) {
        if (s.info.number == wStreamNum) {
            *ppConfig = new StreamConfig(s);
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

StreamConfig* Profile::ConfigOf(IWMStreamConfig* config) const {
    // Only this module's stream configurations carry a whole stream description.
    return dynamic_cast<StreamConfig*>(config);
}

HRESULT Profile::RemoveStream(IWMStreamConfig* pConfig) {
    if (pConfig == nullptr) {
        return E_POINTER;
    }
    WORD number = 0;
    pConfig->GetStreamNumber(&number);
    return RemoveStreamByNumber(number);
}

HRESULT Profile::RemoveStreamByNumber(WORD wStreamNum) {
    std::lock_guard lock(m_mutex);
    for (auto it = m_data.streams.begin(); it != m_data.streams.end(); ++it) {
        if (it->info.number == wStreamNum) {
            m_data.streams.erase(it);
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

HRESULT Profile::AddStream(IWMStreamConfig* pConfig) {
    StreamConfig* config = pConfig ? ConfigOf(pConfig) : nullptr;
    if (config == nullptr) {
        return E_INVALIDARG;
    }
    ProfileStream s;
    {
        WORD number = 0;
        config->GetStreamNumber(&number);
        s = config->Stream();
        s.info.number = number;
    }
    std::lock_guard lock(m_mutex);
    for (const auto& existing : m_data.streams) {
        if (existing.info.number == s.info.number) {
            return E_INVALIDARG;
        }
    }
    m_data.streams.push_back(std::move(s));
    return S_OK;
}

HRESULT Profile::ReconfigStream(IWMStreamConfig* pConfig) {
    if (pConfig == nullptr) {
        return E_POINTER;
    }
    WORD number = 0;
    DWORD window = 0;
    DWORD bitrate = 0;
    if (FAILED(pConfig->GetStreamNumber(&number)) || FAILED(pConfig->GetBufferWindow(&window)) ||
        FAILED(pConfig->GetBitrate(&bitrate))) {
        return E_INVALIDARG;
    }
    StreamConfig* config = ConfigOf(pConfig);
    std::lock_guard lock(m_mutex);
    for (auto& s : m_data.streams) {
        if (s.info.number == number) {
            s.bufferWindowMs = window;
            // A stream whose rate is raised raises the file's largest rate with it, so that the
            // file's rate stays at least the sum of its streams'.
            if (bitrate > s.bitrate && m_data.maxBitrate != 0) {
                uint64_t raised = uint64_t{m_data.maxBitrate} + (bitrate - s.bitrate);
                m_data.maxBitrate = static_cast<uint32_t>(std::min<uint64_t>(raised, 0xFFFFFFFFu));
            }
            s.bitrate = bitrate;
            if (config != nullptr) {
                s.vbr = config->Stream().vbr;
                s.name = config->Stream().name;
                s.connection = config->Stream().connection;
            }
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

HRESULT Profile::CreateNewStream(REFGUID, IWMStreamConfig**) {
    return E_NOTIMPL;
}

HRESULT Profile::GetMutualExclusionCount(DWORD* pcME) {
    if (pcME == nullptr) {
        return E_POINTER;
    }
    *pcME = 0;
    return S_OK;
}

HRESULT Profile::GetMutualExclusion(DWORD, IWMMutualExclusion**) {
    return E_NOTIMPL;
}
HRESULT Profile::RemoveMutualExclusion(IWMMutualExclusion*) {
    return E_NOTIMPL;
}
HRESULT Profile::AddMutualExclusion(IWMMutualExclusion*) {
    return E_NOTIMPL;
}
HRESULT Profile::CreateNewMutualExclusion(IWMMutualExclusion**) {
    return E_NOTIMPL;
}

}  // namespace asf
