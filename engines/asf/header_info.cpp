#include "engines/asf/header_info.h"

#include <algorithm>
#include <cstring>

#include "engines/asf/profile.h"
#include "engines/asf/text.h"
#include "platform/bytes.h"

namespace asf {

namespace {

constexpr size_t kMaxNameChars = 1024;
constexpr size_t kMaxMarkerChars = 5120;
constexpr size_t kMaxScriptTypeChars = 1024;
constexpr size_t kMaxScriptCommandChars = 10240;

size_t FixedSize(WMT_ATTR_DATATYPE t) {
    switch (t) {
        case WMT_TYPE_DWORD:
        case WMT_TYPE_BOOL:
            return 4;
        case WMT_TYPE_QWORD:
            return 8;
        case WMT_TYPE_WORD:
            return 2;
        case WMT_TYPE_GUID:
            return 16;
        default:
            return 0;
    }
}

bool ValidType(WMT_ATTR_DATATYPE t) {
    return t >= WMT_TYPE_DWORD && t <= WMT_TYPE_GUID;
}

Attribute MakeValue(const char16_t* name, WMT_ATTR_DATATYPE type, uint64_t v) {
    Attribute a;
    a.name = name;
    a.type = type;
    size_t n = FixedSize(type);
    for (size_t i = 0; i < n; ++i) {
        a.value.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    return a;
}

template <typename Len>
HRESULT CopyOutBytes(const Bytes& value, BYTE* buffer, Len* length) {
    if (value.size() > static_cast<Len>(~Len{0})) {
        return NS_E_INVALID_REQUEST;
    }
    if (buffer == nullptr) {
        *length = static_cast<Len>(value.size());
        return S_OK;
    }
    if (*length < value.size()) {
        *length = static_cast<Len>(value.size());
        return ASF_E_BUFFERTOOSMALL;
    }
    std::memcpy(buffer, value.data(), value.size());
    *length = static_cast<Len>(value.size());
    return S_OK;
}

uint16_t StoredCodecType(WMT_CODEC_INFO_TYPE t) {
    return t == WMT_CODECINFO_AUDIO   ? kCodecTypeAudio
           : t == WMT_CODECINFO_VIDEO ? kCodecTypeVideo
                                      : kCodecTypeUnknown;
}

WMT_CODEC_INFO_TYPE InterfaceCodecType(uint16_t stored) {
    return stored == kCodecTypeAudio   ? WMT_CODECINFO_AUDIO
           : stored == kCodecTypeVideo ? WMT_CODECINFO_VIDEO
                                       : WMT_CODECINFO_UNKNOWN;
}

bool IsDescriptionName(const std::u16string& name) {
    return name == u"Title" || name == u"Author" || name == u"Copyright" ||
           name == u"Description" || name == u"Rating";
}

}  // namespace

HRESULT ValueFromInterface(WMT_ATTR_DATATYPE type, const BYTE* value, size_t length, Bytes* out) {
    if (!ValidType(type)) {
        return E_INVALIDARG;
    }
    if (length > 0 && value == nullptr) {
        return E_POINTER;
    }
    size_t fixed = FixedSize(type);
    if (fixed != 0) {
        if (length != fixed) {
            return E_INVALIDARG;
        }
        out->assign(value, value + length);
        if (type == WMT_TYPE_BOOL) {
            bool v = std::any_of(out->begin(), out->end(), [](uint8_t b) { return b != 0; });
            *out = {static_cast<uint8_t>(v ? 1 : 0), 0, 0, 0};
        }
        return S_OK;
    }
    if (type == WMT_TYPE_STRING) {
        if (length % sizeof(WCHAR) != 0) {
            return E_INVALIDARG;
        }
        std::wstring text;
        for (size_t i = 0; i < length / sizeof(WCHAR); ++i) {
            WCHAR c;
            std::memcpy(&c, value + i * sizeof(WCHAR), sizeof c);
            if (c == 0) {
                break;
            }
            text.push_back(c);
        }
        ByteWriter w;
        AppendLe(w, U16FromWide(text.c_str()), true);
        *out = std::move(w.bytes());
        return S_OK;
    }
    out->assign(value, value + length);
    return S_OK;
}

Bytes ValueToInterface(const Attribute& a) {
    if (a.type != WMT_TYPE_STRING) {
        return a.value;
    }
    std::wstring text = WideFromU16(U16FromLe(ByteReader(a.value)));
    Bytes out((text.size() + 1) * sizeof(WCHAR), 0);
    std::memcpy(out.data(), text.data(), text.size() * sizeof(WCHAR));
    return out;
}

std::vector<Attribute> ComputedAttributes(const Header& h, uint64_t fileSize, bool hasIndex) {
    std::vector<Attribute> list;
    uint64_t preroll = UnitsFromMs(h.file.prerollMs);
    uint64_t duration = h.file.playDuration > preroll ? h.file.playDuration - preroll : 0;
    bool seekable = (h.file.flags & fileprops::kFlagSeekable) != 0;
    bool broadcast = (h.file.flags & fileprops::kFlagBroadcast) != 0;
    bool hasAudio = false;
    bool hasVideo = false;
    bool hasScript = false;
    bool hasImage = false;
    for (const auto& s : h.streams) {
        hasAudio = hasAudio || s.IsAudio();
        hasVideo = hasVideo || s.IsVideo();
        hasScript = hasScript || s.type == kCommandMedia;
        hasImage = hasImage || s.type == kJfifMedia || s.type == kDegradableJpegMedia;
    }
    hasScript = hasScript || !h.metadata.scripts.empty();
    list.push_back(MakeValue(u"Duration", WMT_TYPE_QWORD, duration));
    list.push_back(MakeValue(u"Bitrate", WMT_TYPE_DWORD, h.file.maxBitrate));
    list.push_back(MakeValue(u"Seekable", WMT_TYPE_BOOL, seekable && !broadcast ? 1 : 0));
    list.push_back(MakeValue(u"Stridable", WMT_TYPE_BOOL, seekable && hasIndex ? 1 : 0));
    list.push_back(MakeValue(u"Broadcast", WMT_TYPE_BOOL, broadcast ? 1 : 0));
    list.push_back(MakeValue(u"Is_Protected", WMT_TYPE_BOOL, h.protectedContent ? 1 : 0));
    list.push_back(MakeValue(u"HasAudio", WMT_TYPE_BOOL, hasAudio ? 1 : 0));
    list.push_back(MakeValue(u"HasVideo", WMT_TYPE_BOOL, hasVideo ? 1 : 0));
    list.push_back(MakeValue(u"HasScript", WMT_TYPE_BOOL, hasScript ? 1 : 0));
    list.push_back(MakeValue(u"HasImage", WMT_TYPE_BOOL, hasImage ? 1 : 0));
    list.push_back(MakeValue(u"FileSize", WMT_TYPE_QWORD, fileSize));
    return list;
}

HeaderInfo::HeaderInfo(Metadata metadata, std::vector<Attribute> computed, HeaderInfoPolicy policy)
    : m_metadata(std::move(metadata)), m_computed(std::move(computed)), m_policy(policy) {}

Metadata HeaderInfo::Snapshot() const {
    std::lock_guard lock(m_mutex);
    return m_metadata;
}

bool HeaderInfo::Changed() const {
    std::lock_guard lock(m_mutex);
    return m_changed;
}

void HeaderInfo::SetPolicy(HeaderInfoPolicy policy) {
    std::lock_guard lock(m_mutex);
    m_policy = policy;
}

bool HeaderInfo::IsComputed(const std::u16string& name) const {
    return std::any_of(m_computed.begin(), m_computed.end(),
                       [&](const Attribute& a) { return a.name == name; });
}

std::vector<const Attribute*> HeaderInfo::Listed(WORD stream) const {
    std::vector<const Attribute*> list;
    if (stream == 0) {
        for (const auto& a : m_computed) {
            list.push_back(&a);
        }
    }
    for (const auto& a : m_metadata.attributes) {
        if (a.stream == stream && !(stream == 0 && IsComputed(a.name))) {
            list.push_back(&a);
        }
    }
    return list;
}

std::vector<size_t> HeaderInfo::StoredOf(WORD stream) const {
    std::vector<size_t> list;
    for (size_t i = 0; i < m_metadata.attributes.size(); ++i) {
        if (m_metadata.attributes[i].stream == stream) {
            list.push_back(i);
        }
    }
    return list;
}

HRESULT HeaderInfo::GetAttributeCount(WORD wStreamNum, WORD* pcAttributes) {
    if (pcAttributes == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    *pcAttributes = static_cast<WORD>(std::min<size_t>(Listed(wStreamNum).size(), 0xFFFF));
    return S_OK;
}

HRESULT HeaderInfo::GetAttributeByIndex(WORD wIndex, WORD* pwStreamNum, WCHAR* pwszName,
                                        WORD* pcchNameLen, WMT_ATTR_DATATYPE* pType, BYTE* pValue,
                                        WORD* pcbLength) {
    if (pwStreamNum == nullptr || pcchNameLen == nullptr || pType == nullptr ||
        pcbLength == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    auto list = Listed(*pwStreamNum);
    if (wIndex >= list.size()) {
        return E_INVALIDARG;
    }
    const Attribute& a = *list[wIndex];
    HRESULT hr = CopyOutString(a.name, pwszName, pcchNameLen);
    if (FAILED(hr)) {
        return hr;
    }
    *pType = a.type;
    return CopyOutBytes(ValueToInterface(a), pValue, pcbLength);
}

HRESULT HeaderInfo::GetAttributeByName(WORD* pwStreamNum, LPCWSTR pszName, WMT_ATTR_DATATYPE* pType,
                                       BYTE* pValue, WORD* pcbLength) {
    if (pwStreamNum == nullptr || pszName == nullptr || pType == nullptr || pcbLength == nullptr) {
        return E_POINTER;
    }
    std::u16string name = U16FromWide(pszName);
    if (name.empty() || name.size() > kMaxNameChars) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_mutex);
    for (const Attribute* a : Listed(*pwStreamNum)) {
        if (a->name == name) {
            *pType = a->type;
            return CopyOutBytes(ValueToInterface(*a), pValue, pcbLength);
        }
    }
    *pcbLength = 0;
    return ASF_E_NOTFOUND;
}

HRESULT HeaderInfo::SetAttribute(WORD wStreamNum, LPCWSTR pszName, WMT_ATTR_DATATYPE Type,
                                 const BYTE* pValue, WORD cbLength) {
    if (pszName == nullptr) {
        return E_POINTER;
    }
    std::u16string name = U16FromWide(pszName);
    if (name.empty() || name.size() > kMaxNameChars || wStreamNum > 127) {
        return E_INVALIDARG;
    }
    Bytes value;
    HRESULT hr = ValueFromInterface(Type, pValue, cbLength, &value);
    if (FAILED(hr)) {
        return hr;
    }
    std::lock_guard lock(m_mutex);
    if (!m_policy.editable || (wStreamNum == 0 && IsComputed(name))) {
        return NS_E_INVALID_REQUEST;
    }
    auto& list = m_metadata.attributes;
    auto same = [&](const Attribute& a) {
        return a.stream == wStreamNum && a.language == 0 && a.name == name;
    };
    auto it = std::find_if(list.begin(), list.end(), same);
    if (it != list.end()) {
        it->type = Type;
        it->value = std::move(value);
        // Later duplicates would contradict the new value.
        list.erase(std::remove_if(std::next(it), list.end(), same), list.end());
    } else {
        Attribute a;
        a.stream = wStreamNum;
        a.name = name;
        a.type = Type;
        a.value = std::move(value);
        a.home = wStreamNum == 0 && IsDescriptionName(name)
                     ? AttributeHome::ContentDescription
                     : (wStreamNum == 0 ? AttributeHome::ExtendedContentDescription
                                        : AttributeHome::Metadata);
        list.push_back(std::move(a));
    }
    m_changed = true;
    return S_OK;
}

HRESULT HeaderInfo::GetMarkerCount(WORD* pcMarkers) {
    if (pcMarkers == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    *pcMarkers = static_cast<WORD>(std::min<size_t>(m_metadata.markers.size(), 0xFFFF));
    return S_OK;
}

HRESULT HeaderInfo::GetMarker(WORD wIndex, WCHAR* pwszMarkerName, WORD* pcchMarkerNameLen,
                              QWORD* pcnsMarkerTime) {
    if (pcchMarkerNameLen == nullptr || pcnsMarkerTime == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    if (wIndex >= m_metadata.markers.size()) {
        return E_INVALIDARG;
    }
    const Marker& m = m_metadata.markers[wIndex];
    *pcnsMarkerTime = m.time;
    return CopyOutString(m.name, pwszMarkerName, pcchMarkerNameLen);
}

HRESULT HeaderInfo::AddMarker(LPCWSTR pwszMarkerName, QWORD cnsMarkerTime) {
    if (pwszMarkerName == nullptr) {
        return E_POINTER;
    }
    std::u16string name = U16FromWide(pwszMarkerName);
    if (name.size() > kMaxMarkerChars) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_mutex);
    if (m_policy.markersNotImplemented) {
        return E_NOTIMPL;
    }
    if (!m_policy.markersEditable) {
        return NS_E_INVALID_REQUEST;
    }
    if (m_metadata.markers.size() >= 0xFFFF) {
        return E_INVALIDARG;
    }
    Marker m;
    m.name = std::move(name);
    m.time = cnsMarkerTime;
    // Markers stay in time order; one added at an equal time goes after the others.
    auto pos = std::upper_bound(m_metadata.markers.begin(), m_metadata.markers.end(), m.time,
                                [](uint64_t t, const Marker& k) { return t < k.time; });
    m_metadata.markers.insert(pos, std::move(m));
    m_changed = true;
    return S_OK;
}

HRESULT HeaderInfo::RemoveMarker(WORD wIndex) {
    std::lock_guard lock(m_mutex);
    if (m_policy.markersNotImplemented) {
        return E_NOTIMPL;
    }
    if (!m_policy.markersEditable) {
        return NS_E_INVALID_REQUEST;
    }
    if (wIndex >= m_metadata.markers.size()) {
        return E_INVALIDARG;
    }
    m_metadata.markers.erase(m_metadata.markers.begin() + wIndex);
    m_changed = true;
    return S_OK;
}

HRESULT HeaderInfo::GetScriptCount(WORD* pcScripts) {
    if (pcScripts == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    *pcScripts = static_cast<WORD>(std::min<size_t>(m_metadata.scripts.size(), 0xFFFF));
    return S_OK;
}

HRESULT HeaderInfo::GetScript(WORD wIndex, WCHAR* pwszType, WORD* pcchTypeLen, WCHAR* pwszCommand,
                              WORD* pcchCommandLen, QWORD* pcnsScriptTime) {
    if (pcchTypeLen == nullptr || pcchCommandLen == nullptr || pcnsScriptTime == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    if (wIndex >= m_metadata.scripts.size()) {
        return E_INVALIDARG;
    }
    const ScriptCommand& s = m_metadata.scripts[wIndex];
    *pcnsScriptTime = s.time;
    WORD typeLen = *pcchTypeLen;
    WORD commandLen = *pcchCommandLen;
    HRESULT hr1 = CopyOutString(s.type, pwszType, &typeLen);
    HRESULT hr2 = CopyOutString(s.command, pwszCommand, &commandLen);
    *pcchTypeLen = typeLen;
    *pcchCommandLen = commandLen;
    return FAILED(hr1) ? hr1 : hr2;
}

HRESULT HeaderInfo::AddScript(LPCWSTR pwszType, LPCWSTR pwszCommand, QWORD cnsScriptTime) {
    if (pwszType == nullptr || pwszCommand == nullptr) {
        return E_POINTER;
    }
    ScriptCommand s;
    s.type = U16FromWide(pwszType);
    s.command = U16FromWide(pwszCommand);
    s.time = cnsScriptTime;
    if (s.type.empty() || s.type.size() > kMaxScriptTypeChars ||
        s.command.size() > kMaxScriptCommandChars) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_mutex);
    if (!m_policy.editable) {
        return NS_E_INVALID_REQUEST;
    }
    if (m_metadata.scripts.size() >= 0xFFFF) {
        return E_INVALIDARG;
    }
    auto pos = std::upper_bound(m_metadata.scripts.begin(), m_metadata.scripts.end(), s.time,
                                [](uint64_t t, const ScriptCommand& k) { return t < k.time; });
    m_metadata.scripts.insert(pos, std::move(s));
    m_changed = true;
    return S_OK;
}

HRESULT HeaderInfo::RemoveScript(WORD wIndex) {
    std::lock_guard lock(m_mutex);
    if (!m_policy.editable) {
        return NS_E_INVALID_REQUEST;
    }
    if (wIndex >= m_metadata.scripts.size()) {
        return E_INVALIDARG;
    }
    m_metadata.scripts.erase(m_metadata.scripts.begin() + wIndex);
    m_changed = true;
    return S_OK;
}

HRESULT HeaderInfo::GetCodecInfoCount(DWORD* pcCodecInfos) {
    if (pcCodecInfos == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    *pcCodecInfos = static_cast<DWORD>(m_metadata.codecs.size());
    return S_OK;
}

HRESULT HeaderInfo::GetCodecInfo(DWORD wIndex, WORD* pcchName, WCHAR* pwszName,
                                 WORD* pcchDescription, WCHAR* pwszDescription,
                                 WMT_CODEC_INFO_TYPE* pCodecType, WORD* pcbCodecInfo,
                                 BYTE* pbCodecInfo) {
    if (pcchName == nullptr || pcchDescription == nullptr || pCodecType == nullptr ||
        pcbCodecInfo == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    if (wIndex >= m_metadata.codecs.size()) {
        return E_INVALIDARG;
    }
    const CodecEntry& c = m_metadata.codecs[wIndex];
    *pCodecType = InterfaceCodecType(c.type);
    HRESULT hr = CopyOutString(c.name, pwszName, pcchName);
    HRESULT hr2 = CopyOutString(c.description, pwszDescription, pcchDescription);
    HRESULT hr3 = CopyOutBytes(c.info, pbCodecInfo, pcbCodecInfo);
    return FAILED(hr) ? hr : FAILED(hr2) ? hr2 : hr3;
}

HRESULT HeaderInfo::GetAttributeCountEx(WORD wStreamNum, WORD* pcAttributes) {
    if (pcAttributes == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    *pcAttributes = static_cast<WORD>(std::min<size_t>(StoredOf(wStreamNum).size(), 0xFFFF));
    return S_OK;
}

HRESULT HeaderInfo::GetAttributeIndices(WORD wStreamNum, LPCWSTR pwszName, WORD* pwLangIndex,
                                        WORD* pwIndices, WORD* pwCount) {
    if (pwszName == nullptr || pwCount == nullptr) {
        return E_POINTER;
    }
    std::u16string name = U16FromWide(pwszName);
    std::lock_guard lock(m_mutex);
    std::vector<WORD> found;
    auto stored = StoredOf(wStreamNum);
    for (size_t i = 0; i < stored.size() && i < 0xFFFF; ++i) {
        const Attribute& a = m_metadata.attributes[stored[i]];
        if (a.name == name && (pwLangIndex == nullptr || a.language == *pwLangIndex)) {
            found.push_back(static_cast<WORD>(i));
        }
    }
    if (pwIndices == nullptr) {
        *pwCount = static_cast<WORD>(found.size());
        return found.empty() ? ASF_E_NOTFOUND : S_OK;
    }
    if (*pwCount < found.size()) {
        *pwCount = static_cast<WORD>(found.size());
        return ASF_E_BUFFERTOOSMALL;
    }
    std::copy(found.begin(), found.end(), pwIndices);
    *pwCount = static_cast<WORD>(found.size());
    return found.empty() ? ASF_E_NOTFOUND : S_OK;
}

HRESULT HeaderInfo::GetAttributeByIndexEx(WORD wStreamNum, WORD wIndex, LPWSTR pwszName,
                                          WORD* pwNameLen, WMT_ATTR_DATATYPE* pType,
                                          WORD* pwLangIndex, BYTE* pValue, DWORD* pdwDataLength) {
    if (pwNameLen == nullptr || pType == nullptr || pdwDataLength == nullptr) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    auto stored = StoredOf(wStreamNum);
    if (wIndex >= stored.size()) {
        return E_INVALIDARG;
    }
    const Attribute& a = m_metadata.attributes[stored[wIndex]];
    HRESULT hr = CopyOutString(a.name, pwszName, pwNameLen);
    if (FAILED(hr)) {
        return hr;
    }
    *pType = a.type;
    if (pwLangIndex != nullptr) {
        *pwLangIndex = a.language;
    }
    return CopyOutBytes(ValueToInterface(a), pValue, pdwDataLength);
}

HRESULT HeaderInfo::ModifyAttribute(WORD wStreamNum, WORD wIndex, WMT_ATTR_DATATYPE Type,
                                    WORD wLangIndex, const BYTE* pValue, DWORD dwLength) {
    Bytes value;
    HRESULT hr = ValueFromInterface(Type, pValue, dwLength, &value);
    if (FAILED(hr)) {
        return hr;
    }
    std::lock_guard lock(m_mutex);
    if (!m_policy.editable) {
        return NS_E_INVALID_REQUEST;
    }
    auto stored = StoredOf(wStreamNum);
    if (wIndex >= stored.size()) {
        return E_INVALIDARG;
    }
    Attribute& a = m_metadata.attributes[stored[wIndex]];
    a.type = Type;
    a.language = wLangIndex;
    a.value = std::move(value);
    m_changed = true;
    return S_OK;
}

HRESULT HeaderInfo::AddAttribute(WORD wStreamNum, LPCWSTR pszName, WORD* pwIndex,
                                 WMT_ATTR_DATATYPE Type, WORD wLangIndex, const BYTE* pValue,
                                 DWORD dwLength) {
    if (pszName == nullptr) {
        return E_POINTER;
    }
    std::u16string name = U16FromWide(pszName);
    if (name.empty() || name.size() > kMaxNameChars || wStreamNum > 127) {
        return E_INVALIDARG;
    }
    Bytes value;
    HRESULT hr = ValueFromInterface(Type, pValue, dwLength, &value);
    if (FAILED(hr)) {
        return hr;
    }
    std::lock_guard lock(m_mutex);
    if (!m_policy.editable || (wStreamNum == 0 && IsComputed(name))) {
        return NS_E_INVALID_REQUEST;
    }
    Attribute a;
    a.stream = wStreamNum;
    a.language = wLangIndex;
    a.name = std::move(name);
    a.type = Type;
    a.value = std::move(value);
    a.home = wLangIndex != 0 || Type == WMT_TYPE_GUID ? AttributeHome::MetadataLibrary
             : wStreamNum == 0                        ? AttributeHome::ExtendedContentDescription
                                                      : AttributeHome::Metadata;
    m_metadata.attributes.push_back(std::move(a));
    if (pwIndex != nullptr) {
        *pwIndex = static_cast<WORD>(StoredOf(wStreamNum).size() - 1);
    }
    m_changed = true;
    return S_OK;
}

HRESULT HeaderInfo::DeleteAttribute(WORD wStreamNum, WORD wIndex) {
    std::lock_guard lock(m_mutex);
    if (!m_policy.editable) {
        return NS_E_INVALID_REQUEST;
    }
    auto stored = StoredOf(wStreamNum);
    if (wIndex >= stored.size()) {
        return E_INVALIDARG;
    }
    m_metadata.attributes.erase(m_metadata.attributes.begin() + static_cast<long>(stored[wIndex]));
    m_changed = true;
    return S_OK;
}

HRESULT HeaderInfo::AddCodecInfo(LPCWSTR pwszName, LPCWSTR pwszDescription,
                                 WMT_CODEC_INFO_TYPE codecType, WORD cbCodecInfo,
                                 const BYTE* pbCodecInfo) {
    if (pwszName == nullptr || pwszDescription == nullptr ||
        (cbCodecInfo > 0 && pbCodecInfo == nullptr)) {
        return E_POINTER;
    }
    CodecEntry c;
    c.type = StoredCodecType(codecType);
    c.name = U16FromWide(pwszName);
    c.description = U16FromWide(pwszDescription);
    if (c.name.size() >= 0xFFFF || c.description.size() >= 0xFFFF) {
        return E_INVALIDARG;
    }
    if (cbCodecInfo > 0) {
        c.info.assign(pbCodecInfo, pbCodecInfo + cbCodecInfo);
    }
    std::lock_guard lock(m_mutex);
    if (!m_policy.editable) {
        return NS_E_INVALID_REQUEST;
    }
    m_metadata.codecs.push_back(std::move(c));
    m_changed = true;
    return S_OK;
}

}  // namespace asf
