// Byte-by-byte builders of ASF objects for the tests: each returns a whole object.
#pragma once

#include <string>
#include <vector>

#include "engines/asf/asf_format.h"
#include "engines/asf/asf_model.h"
#include "platform/bytes.h"

namespace asftest {

using asf::Bytes;

inline void Guid(ByteWriter& w, const GUID& g) {
    uint8_t raw[16];
    GuidToBytes(g, raw);
    w.Bytes(raw, 16);
}

inline void Utf16(ByteWriter& w, const std::u16string& s, bool nul = true) {
    for (char16_t c : s) {
        w.LE16(static_cast<uint16_t>(c));
    }
    if (nul) {
        w.LE16(0);
    }
}

inline Bytes Object(const GUID& id, const Bytes& body) {
    ByteWriter w;
    Guid(w, id);
    w.LE64(24 + body.size());
    w.Bytes(body.data(), body.size());
    return std::move(w.bytes());
}

inline Bytes FileProperties(uint32_t packetSize, uint64_t packets, uint64_t playDuration,
                            uint64_t prerollMs, uint32_t flags = 2) {
    ByteWriter w;
    w.Zeros(16).LE64(0).LE64(116444736000000000ull).LE64(packets).LE64(playDuration);
    w.LE64(playDuration).LE64(prerollMs).LE32(flags).LE32(packetSize).LE32(packetSize);
    w.LE32(500000);
    return Object(asf::kFileProperties, w.bytes());
}

inline Bytes VideoStream(uint16_t number, uint32_t width, uint32_t height, const char (&fourcc)[5],
                         const Bytes& codecData = {}) {
    ByteWriter t;
    t.LE32(width).LE32(height).U8(2).LE16(static_cast<uint16_t>(40 + codecData.size()));
    t.LE32(static_cast<uint32_t>(40 + codecData.size())).LE32(width).LE32(height).LE16(1);
    t.LE16(24).LE32(MakeFourcc(fourcc)).LE32(width * height * 3).LE32(0).LE32(0).LE32(0);
    t.LE32(0).Bytes(codecData.data(), codecData.size());
    ByteWriter w;
    Guid(w, asf::kVideoMedia);
    Guid(w, asf::kNoErrorCorrection);
    w.LE64(0).LE32(static_cast<uint32_t>(t.size())).LE32(0).LE16(number).LE32(0x12345678);
    w.Bytes(t.bytes().data(), t.size());
    return Object(asf::kStreamProperties, w.bytes());
}

inline Bytes AudioStream(uint16_t number, uint16_t tag, uint32_t rate, uint32_t bytesPerSec,
                         uint16_t blockAlign, const Bytes& extra = {}) {
    ByteWriter t;
    t.LE16(tag).LE16(2).LE32(rate).LE32(bytesPerSec).LE16(blockAlign).LE16(16);
    t.LE16(static_cast<uint16_t>(extra.size())).Bytes(extra.data(), extra.size());
    ByteWriter e;
    e.U8(1).LE16(blockAlign).LE16(blockAlign).LE16(1).U8(0);
    ByteWriter w;
    Guid(w, asf::kAudioMedia);
    Guid(w, asf::kAudioSpread);
    w.LE64(0).LE32(static_cast<uint32_t>(t.size())).LE32(static_cast<uint32_t>(e.size()));
    w.LE16(number).LE32(0);
    w.Bytes(t.bytes().data(), t.size()).Bytes(e.bytes().data(), e.size());
    return Object(asf::kStreamProperties, w.bytes());
}

inline Bytes HeaderExtension(const std::vector<Bytes>& children) {
    ByteWriter body;
    Bytes all;
    for (const auto& c : children) {
        all.insert(all.end(), c.begin(), c.end());
    }
    Guid(body, asf::kReserved1);
    body.LE16(6).LE32(static_cast<uint32_t>(all.size())).Bytes(all.data(), all.size());
    return Object(asf::kHeaderExtension, body.bytes());
}

inline Bytes HeaderObject(const std::vector<Bytes>& children) {
    ByteWriter body;
    body.LE32(static_cast<uint32_t>(children.size())).U8(1).U8(2);
    for (const auto& c : children) {
        body.Bytes(c.data(), c.size());
    }
    return Object(asf::kHeaderObject, body.bytes());
}

// Extended Stream Properties declaring payload extension systems {id, data size}.
inline Bytes ExtendedStreamProps(uint16_t number, uint32_t bufferMs, uint64_t timePerFrame,
                                 const std::vector<std::pair<GUID, uint16_t>>& extensions) {
    ByteWriter w;
    w.LE64(0).LE64(0).LE32(250000).LE32(bufferMs).LE32(bufferMs).LE32(250000).LE32(bufferMs);
    w.LE32(bufferMs).LE32(4000).LE32(2).LE16(number).LE16(0).LE64(timePerFrame).LE16(0);
    w.LE16(static_cast<uint16_t>(extensions.size()));
    for (const auto& [id, size] : extensions) {
        Guid(w, id);
        w.LE16(size).LE32(0);
    }
    return Object(asf::kExtendedStreamProperties, w.bytes());
}

inline Bytes DataObjectHeader(uint64_t packets, uint32_t packetSize) {
    ByteWriter w;
    Guid(w, asf::kDataObject);
    w.LE64(50 + packets * packetSize).Zeros(16).LE64(packets).LE16(0x0101);
    return std::move(w.bytes());
}

// One packet with a single whole payload (replicated data: size, time), padded to the size.
inline Bytes SinglePayloadPacket(uint32_t packetSize, uint8_t stream, uint8_t objectNumber,
                                 uint32_t presentationMs, const Bytes& data, bool key = false,
                                 const Bytes& extension = {}) {
    ByteWriter w;
    w.U8(0x82).U8(0).U8(0);
    w.U8(0x10);  // single payload, WORD padding length
    w.U8(0x5D);
    size_t paddingAt = w.size();
    w.LE16(0).LE32(presentationMs > 3000 ? presentationMs - 3000 : 0).LE16(0);
    w.U8(static_cast<uint8_t>(stream | (key ? 0x80 : 0))).U8(objectNumber).LE32(0);
    w.U8(static_cast<uint8_t>(8 + extension.size()));
    w.LE32(static_cast<uint32_t>(data.size())).LE32(presentationMs);
    w.Bytes(extension.data(), extension.size());
    w.Bytes(data.data(), data.size());
    w.PatchLE16(paddingAt, static_cast<uint16_t>(packetSize - w.size()));
    w.Zeros(packetSize - w.size());
    return std::move(w.bytes());
}

// A Marker Object whose entries carry `padding` zero bytes after their description, counted in
// their Entry Length (as a 1997 NetShow encoder wrote them with 2).
inline Bytes MarkerObject(const std::vector<std::pair<uint64_t, std::u16string>>& markers,
                          size_t padding = 0) {
    ByteWriter w;
    Guid(w, asf::kReserved4);
    w.LE32(static_cast<uint32_t>(markers.size())).LE16(1).LE16(0);
    for (const auto& [time, name] : markers) {
        size_t chars = name.size() + 1;
        w.LE64(0).LE64(time).LE16(static_cast<uint16_t>(12 + 2 * chars + padding));
        w.LE32(0).LE32(0).LE32(static_cast<uint32_t>(chars));
        Utf16(w, name);
        w.Zeros(padding);
    }
    return Object(asf::kMarker, w.bytes());
}

// A packet of SinglePayloadPacket's kind with other error-correction bytes in front of its
// payload parsing information (none when `ec` is empty), still `packet.size()` long: the
// padding takes up the difference.
inline Bytes WithErrorCorrection(const Bytes& packet, const Bytes& ec) {
    constexpr size_t kOwnEc = 3;         // 82 00 00
    constexpr size_t kPaddingField = 5;  // from the packet start
    Bytes out = ec;
    out.insert(out.end(), packet.begin() + kOwnEc, packet.end());
    ByteReader r(out);
    size_t at = kPaddingField - kOwnEc + ec.size();
    long padding =
        static_cast<long>(r.LE16(at)) + static_cast<long>(kOwnEc) - static_cast<long>(ec.size());
    ByteWriter w;
    w.bytes() = std::move(out);
    w.PatchLE16(at, static_cast<uint16_t>(padding));
    w.bytes().resize(packet.size(), 0);
    return std::move(w.bytes());
}

}  // namespace asftest
