#include "wmjoin/tests/wm_test_support.h"

#include <condition_variable>
#include <cstdio>
#include <sstream>

#include "engines/asf/asf_format.h"
#include "job/job_state.h"
#include "platform/auto_event.h"
#include "platform/module.h"
#include "platform/unicode.h"
#include "tests/support/media_fixtures.h"
#include "wmjoin/wm_entry_points.h"

namespace wmtest {

namespace {

constexpr size_t kHeaderSizeOffset = 16;                       // the object's u64 size
constexpr size_t kHeaderCountOffset = asf::kObjectHeaderSize;  // the u32 child count
constexpr size_t kFirstChildOffset = asf::kHeaderObjectFixed;

void PutGuid(ByteWriter& w, const GUID& g) {
    uint8_t bytes[16];
    GuidToBytes(g, bytes);
    w.Bytes(bytes, sizeof bytes);
}

// An object: its GUID, its size, then `body`.
std::vector<uint8_t> Object(const GUID& id, const ByteWriter& body) {
    ByteWriter w;
    PutGuid(w, id);
    w.LE64(asf::kObjectHeaderSize + body.size()).Bytes(body.bytes().data(), body.size());
    return w.bytes();
}

void PutUtf16(ByteWriter& w, const std::u16string& text) {
    for (char16_t c : text) {
        w.LE16(static_cast<uint16_t>(c));
    }
}

// Opens files with the module's reader and waits for each answer.
class SyncCallback : public OwnedComObject<IWMReaderCallback> {
public:
    HRESULT OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE, BYTE*, void*) override {
        if (status == WMT_OPENED || status == WMT_CLOSED) {
            result = hr;
            event.Set();
        }
        return S_OK;
    }
    HRESULT OnSample(DWORD, QWORD, QWORD, DWORD, INSSBuffer*, void*) override { return S_OK; }

    HRESULT result = S_OK;
    AutoResetEvent event;
};

}  // namespace

bool LoadEngine() {
    static std::unique_ptr<Module> module;
    if (module == nullptr) {
        SetModuleFolder(kjtest::BinDir());
        module = Module::Load("WMVCore");
    }
    return module != nullptr && LoadWmEntryPoints(*module);
}

RecordingHost::RecordingHost(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        MediaFileInfo info;
        info.m_strPath = path;
        info.m_nKind = kKindWmv;
        m_inputs.push_back({path, info});
    }
}

void RecordingHost::PostJoinPercent(int percent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_percents.push_back(percent);
    if (percent == m_stopAtPercent) {
        g_stopRequested = 1;
    }
}

void RecordingHost::MessageBox(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.push_back(text);
}

std::vector<int> RecordingHost::Percents() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_percents;
}

std::vector<std::string> RecordingHost::Messages() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

std::vector<uint8_t> ScriptCommandObject(uint32_t timeMs, const std::u16string& type,
                                         const std::u16string& command) {
    ByteWriter body;
    PutGuid(body, asf::kReserved3);
    body.LE16(1).LE16(1);  // one command of one type
    body.LE16(static_cast<uint16_t>(type.size()));
    PutUtf16(body, type);
    body.LE32(timeMs).LE16(0).LE16(static_cast<uint16_t>(command.size()));
    PutUtf16(body, command);
    return Object(asf::kScriptCommand, body);
}

std::vector<uint8_t> ContentEncryptionObject() {
    ByteWriter body;
    body.LE32(4).Text("KEYS");  // secret data
    body.LE32(4).Text("DRM").U8(0);
    body.LE32(5).Text("key1").U8(0);
    body.LE32(20).Text("http://l.example/x").U8(0).U8(0);
    return Object(asf::kContentEncryption, body);
}

StoredAttribute TextAttribute(const std::u16string& name, const std::u16string& text) {
    ByteWriter w;
    PutUtf16(w, text);
    w.LE16(0);
    return {name, asf::kValueString, w.bytes()};
}

StoredAttribute DwordAttribute(const std::u16string& name, uint32_t value) {
    ByteWriter w;
    w.LE32(value);
    return {name, asf::kValueDword, w.bytes()};
}

