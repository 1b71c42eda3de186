// Byte-by-byte builders for ASF, RealMedia and AVI headers used by the header reader tests.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes.h"
#include "platform/com.h"
#include "tests/support/media_fixtures.h"

namespace kjtest {

using Bytes = std::vector<uint8_t>;

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// When KJ_FUZZ_SEED_DIR is set, a test's built header is also kept as a fuzz seed there.
inline void KeepAsFuzzSeed(const std::string& target, const std::string& name, const Bytes& bytes) {
    const char* dir = std::getenv("KJ_FUZZ_SEED_DIR");
    if (dir == nullptr || *dir == '\0') {
        return;
    }
    std::filesystem::path folder = std::filesystem::path(dir) / target;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    WriteFileBytes((folder / name).string(), bytes);
}

// ---- ASF ----

namespace asf {

inline Bytes Guid(const char (&text)[37]) {
    uint8_t raw[16];
    GuidToBytes(GuidFromString(text), raw);
    return Bytes(raw, raw + 16);
}

inline Bytes HeaderGuid() {
    return Guid("75B22630-668E-11CF-A6D9-00AA0062CE6C");
}
inline Bytes FilePropertiesGuid() {
    return Guid("8CABDCA1-A947-11CF-8EE4-00C00C205365");
}
inline Bytes StreamPropertiesGuid() {
    return Guid("B7DC0791-A9B7-11CF-8EE6-00C00C205365");
}
inline Bytes CodecListGuid() {
    return Guid("86D15240-311D-11D0-A3A4-00A0C90348F6");
}
inline Bytes BitrateGuid() {
    return Guid("7BF875CE-468D-11D1-8D82-006097C9A2B2");
}
inline Bytes HeaderExtensionGuid() {
    return Guid("5FBF03B5-A92E-11CF-8EE3-00C00C205365");
}
inline Bytes DataGuid() {
    return Guid("75B22636-668E-11CF-A6D9-00AA0062CE6C");
}
inline Bytes PaddingGuid() {
    return Guid("1806D474-CADF-4509-A4BA-9AABCB96AAE8");
}
inline Bytes AudioMediaGuid() {
    return Guid("F8699E40-5B4D-11CF-A8FD-00805F5C442B");
}
inline Bytes VideoMediaGuid() {
    return Guid("BC19EFC0-5B4D-11CF-A8FD-00805F5C442B");
}
inline Bytes CommandMediaGuid() {
    return Guid("59DACFC0-59E6-11D0-A3AC-00A0C90348F6");
}

// An object: GUID, 64-bit size of the whole object, body.
inline Bytes Object(const Bytes& guid, const Bytes& body) {
    ByteWriter w;
    w.Bytes(guid.data(), guid.size()).LE64(24 + body.size()).Bytes(body.data(), body.size());
    return w.bytes();
}

// The Header Object around `children`; its size counts them all.
inline Bytes Header(const Bytes& children, uint32_t childCount = 1) {
    ByteWriter w;
    Bytes guid = HeaderGuid();
    w.Bytes(guid.data(), guid.size()).LE64(30 + children.size()).LE32(childCount).U8(1).U8(2);
    w.Bytes(children.data(), children.size());
    return w.bytes();
}

inline Bytes FileProperties(uint64_t packets, uint64_t sendDuration100ns) {
    ByteWriter w;
    w.Zeros(16)
        .LE64(0)
        .LE64(0)
        .LE64(packets)
        .LE64(sendDuration100ns + 31000000)
        .LE64(sendDuration100ns)
        .LE64(3100)
        .LE32(2)
        .LE32(3200)
        .LE32(3200)
        .LE32(1000000);
    return Object(FilePropertiesGuid(), w.bytes());
}

inline Bytes StreamProperties(const Bytes& type, uint8_t number, const Bytes& typeSpecific) {
    ByteWriter w;
    w.Bytes(type.data(), 16)
        .Zeros(16)
        .LE64(0)
        .LE32(static_cast<uint32_t>(typeSpecific.size()))
        .LE32(0)
        .LE16(number)
        .LE32(0)
        .Bytes(typeSpecific.data(), typeSpecific.size());
    return Object(StreamPropertiesGuid(), w.bytes());
}

inline Bytes AudioStream(uint8_t number, uint16_t formatTag, uint32_t avgBytesPerSec) {
    ByteWriter wf;
    wf.LE16(formatTag).LE16(2).LE32(44100).LE32(avgBytesPerSec).LE16(743).LE16(16).LE16(0);
    return StreamProperties(AudioMediaGuid(), number, wf.bytes());
}

inline Bytes VideoStream(uint8_t number, uint32_t width, uint32_t height, const char (&fourcc)[5]) {
    ByteWriter v;
    v.LE32(width).LE32(height).U8(2).LE16(40);
    v.LE32(40)
        .LE32(width)
        .LE32(height)
        .LE16(1)
        .LE16(24)
        .LE32(MakeFourcc(fourcc))
        .LE32(0)
        .LE32(0)
        .LE32(0)
        .LE32(0)
        .LE32(0);
    return StreamProperties(VideoMediaGuid(), number, v.bytes());
}

inline void Utf16(ByteWriter& w, std::u16string_view text) {
    w.LE16(static_cast<uint16_t>(text.size() + 1));
    for (char16_t c : text) {
        w.LE16(static_cast<uint16_t>(c));
    }
    w.LE16(0);
}

struct CodecEntry {
    uint16_t type;  // 1 video, 2 audio
    std::u16string name;
    Bytes info;
};

inline Bytes CodecList(const std::vector<CodecEntry>& entries) {
    ByteWriter w;
    w.Bytes(Guid("86D15241-311D-11D0-A3A4-00A0C90348F6").data(), 16)
        .LE32(static_cast<uint32_t>(entries.size()));
    for (const CodecEntry& e : entries) {
        w.LE16(e.type);
        Utf16(w, e.name);
        Utf16(w, u"a codec");
        w.LE16(static_cast<uint16_t>(e.info.size())).Bytes(e.info.data(), e.info.size());
    }
    return Object(CodecListGuid(), w.bytes());
}

inline Bytes FourccInfo(const char (&fourcc)[5]) {
    return Bytes(fourcc, fourcc + 4);
}

struct BitrateRecord {
    uint16_t stream;
    uint32_t bitsPerSecond;
};

inline Bytes Bitrates(const std::vector<BitrateRecord>& records) {
    ByteWriter w;
    w.LE16(static_cast<uint16_t>(records.size()));
    for (const BitrateRecord& r : records) {
        w.LE16(r.stream).LE32(r.bitsPerSecond);
    }
    return Object(BitrateGuid(), w.bytes());
}

inline Bytes Padding(size_t bodyBytes) {
    return Object(PaddingGuid(), Bytes(bodyBytes, 0));
}

inline Bytes DataObject() {
    ByteWriter w;
    w.Zeros(16).LE64(0).U8(1).U8(1);
    return Object(DataGuid(), w.bytes());
}

}  // namespace asf

// ---- RealMedia ----

namespace rm {

inline Bytes Chunk(std::string_view id, uint16_t version, const Bytes& body) {
    ByteWriter w;
    w.Text(id).BE32(static_cast<uint32_t>(10 + body.size())).BE16(version);
    w.Bytes(body.data(), body.size());
    return w.bytes();
}

inline Bytes FileHeader() {
    ByteWriter w;
    w.BE32(0).BE32(4);
    return Chunk(".RMF", 0, w.bytes());
}

inline Bytes Prop(uint32_t durationMs, uint16_t version = 0) {
    ByteWriter w;
    w.BE32(500000)
        .BE32(400000)
        .BE32(1000)
        .BE32(800)
        .BE32(100)
        .BE32(durationMs)
        .BE32(0)
        .BE32(0)
        .BE32(0)
        .BE16(2)
        .BE16(3);
    return Chunk("PROP", version, w.bytes());
}

inline Bytes Mdpr(uint16_t stream, uint32_t avgBitRate, uint32_t durationMs, std::string_view name,
                  std::string_view mime, const Bytes& typeSpecific, uint16_t version = 0) {
    ByteWriter w;
    w.BE16(stream)
        .BE32(avgBitRate)
        .BE32(avgBitRate)
        .BE32(1000)
        .BE32(800)
        .BE32(0)
        .BE32(0)
        .BE32(durationMs);
    w.U8(static_cast<uint8_t>(name.size())).Text(name);
    w.U8(static_cast<uint8_t>(mime.size())).Text(mime);
    w.BE32(static_cast<uint32_t>(typeSpecific.size()))
        .Bytes(typeSpecific.data(), typeSpecific.size());
    return Chunk("MDPR", version, w.bytes());
}

// A VIDO block; `rate16_16` is the 16.16 frame rate.
inline Bytes Vido(const char (&fourcc)[5], uint16_t width, uint16_t height, uint32_t rate16_16) {
    ByteWriter w;
    w.BE32(34)
        .Text("VIDO")
        .Text(std::string_view(fourcc, 4))
        .BE16(width)
        .BE16(height)
        .BE16(static_cast<uint16_t>(rate16_16 >> 16))
        .BE32(0)
        .BE32(rate16_16)
        .BE32(8)
        .BE32(0x20103001);
    return w.bytes();
}

// A version 5 RealAudio header (".ra5"), codec FourCC at T + 66.
inline Bytes RaV5(char versionChar, const char (&codec)[5], uint16_t flavor) {
    ByteWriter w;
    w.Text(".ra\xfd")
        .BE16(5)
        .BE16(0)
        .Text(".ra")
        .U8(static_cast<uint8_t>(versionChar))
        .BE32(0)
        .BE16(5)
        .BE32(70)
        .BE16(flavor)
        .BE32(600)
        .BE32(0)
        .BE32(720000)
        .BE32(720000)
        .BE16(14)
        .BE16(651)
        .BE16(93)
        .BE16(0);
    w.BE32(0xAC44)
        .BE16(0)
        .BE16(44100)
        .BE16(0)
        .BE16(16)
        .BE16(2)
        .Text("genr")
        .Text(std::string_view(codec, 4))
        .Bytes("\x01\x07\x00\x00", 4)
        .BE32(0);
    return w.bytes();
}

// A version 4 RealAudio header (".ra4", as ffmpeg writes it), codec FourCC at T + 62.
inline Bytes RaV4(const char (&codec)[5], uint16_t flavor) {
    ByteWriter w;
    w.Text(".ra\xfd")
        .BE16(4)
        .BE16(0)
        .Text(".ra4")
        .BE32(0x00390002)
        .BE16(4)
        .BE32(0x01A1)
        .BE16(flavor)
        .BE32(0x1540)
        .BE32(0xAFC80)
        .BE32(0xAFC80)
        .BE32(0x101A1)
        .BE16(0)
        .BE16(0)
        .BE16(0)
        .BE16(0);
    w.BE16(44100)
        .BE16(0)
        .BE16(16)
        .BE16(1)
        .U8(4)
        .Text("Int0")
        .U8(4)
        .Text(std::string_view(codec, 4))
        .Zeros(3);
    return w.bytes();
}

inline Bytes DataChunk() {
    ByteWriter w;
    w.BE32(0).BE32(0);
    return Chunk("DATA", 0, w.bytes());
}

}  // namespace rm

// ---- AVI ----

namespace avi {

inline Bytes Chunk(std::string_view id, const Bytes& data) {
    ByteWriter w;
    w.Text(id).LE32(static_cast<uint32_t>(data.size())).Bytes(data.data(), data.size());
    if (data.size() % 2 != 0) {
        w.U8(0);
    }
    return w.bytes();
}

inline Bytes List(std::string_view type, const Bytes& children) {
    ByteWriter body;
    body.Text(type).Bytes(children.data(), children.size());
    return Chunk("LIST", body.bytes());
}

inline Bytes MainHeader() {
    ByteWriter w;
    w.LE32(40000)
        .LE32(0)
        .LE32(0)
        .LE32(0x10)
        .LE32(25)
        .LE32(0)
        .LE32(1)
        .LE32(0)
        .LE32(320)
        .LE32(240)
        .Zeros(16);
    return Chunk("avih", w.bytes());
}

// A 56-byte stream header.
inline Bytes StreamHeaderData(std::string_view type, uint32_t handler) {
    ByteWriter w;
    w.Text(type)
        .LE32(handler)
        .LE32(0)
        .LE16(0)
        .LE16(0)
        .LE32(0)
        .LE32(1)
        .LE32(25)
        .LE32(0)
        .LE32(75)
        .LE32(0)
        .LE32(0xFFFFFFFF)
        .LE32(0)
        .LE16(0)
        .LE16(0)
        .LE16(320)
        .LE16(240);
    return w.bytes();
}

inline Bytes BitmapInfo(uint32_t compression) {
    ByteWriter w;
    w.LE32(40).LE32(320).LE32(240).LE16(1).LE16(24).LE32(compression).LE32(320 * 240 * 3).Zeros(16);
    return w.bytes();
}

inline Bytes WaveFormat() {
    ByteWriter w;
    w.LE16(1).LE16(2).LE32(44100).LE32(176400).LE16(4).LE16(16);
    return w.bytes();
}

inline Bytes VideoStreamList(uint32_t handler, uint32_t compression) {
    return List("strl", Concat({Chunk("strh", StreamHeaderData("vids", handler)),
                                Chunk("strf", BitmapInfo(compression))}));
}

inline Bytes AudioStreamList() {
    return List("strl",
                Concat({Chunk("strh", StreamHeaderData("auds", 0)), Chunk("strf", WaveFormat())}));
}

// RIFF "AVI " with the given header-list children, then a small "movi" list; padded so the
// file is at least 1024 bytes.
inline Bytes File(const Bytes& hdrlChildren, const Bytes& beforeMovi = {}) {
    Bytes movi = List("movi", Chunk("00dc", Bytes(600, 0x11)));
    Bytes body = Concat({List("hdrl", hdrlChildren), beforeMovi, movi});
    ByteWriter w;
    w.Text("RIFF").LE32(static_cast<uint32_t>(4 + body.size())).Text("AVI ");
    w.Bytes(body.data(), body.size());
    return w.bytes();
}

}  // namespace avi

}  // namespace kjtest
