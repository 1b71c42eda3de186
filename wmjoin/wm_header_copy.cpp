// Carrying the header over: the first input's attributes, codec list and scripts before
// writing; every input's markers and the later inputs' scripts, at the places the sample pump
// gave those inputs, added to the finished output.
#include <algorithm>
#include <iterator>
#include <vector>

#include "job/join_host.h"
#include "job/join_options.h"
#include "platform/unicode.h"
#include "wmjoin/wm_entry_points.h"
#include "wmjoin/wm_joiner.h"

namespace {

constexpr const char* kCopiedAttributes[] = {
    "Title",          "Author",       "Description",     "Rating",           "Copyright",
    "WM/AlbumTitle",  "WM/Track",     "WM/PromotionURL", "WM/AlbumCoverURL", "WM/Genre",
    "WM/Year",        "WM/GenreID",   "WM/MCDI",         "BannerImageType",  "BannerImageData",
    "BannerImageURL", "CopyrightURL",
};
constexpr char kStreamAttribute[] = "_MyAttribute";
// What a reader works out from the file itself (its length, rates, streams, protection): a copy
// would describe the first input rather than the joined file, whose own header says it.
constexpr const char* kFileLayoutAttributes[] = {
    "Duration",
    "Bitrate",
    "Seekable",
    "Stridable",
    "Broadcast",
    "Is_Protected",
    "Is_Trusted",
    "Signature_Name",
    "HasAudio",
    "HasVideo",
    "HasScript",
    "HasImage",
    "HasAttachedImages",
    "FileSize",
    "NumberOfFrames",
    "CurrentBitrate",
    "OptimalBitrate",
    "Can_Skip_Backward",
    "Can_Skip_Forward",
    "HasArbitraryDataStream",
    "HasFileTransferStream",
};
// The largest value the designed attribute copy can carry (its calls count bytes in a WORD);
// a larger one goes with the other attributes.
constexpr DWORD kLargestWordValue = 0xFFFF;

bool Listed(const std::string& name, const char* const* begin, const char* const* end) {
    return std::any_of(begin, end, [&](const char* listed) { return name == listed; });
}

std::string NameText(const wchar_t* name) {
    return Utf8FromWide(name);
}

// The first input's header and the writer's as IWMHeaderInfo3, released with the pair.
struct HeaderInfo3Pair {
    IWMHeaderInfo3* source = nullptr;
    IWMHeaderInfo3* destination = nullptr;
    HeaderInfo3Pair() = default;
    HeaderInfo3Pair(const HeaderInfo3Pair&) = delete;
    HeaderInfo3Pair& operator=(const HeaderInfo3Pair&) = delete;
    ~HeaderInfo3Pair() {
        SafeRelease(source);
        SafeRelease(destination);
    }
    // On failure the line goes to `message`.
    HRESULT Query(IWMHeaderInfo* from, IWMHeaderInfo* to, std::string* message) {
        HRESULT hr = from->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(&source));
        if (SUCCEEDED(hr)) {
            hr = to->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(&destination));
        }
        if (FAILED(hr)) {
            *message = WmLine("QI for IWMHeaderInfo3 failed (hr=0x%08x).\n", Hex(hr));
        }
        return hr;
    }
};

}  // namespace

HRESULT CWMJoiner::CopyAttributes(IWMHeaderInfo* writerHeader) {
    for (const char* name : kCopiedAttributes) {
        std::wstring wide = WideFromUtf8(name);
        HRESULT hr = CopyAttribute(0, 0, writerHeader, wide.c_str());
        if (FAILED(hr)) {
            return hr;
        }
    }
    HRESULT others = CopyOtherAttributes(writerHeader);
    if (FAILED(others)) {
        return others;
    }
    std::wstring streamAttribute = WideFromUtf8(kStreamAttribute);
    for (int n = 2; n <= m_nFiles; ++n) {
        const WmStreamMap* map = m_streamMaps[static_cast<size_t>(n - 1)].get();
        if (map == nullptr) {
            continue;
        }
        for (uint32_t j = 0; j < m_nStreams; ++j) {
            HRESULT hr = CopyAttribute((*map)[j], (*map)[m_nStreams + j], writerHeader,
                                       streamAttribute.c_str());
            if (FAILED(hr)) {
                return hr;
            }
        }
    }
    return S_OK;
}