StoredAttribute PictureAttribute(const std::vector<uint8_t>& picture) {
    constexpr uint8_t kFrontCover = 3;
    ByteWriter w;
    w.U8(kFrontCover).LE32(static_cast<uint32_t>(picture.size()));
    PutUtf16(w, u"image/jpeg");
    w.LE16(0);
    PutUtf16(w, u"Front");
    w.LE16(0);
    w.Bytes(picture.data(), picture.size());
    return {u"WM/Picture", asf::kValueBytes, w.bytes()};
}

std::vector<uint8_t> ExtendedContentDescriptionObject(const std::vector<StoredAttribute>& list) {
    ByteWriter body;
    body.LE16(static_cast<uint16_t>(list.size()));
    for (const StoredAttribute& a : list) {
        body.LE16(static_cast<uint16_t>(2 * (a.name.size() + 1)));
        PutUtf16(body, a.name);
        body.LE16(0).LE16(a.type).LE16(static_cast<uint16_t>(a.value.size()));
        body.Bytes(a.value.data(), a.value.size());
    }
    return Object(asf::kExtendedContentDescription, body);
}

std::vector<uint8_t> WithPlayDurationChanged(std::vector<uint8_t> file, int64_t change) {
    uint8_t id[16];
    GuidToBytes(asf::kFileProperties, id);
    ByteReader reader(file);
    for (size_t at = 0; reader.Has(at, asf::fileprops::kSize); ++at) {
        if (reader.Matches(at, id, sizeof id)) {
            uint64_t duration = reader.LE64(at + asf::fileprops::kPlayDuration);
            ByteWriter patch;
            patch.bytes() = std::move(file);
            patch.PatchLE64(at + asf::fileprops::kPlayDuration,
                            duration + static_cast<uint64_t>(change));
            return std::move(patch.bytes());
        }
    }
    return file;
}

std::vector<uint8_t> WithHeaderObject(std::vector<uint8_t> file,
                                      const std::vector<uint8_t>& object) {
    ByteReader reader(file);
    uint64_t headerSize = reader.LE64(kHeaderSizeOffset);
    uint32_t count = reader.LE32(kHeaderCountOffset);
    file.insert(file.begin() + kFirstChildOffset, object.begin(), object.end());
    ByteWriter patch;
    patch.bytes() = std::move(file);
    patch.PatchLE64(kHeaderSizeOffset, headerSize + object.size());
    patch.PatchLE32(kHeaderCountOffset, count + 1);
    return std::move(patch.bytes());
}

std::string HeaderItems::Attribute::Text() const {
    std::wstring wide;
    for (size_t i = 0; i + sizeof(WCHAR) <= value.size(); i += sizeof(WCHAR)) {
        WCHAR c;
        std::memcpy(&c, value.data() + i, sizeof c);
        if (c == 0) {
            break;
        }
        wide.push_back(c);
    }
    return Utf8FromWide(wide);
}

bool HeaderItems::Get(const std::string& name, Attribute* out) const {
    IWMMetadataEditor* editor = nullptr;
    IWMHeaderInfo* header = nullptr;
    bool found = false;
    if (SUCCEEDED(g_pfnWMCreateEditor(&editor)) &&
        SUCCEEDED(editor->Open(WideFromUtf8(path).c_str())) &&
        SUCCEEDED(editor->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(&header)))) {
        std::wstring wide = WideFromUtf8(name);
        WORD stream = 0;
        WORD length = 0;
        if (SUCCEEDED(
                header->GetAttributeByName(&stream, wide.c_str(), &out->type, nullptr, &length)) &&
            length > 0) {
            out->value.assign(length, 0);
            found = SUCCEEDED(header->GetAttributeByName(&stream, wide.c_str(), &out->type,
                                                         out->value.data(), &length));
        }
    }
    SafeRelease(header);
    SafeRelease(editor);
    return found;
}

