// Support for the Windows Media join tests: the engine module, a host that records what the
// joiner tells it, ASF files made by ffmpeg and edited byte by byte, and a look at a finished
// file's header through the module's editor and reader.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engines/asf/wmsdk.h"
#include "job/join_host.h"
#include "platform/bytes.h"

class Module;

namespace wmtest {

// Loads the WMVCore module from the build and resolves its factories (once per process).
bool LoadEngine();

class RecordingHost : public JoinHost {
public:
    explicit RecordingHost(const std::vector<std::string>& paths);

    const std::vector<JoinInput>& Inputs() const override { return m_inputs; }
    bool WmEntryPointsLoaded() const override { return m_wmLoaded; }
    const Module* RealMediaModule() const override { return nullptr; }
    void PostJoinPercent(int percent) override;
    void PostJoinProgress(int) override {}
    void SetStatusText(const std::string&) override {}
    void SetProgress(int) override {}
    void PumpMessages() override {}
    void MessageBox(const std::string& text) override;
    std::string ResourceString(int id) const override { return "string " + std::to_string(id); }

    std::vector<int> Percents();
    std::vector<std::string> Messages();

    bool m_wmLoaded = true;
    int m_stopAtPercent = -1;  // sets the stop flag when this percent is posted

private:
    std::vector<JoinInput> m_inputs;
    std::mutex m_mutex;
    std::vector<int> m_percents;
    std::vector<std::string> m_messages;
};

// A header object built byte by byte.
std::vector<uint8_t> ScriptCommandObject(uint32_t timeMs, const std::u16string& type,
                                         const std::u16string& command);
std::vector<uint8_t> ContentEncryptionObject();
// One attribute as an Extended Content Description stores it: its stored type (0 text, 1 bytes,
// 2 BOOL, 3 DWORD, 4 QWORD, 5 WORD) and its value as stored (text as UTF-16 with its end).
struct StoredAttribute {
    std::u16string name;
    uint16_t type = 0;
    std::vector<uint8_t> value;
};
StoredAttribute TextAttribute(const std::u16string& name, const std::u16string& text);
StoredAttribute DwordAttribute(const std::u16string& name, uint32_t value);
// A WM/Picture value: picture type, MIME type, description and the picture's bytes.
StoredAttribute PictureAttribute(const std::vector<uint8_t>& picture);
std::vector<uint8_t> ExtendedContentDescriptionObject(const std::vector<StoredAttribute>& list);
// The file with its File Properties' Play Duration moved by `change` (100-ns units).
std::vector<uint8_t> WithPlayDurationChanged(std::vector<uint8_t> file, int64_t change);
// The file with `object` added as the first child of its Header Object.
std::vector<uint8_t> WithHeaderObject(std::vector<uint8_t> file,
                                      const std::vector<uint8_t>& object);

// What the module's editor reads back from a file's header.
struct HeaderItems {
    struct Attribute {
        WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
        std::vector<BYTE> value;
        std::string Text() const;  // a string value as UTF-8
    };
    bool ok = false;
    std::vector<std::pair<std::string, QWORD>> scripts;  // command, time
    std::vector<std::pair<std::string, QWORD>> markers;  // name, time
    std::vector<std::string> codecNames;
    bool Get(const std::string& name, Attribute* out) const;
    std::string path;
};
HeaderItems ReadHeaderItems(const std::string& path);

// Stream numbers and buffer windows of a file's profile, in profile order.
struct ProfileStreams {
    bool ok = false;
    std::vector<WORD> numbers;
    std::vector<DWORD> bufferWindows;
    std::vector<DWORD> bitrates;
    std::vector<GUID> types;
};
ProfileStreams ReadProfile(const std::string& path);

// Packet times (seconds) of one stream, read by ffprobe.
std::vector<double> PacketTimes(const std::string& path, const std::string& stream);

// A packet as ffprobe gives it: presentation time and duration, in seconds.
struct PacketSpan {
    double pts = 0;
    double duration = 0;
    double End() const { return pts + duration; }
};
std::vector<PacketSpan> PacketSpans(const std::string& path, const std::string& stream);

}  // namespace wmtest