HRESULT CWMJoiner::CopyAttribute(WORD sourceStream, WORD destinationStream,
                                 IWMHeaderInfo* destination, const wchar_t* name) {
    IWMHeaderInfo* source = m_headerInfos.empty() ? nullptr : m_headerInfos[0];
    if (source == nullptr) {
        return E_POINTER;
    }
    WORD stream = sourceStream;
    WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
    WORD length = 0;
    HRESULT hr = source->GetAttributeByName(&stream, name, &type, nullptr, &length);
    if (hr == ASF_E_NOTFOUND && length == 0) {
        return S_OK;  // input 1 does not have it
    }
    if (hr == NS_E_INVALID_REQUEST && sourceStream == 0) {
        return S_OK;  // too large for these calls: CopyOtherAttributes carries it
    }
    if (FAILED(hr)) {
        m_strMessage = WmLine("GetAttributeByName failed for Attribute name %s (hr=0x%08x).\n",
                              NameText(name).c_str(), Hex(hr));
        return hr;
    }
    std::vector<BYTE> value(length);
    stream = sourceStream;
    hr = source->GetAttributeByName(&stream, name, &type, value.data(), &length);
    if (FAILED(hr)) {
        m_strMessage = WmLine("GetAttributeByName failed for Attribute name %s (hr=0x%08x).\n",
                              NameText(name).c_str(), Hex(hr));
        return hr;
    }
    hr = destination->SetAttribute(destinationStream, name, type, value.data(), length);
    if (FAILED(hr)) {
        m_strMessage = WmLine("SetAttribute failed for Attribute name %s (hr=0x%08x).\n",
                              NameText(name).c_str(), Hex(hr));
    }
    return hr;
}

HRESULT CWMJoiner::CopyOtherAttributes(IWMHeaderInfo* writerHeader) {
    HeaderInfo3Pair pair;
    HRESULT hr = pair.Query(m_headerInfos[0], writerHeader, &m_strMessage);
    if (FAILED(hr)) {
        return hr;
    }
    IWMHeaderInfo3* source = pair.source;
    IWMHeaderInfo3* destination = pair.destination;
    WORD count = 0;
    if (FAILED(hr = source->GetAttributeCountEx(0, &count))) {
        m_strMessage = WmLine("GetAttributeCountEx failed (hr=0x%08x).\n", Hex(hr));
        return hr;
    }
    std::vector<std::string> designedSeen;
    for (WORD i = 0; i < count; ++i) {
        WORD nameLength = 0;
        WORD language = 0;
        WMT_ATTR_DATATYPE type = WMT_TYPE_BINARY;
        DWORD length = 0;
        hr = source->GetAttributeByIndexEx(0, i, nullptr, &nameLength, &type, &language, nullptr,
                                           &length);
        std::vector<WCHAR> name(nameLength + 1u, 0);
        std::vector<BYTE> value(length);
        if (SUCCEEDED(hr)) {
            hr = source->GetAttributeByIndexEx(0, i, name.data(), &nameLength, &type, &language,
                                               value.data(), &length);
        }
        if (FAILED(hr)) {
            m_strMessage = WmLine("GetAttributeByIndexEx failed for Attribute no %d (hr=0x%08x).\n",
                                  i, Hex(hr));
            return hr;
        }
        name.back() = 0;
        const std::string text = NameText(name.data());
        bool designed = Listed(text, std::begin(kCopiedAttributes), std::end(kCopiedAttributes));
        // The first of a designed name went in with the designed list, unless it was too large.
        if (designed &&
            std::find(designedSeen.begin(), designedSeen.end(), text) == designedSeen.end()) {
            designedSeen.push_back(text);
            if (length <= kLargestWordValue) {
                continue;
            }
        }
        if (Listed(text, std::begin(kFileLayoutAttributes), std::end(kFileLayoutAttributes))) {
            continue;
        }
        hr = destination->AddAttribute(0, name.data(), nullptr, type, language, value.data(),
                                       length);
        if (FAILED(hr)) {
            m_strMessage = WmLine("AddAttribute failed for Attribute name %s (hr=0x%08x).\n",
                                  text.c_str(), Hex(hr));
            return hr;
        }
    }
    return S_OK;
}