HeaderItems ReadHeaderItems(const std::string& path) {
    HeaderItems items;
    items.path = path;
    IWMMetadataEditor* editor = nullptr;
    IWMHeaderInfo* header = nullptr;
    IWMHeaderInfo3* header3 = nullptr;
    if (FAILED(g_pfnWMCreateEditor(&editor)) || FAILED(editor->Open(WideFromUtf8(path).c_str())) ||
        FAILED(editor->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(&header))) ||
        FAILED(editor->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(&header3)))) {
        SafeRelease(header);
        SafeRelease(editor);
        return items;
    }
    WORD count = 0;
    header->GetScriptCount(&count);
    for (WORD i = 0; i < count; ++i) {
        WORD typeLength = 0, commandLength = 0;
        QWORD time = 0;
        header->GetScript(i, nullptr, &typeLength, nullptr, &commandLength, &time);
        std::wstring type(typeLength, 0), command(commandLength, 0);
        header->GetScript(i, type.data(), &typeLength, command.data(), &commandLength, &time);
        items.scripts.emplace_back(Utf8FromWide(command.c_str()), time);
    }
    header->GetMarkerCount(&count);
    for (WORD i = 0; i < count; ++i) {
        WORD nameLength = 0;
        QWORD time = 0;
        header->GetMarker(i, nullptr, &nameLength, &time);
        std::wstring name(nameLength, 0);
        header->GetMarker(i, name.data(), &nameLength, &time);
        items.markers.emplace_back(Utf8FromWide(name.c_str()), time);
    }
    DWORD codecs = 0;
    header3->GetCodecInfoCount(&codecs);
    for (DWORD i = 0; i < codecs; ++i) {
        WORD nameLength = 0, descriptionLength = 0, infoLength = 0;
        WMT_CODEC_INFO_TYPE type = WMT_CODECINFO_UNKNOWN;
        header3->GetCodecInfo(i, &nameLength, nullptr, &descriptionLength, nullptr, &type,
                              &infoLength, nullptr);
        std::wstring name(nameLength, 0), description(descriptionLength, 0);
        std::vector<BYTE> info(infoLength);
        header3->GetCodecInfo(i, &nameLength, name.data(), &descriptionLength, description.data(),
                              &type, &infoLength, info.data());
        items.codecNames.push_back(Utf8FromWide(name.c_str()));
    }
    items.ok = true;
    SafeRelease(header3);
    SafeRelease(header);
    SafeRelease(editor);
    return items;
}

ProfileStreams ReadProfile(const std::string& path) {
    ProfileStreams streams;
    IWMReader* reader = nullptr;
    SyncCallback callback;
    if (FAILED(g_pfnWMCreateReader(nullptr, 0, &reader))) {
        return streams;
    }
    if (SUCCEEDED(reader->Open(WideFromUtf8(path).c_str(), &callback, nullptr))) {
        callback.event.Wait();
        IWMProfile* profile = nullptr;
        if (SUCCEEDED(callback.result) &&
            SUCCEEDED(reader->QueryInterface(IID_IWMProfile, reinterpret_cast<void**>(&profile)))) {
            DWORD count = 0;
            profile->GetStreamCount(&count);
            for (DWORD i = 0; i < count; ++i) {
                IWMStreamConfig* config = nullptr;
                if (FAILED(profile->GetStream(i, &config))) {
                    continue;
                }
                WORD number = 0;
                DWORD window = 0;
                GUID type;
                config->GetStreamNumber(&number);
                config->GetBufferWindow(&window);
                DWORD bitrate = 0;
                config->GetBitrate(&bitrate);
                streams.bitrates.push_back(bitrate);
                config->GetStreamType(&type);
                streams.numbers.push_back(number);
                streams.bufferWindows.push_back(window);
                streams.types.push_back(type);
                SafeRelease(config);
            }
            streams.ok = true;
            SafeRelease(profile);
        }
        if (SUCCEEDED(reader->Close())) {
            callback.event.WaitFor(std::chrono::seconds(5));
        }
    }
    SafeRelease(reader);
    return streams;
}

std::vector<double> PacketTimes(const std::string& path, const std::string& stream) {
    kjtest::CommandResult r = kjtest::RunCommand(
        "ffprobe -v error -select_streams " + stream +
        " -show_entries packet=pts_time -of default=nw=1:nk=1 " + kjtest::ShellQuote(path));
    std::vector<double> times;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        try {
            times.push_back(std::stod(line));
        } catch (...) {
        }
    }
    return times;
}

std::vector<PacketSpan> PacketSpans(const std::string& path, const std::string& stream) {
    kjtest::CommandResult r = kjtest::RunCommand(
        "ffprobe -v error -select_streams " + stream +
        " -show_entries packet=pts_time,duration_time -of csv=p=0 " + kjtest::ShellQuote(path));
    std::vector<PacketSpan> spans;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        PacketSpan span;
        if (std::sscanf(line.c_str(), "%lf,%lf", &span.pts, &span.duration) >= 1) {
            spans.push_back(span);
        }
    }
    return spans;
}

}  // namespace wmtest