HRESULT CWMJoiner::CopyCodecInfo(IWMHeaderInfo* writerHeader) {
    HeaderInfo3Pair pair;
    HRESULT hr = pair.Query(m_headerInfos[0], writerHeader, &m_strMessage);
    if (FAILED(hr)) {
        return hr;
    }
    IWMHeaderInfo3* source = pair.source;
    IWMHeaderInfo3* destination = pair.destination;
    DWORD count = 0;
    if (FAILED(hr = source->GetCodecInfoCount(&count))) {
        m_strMessage = WmLine("GetCodecInfoCount failed (hr=0x%08x).\n", Hex(hr));
        return hr;
    }
    for (DWORD i = 0; i < count; ++i) {
        WORD nameLength = 0, descriptionLength = 0, infoLength = 0;
        WMT_CODEC_INFO_TYPE codecType = WMT_CODECINFO_UNKNOWN;
        hr = source->GetCodecInfo(i, &nameLength, nullptr, &descriptionLength, nullptr, &codecType,
                                  &infoLength, nullptr);
        if (FAILED(hr)) {
            m_strMessage = WmLine("GetCodecInfo failed (hr=0x%08x).\n", Hex(hr));
            return hr;
        }
        std::vector<WCHAR> name(nameLength + 1u, 0);
        std::vector<WCHAR> description(descriptionLength + 1u, 0);
        std::vector<BYTE> info(infoLength);
        hr = source->GetCodecInfo(i, &nameLength, name.data(), &descriptionLength,
                                  description.data(), &codecType, &infoLength, info.data());
        if (FAILED(hr)) {
            m_strMessage = WmLine("GetCodecInfo failed (hr=0x%08x).\n", Hex(hr));
            return hr;
        }
        name[std::min<size_t>(nameLength, name.size() - 1)] = 0;
        description[std::min<size_t>(descriptionLength, description.size() - 1)] = 0;
        hr = destination->AddCodecInfo(name.data(), description.data(), codecType, infoLength,
                                       info.data());
        if (FAILED(hr)) {
            m_strMessage = WmLine("AddCodecInfo failed (hr=0x%08x).\n", Hex(hr));
            return hr;
        }
    }
    return S_OK;
}

HRESULT CWMJoiner::CopyScripts(IWMHeaderInfo* destination, IWMHeaderInfo* source, int64_t shift) {
    WORD count = 0;
    HRESULT hr = source->GetScriptCount(&count);
    if (FAILED(hr)) {
        m_strMessage = WmLine("GetScriptCount failed (hr=0x%08x).\n", Hex(hr));
        return hr;
    }
    for (WORD i = 0; i < count; ++i) {
        WORD typeLength = 0, commandLength = 0;
        QWORD time = 0;
        hr = source->GetScript(i, nullptr, &typeLength, nullptr, &commandLength, &time);
        if (FAILED(hr)) {
            m_strMessage = WmLine("GetScript failed for Script no %d (hr=0x%08x).\n", i, Hex(hr));
            return hr;
        }
        // One more character than asked for, so the text always ends in a zero.
        std::vector<WCHAR> type(typeLength + 1u, 0);
        std::vector<WCHAR> command(commandLength + 1u, 0);
        hr = source->GetScript(i, type.data(), &typeLength, command.data(), &commandLength, &time);
        if (FAILED(hr)) {
            m_strMessage = WmLine("GetScript failed for Script no %d (hr=0x%08x).\n", i, Hex(hr));
            return hr;
        }
        hr = destination->AddScript(type.data(), command.data(), ShiftedTime(time, shift));
        if (FAILED(hr)) {
            m_strMessage = WmLine("AddScript failed for Script no %d (hr=0x%08x).\n", i, Hex(hr));
            return hr;
        }
    }
    return S_OK;
}

HRESULT CWMJoiner::CopyMarkersToOutput() {
    std::string line;
    IWMMetadataEditor* editor = nullptr;
    IWMHeaderInfo* header = nullptr;
    HRESULT hr = g_pfnWMCreateEditor != nullptr ? g_pfnWMCreateEditor(&editor) : E_FAIL;
    if (FAILED(hr)) {
        editor = nullptr;
        line = WmLine("Could not create Metadata Editor (hr=0x%08x).\n", Hex(hr));
    } else if (FAILED(hr = editor->Open(m_outputPath.c_str()))) {
        line = WmLine("Could not open outfile %s (hr=0x%08x).\n",
                      Utf8FromWide(m_outputPath).c_str(), Hex(hr));
    } else if (FAILED(hr = editor->QueryInterface(IID_IWMHeaderInfo,
                                                  reinterpret_cast<void**>(&header)))) {
        header = nullptr;
        line = WmLine("Could not QI for IWMHeaderInfo (hr=0x%08x).\n", Hex(hr));
    } else {
        // Every input's markers, and the later inputs' scripts, go where its samples went.
        for (int n = 1; n <= m_nFiles; ++n) {
            IWMHeaderInfo* source = m_headerInfos[static_cast<size_t>(n - 1)];
            int64_t shift = Offset(n);
            hr = source != nullptr ? CopyMarkers(source, header, shift) : E_POINTER;
            if (SUCCEEDED(hr) && n >= 2) {
                hr = CopyScripts(header, source, shift);
            }
            if (SUCCEEDED(hr) && g_markInputs) {
                hr = AddInputMarker(header, n, FirstSampleTime(n));
            }
            if (FAILED(hr)) {
                line = WmLine(
                           "Could not create Metadata Editor for No.%d head info:-> "
                           "(hr=0x%08x).\n",
                           n, Hex(hr)) +
                       m_strMessage;
                break;
            }
        }
        if (SUCCEEDED(hr) && FAILED(hr = editor->Close())) {
            line = WmLine("Could not close the Editor (hr=0x%08x).\n", Hex(hr));
        }
    }
    SafeRelease(header);
    SafeRelease(editor);
    if (FAILED(hr)) {
        Show(hr, line);
    }
    return hr;
}

HRESULT CWMJoiner::AddInputMarker(IWMHeaderInfo* destination, int input, QWORD shift) {
    const std::vector<JoinInput>& inputs = m_host.Inputs();
    if (input < 1 || static_cast<size_t>(input) > inputs.size()) {
        return S_OK;
    }
    const std::string& path = inputs[static_cast<size_t>(input - 1)].path;
    size_t slash = path.find_last_of('/');
    std::wstring name = WideFromUtf8(slash == std::string::npos ? path : path.substr(slash + 1));
    HRESULT hr = destination->AddMarker(name.c_str(), shift);
    if (FAILED(hr)) {
        m_strMessage =
            WmLine("AddMarker failed for the marker of input %d (hr=0x%08x).\n", input, Hex(hr));
    }
    return hr;
}

HRESULT CWMJoiner::CopyMarkers(IWMHeaderInfo* source, IWMHeaderInfo* destination, int64_t shift) {
    WORD count = 0;
    HRESULT hr = source->GetMarkerCount(&count);
    if (FAILED(hr)) {
        m_strMessage = WmLine("GetMarkerCount failed (hr=0x%08x).\n", Hex(hr));
        return hr;
    }
    for (WORD i = 0; i < count; ++i) {
        WORD nameLength = 0;
        QWORD time = 0;
        hr = source->GetMarker(i, nullptr, &nameLength, &time);
        if (FAILED(hr)) {
            m_strMessage = WmLine("GetMarker failed for Marker no %d (hr=0x%08x).\n", i, Hex(hr));
            return hr;
        }
        std::vector<WCHAR> name(nameLength + 1u, 0);
        hr = source->GetMarker(i, name.data(), &nameLength, &time);
        if (FAILED(hr)) {
            m_strMessage = WmLine("GetMarker failed for Marker no %d (hr=0x%08x).\n", i, Hex(hr));
            return hr;
        }
        hr = destination->AddMarker(name.data(), ShiftedTime(time, shift));
        if (FAILED(hr)) {
            m_strMessage = WmLine("AddMarker failed for Marker no %d (hr=0x%08x).\n", i, Hex(hr));
            return hr;
        }
    }
    return S_OK;
}
