// Header, packet and packing code against headers and packets built byte by byte.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <random>

#include "engines/asf/asf_header_builder.h"
#include "engines/asf/asf_header_parser.h"
#include "engines/asf/asf_index.h"
#include "engines/asf/asf_object_assembler.h"
#include "engines/asf/asf_packet_parser.h"
#include "engines/asf/asf_packetizer.h"
#include "engines/asf/media_type.h"
#include "engines/asf/profile.h"
#include "engines/asf/tests/asf_bytes.h"
#include "engines/asf/text.h"

using namespace asftest;

namespace {

Bytes ContentDescription() {
    ByteWriter w;
    w.LE16(12).LE16(10).LE16(0).LE16(0).LE16(0);
    Utf16(w, u"Hello");
    Utf16(w, u"Anna");
    return Object(asf::kContentDescription, w.bytes());
}

// One descriptor of each stored type; BOOL takes 4 bytes here.
Bytes ExtendedDescription() {
    ByteWriter w;
    w.LE16(6);
    auto name = [&](const std::u16string& n) {
        w.LE16(static_cast<uint16_t>(2 * (n.size() + 1)));
        Utf16(w, n);
    };
    name(u"WM/Year");
    w.LE16(0).LE16(10);
    Utf16(w, u"2024");
    name(u"WM/MCDI");
    w.LE16(1).LE16(3).U8(1).U8(2).U8(3);
    name(u"IsVBR");
    w.LE16(2).LE16(4).LE32(1);
    name(u"WM/Track");
    w.LE16(3).LE16(4).LE32(7);
    name(u"Big");
    w.LE16(4).LE16(8).LE64(0x1122334455667788ull);
    name(u"Small");
    w.LE16(5).LE16(2).LE16(0xBEEF);
    return Object(asf::kExtendedContentDescription, w.bytes());
}

// A per-stream BOOL stored in 2 bytes, as WM encoders write it.
Bytes MetadataObject() {
    ByteWriter w;
    w.LE16(1).LE16(0).LE16(2).LE16(12).LE16(2).LE32(2);
    Utf16(w, u"IsVBR");
    w.LE16(1);
    return Object(asf::kMetadata, w.bytes());
}

// Script names carry no NUL and count characters.
Bytes ScriptObject() {
    ByteWriter w;
    Guid(w, asf::kReserved3);
    w.LE16(2).LE16(2);
    w.LE16(3);
    Utf16(w, u"URL", false);
    w.LE16(8);
    Utf16(w, u"FILENAME", false);
    w.LE32(4000).LE16(0).LE16(11);
    Utf16(w, u"http://a.b/", false);
    w.LE32(5000).LE16(1).LE16(5);
    Utf16(w, u"x.wmv", false);
    return Object(asf::kScriptCommand, w.bytes());
}

Bytes MarkerObject() {
    ByteWriter w;
    Guid(w, asf::kReserved4);
    w.LE32(1).LE16(0).LE16(0);
    w.LE64(0).LE64(3000 * 10000ull + 20000000).LE16(12 + 2 * 6).LE32(2000).LE32(0).LE32(6);
    Utf16(w, u"Intro");
    return Object(asf::kMarker, w.bytes());
}

Bytes CodecListObject() {
    ByteWriter w;
    Guid(w, asf::kReserved2);
    w.LE32(1).LE16(1).LE16(5);
    Utf16(w, u"wmv2");
    w.LE16(0).LE16(4).Text("WMV2");
    return Object(asf::kCodecList, w.bytes());
}

Bytes FullHeader() {
    return HeaderObject({FileProperties(3200, 10, 60000000, 3000),
                         VideoStream(1, 320, 240, "WMV2", {0xAA, 0xBB, 0xCC, 0xDD}),
                         AudioStream(2, 0x161, 44100, 16000, 743, Bytes(10, 0x01)),
                         HeaderExtension({MetadataObject()}), CodecListObject(), ScriptObject(),
                         MarkerObject(), ContentDescription(), ExtendedDescription()});
}

const asf::Attribute* Find(const asf::Header& h, const std::u16string& name, uint16_t stream = 0) {
    for (const auto& a : h.metadata.attributes) {
        if (a.name == name && a.stream == stream) {
            return &a;
        }
    }
    return nullptr;
}

}  // namespace

TEST(AsfHeaderParser, ReadsEveryObjectOfAHandMadeHeader) {
    Bytes bytes = FullHeader();
    asf::Header h;
    ASSERT_EQ(asf::ParseHeaderObject(ByteReader(bytes), &h), S_OK);
    EXPECT_EQ(h.file.maxPacketSize, 3200u);
    EXPECT_EQ(h.file.prerollMs, 3000u);
    ASSERT_EQ(h.streams.size(), 2u);
    EXPECT_TRUE(h.streams[0].IsVideo());
    EXPECT_EQ(h.streams[0].reserved, 0x12345678u);  // kept as found, not validated
    EXPECT_TRUE(h.streams[1].IsAudio());
    EXPECT_EQ(h.streams[1].errorCorrection.size(), 8u);

    const asf::Attribute* title = Find(h, u"Title");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->type, WMT_TYPE_STRING);
    EXPECT_EQ(asf::U16FromLe(ByteReader(title->value)), u"Hello");
    EXPECT_EQ(Find(h, u"Copyright"), nullptr);  // empty strings are not attributes

    const asf::Attribute* vbr = Find(h, u"IsVBR");
    ASSERT_NE(vbr, nullptr);
    EXPECT_EQ(vbr->type, WMT_TYPE_BOOL);
    EXPECT_EQ(vbr->value, (Bytes{1, 0, 0, 0}));
    const asf::Attribute* streamVbr = Find(h, u"IsVBR", 2);
    ASSERT_NE(streamVbr, nullptr);
    EXPECT_EQ(streamVbr->value, (Bytes{1, 0, 0, 0}));  // 2 stored bytes become the API's 4
    EXPECT_EQ(Find(h, u"WM/Track")->type, WMT_TYPE_DWORD);
    EXPECT_EQ(Find(h, u"Big")->type, WMT_TYPE_QWORD);
    EXPECT_EQ(Find(h, u"Small")->value, (Bytes{0xEF, 0xBE}));
    EXPECT_EQ(Find(h, u"WM/MCDI")->type, WMT_TYPE_BINARY);

    ASSERT_EQ(h.metadata.scripts.size(), 2u);
    EXPECT_EQ(h.metadata.scripts[0].type, u"URL");
    EXPECT_EQ(h.metadata.scripts[0].command, u"http://a.b/");
    EXPECT_EQ(h.metadata.scripts[0].time, 10000000u);  // 4000 ms stored minus 3000 ms preroll
    EXPECT_EQ(h.metadata.scripts[1].type, u"FILENAME");
    ASSERT_EQ(h.metadata.markers.size(), 1u);
    EXPECT_EQ(h.metadata.markers[0].name, u"Intro");
    EXPECT_EQ(h.metadata.markers[0].time, 20000000u);
    ASSERT_EQ(h.metadata.codecs.size(), 1u);
    EXPECT_EQ(h.metadata.codecs[0].name, u"wmv2");
    EXPECT_EQ(h.metadata.codecs[0].info, (Bytes{'W', 'M', 'V', '2'}));
    EXPECT_FALSE(h.protectedContent);
}

TEST(AsfHeaderParser, BuilderOutputReadsBackEqual) {
    Bytes bytes = FullHeader();
    asf::Header h;
    ASSERT_EQ(asf::ParseHeaderObject(ByteReader(bytes), &h), S_OK);
    Bytes rebuilt;
    ASSERT_EQ(asf::BuildHeaderObject(h, {}, &rebuilt), S_OK);
    asf::Header again;
    ASSERT_EQ(asf::ParseHeaderObject(ByteReader(rebuilt), &again), S_OK);
    ASSERT_EQ(again.metadata.attributes.size(), h.metadata.attributes.size());
    for (const auto& a : h.metadata.attributes) {
        const asf::Attribute* b = Find(again, a.name, a.stream);
        ASSERT_NE(b, nullptr) << asf::Utf8FromU16(a.name);
        EXPECT_EQ(b->type, a.type);
        EXPECT_EQ(b->value, a.value);
    }
    EXPECT_EQ(again.metadata.scripts.size(), 2u);
    EXPECT_EQ(again.metadata.scripts[1].time, h.metadata.scripts[1].time);
    EXPECT_EQ(again.metadata.markers[0].time, h.metadata.markers[0].time);
    EXPECT_EQ(again.streams[1].typeSpecific, h.streams[1].typeSpecific);
    EXPECT_EQ(again.streams[0].reserved, 0x12345678u);

    // Padding to a target size gives exactly that size, and too small a target is refused.
    asf::HeaderBuildOptions target;
    target.targetSize = rebuilt.size() + 500;
    ASSERT_EQ(asf::BuildHeaderObject(h, target, &rebuilt), S_OK);
    EXPECT_EQ(rebuilt.size(), target.targetSize);
    ASSERT_EQ(asf::ParseHeaderObject(ByteReader(rebuilt), &again), S_OK);
    target.targetSize = 100;
    EXPECT_EQ(asf::BuildHeaderObject(h, target, &rebuilt), ASF_E_HEADERSIZE);
}

TEST(AsfHeaderParser, RefusesMalformedHeadersAtEveryCut) {
    Bytes bytes = FullHeader();
    asf::Header h;
    // Cut anywhere, with the header's own size field left claiming the whole: always an error.
    for (size_t n = 0; n < bytes.size(); ++n) {
        Bytes cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
        EXPECT_TRUE(FAILED(asf::ParseHeaderObject(ByteReader(cut), &h))) << n;
    }
    // A child whose size runs past the header.
    Bytes bad = bytes;
    ByteWriter patch;
    patch.bytes() = bad;
    patch.PatchLE64(30 + 16, 1u << 30);
    EXPECT_EQ(asf::ParseHeaderObject(ByteReader(patch.bytes()), &h), ASF_E_INVALIDHEADER);
    // A child of size 0 would loop forever in a careless reader.
    patch.bytes() = bytes;
    patch.PatchLE64(30 + 16, 0);
    EXPECT_EQ(asf::ParseHeaderObject(ByteReader(patch.bytes()), &h), ASF_E_INVALIDHEADER);
    // No File Properties.
    Bytes noFile = HeaderObject({VideoStream(1, 16, 16, "WMV2")});
    EXPECT_EQ(asf::ParseHeaderObject(ByteReader(noFile), &h), ASF_E_INVALIDHEADER);
    // A descriptor count far above what is there.
    ByteWriter ecd;
    ecd.LE16(60000);
    Bytes many = HeaderObject(
        {FileProperties(3200, 0, 0, 0), Object(asf::kExtendedContentDescription, ecd.bytes())});
    EXPECT_EQ(asf::ParseHeaderObject(ByteReader(many), &h), ASF_E_INVALIDHEADER);
    // Type-specific data longer than the stream object.
    Bytes stream = VideoStream(1, 16, 16, "WMV2");
    ByteWriter s;
    s.bytes() = stream;
    s.PatchLE32(64, 5000);
    Bytes longer = HeaderObject({FileProperties(3200, 0, 0, 0), s.bytes()});
    EXPECT_EQ(asf::ParseHeaderObject(ByteReader(longer), &h), ASF_E_INVALIDHEADER);
    // Not a header at all.
    Bytes data = DataObjectHeader(0, 3200);
    EXPECT_EQ(asf::ParseHeaderObject(ByteReader(data), &h), ASF_E_NOHEADEROBJECT);
}

TEST(AsfHeaderParser, MarksProtectedContent) {
    ByteWriter enc;
    enc.LE32(0).LE32(4).Text("DRM").U8(0).LE32(0).LE32(0);
    Bytes bytes = HeaderObject({FileProperties(3200, 0, 0, 0), VideoStream(1, 16, 16, "WMV2"),
                                Object(asf::kContentEncryption, enc.bytes())});
    asf::Header h;
    ASSERT_EQ(asf::ParseHeaderObject(ByteReader(bytes), &h), S_OK);
    EXPECT_TRUE(h.protectedContent);
}

TEST(AsfPacketParser, ReadsSingleMultipleAndCompressedPayloads) {
    std::vector<asf::Payload> payloads;
    asf::PacketInfo info;
    Bytes single = SinglePayloadPacket(200, 2, 9, 3500, Bytes(50, 0x5A), true);
    ASSERT_EQ(asf::ParseDataPacket(ByteReader(single), &info, &payloads), S_OK);
    ASSERT_EQ(payloads.size(), 1u);
    EXPECT_EQ(payloads[0].stream, 2);
    EXPECT_TRUE(payloads[0].keyFrame);
    EXPECT_EQ(payloads[0].data.size(), 50u);
    EXPECT_EQ(payloads[0].PresentationMs(), 3500u);
    EXPECT_EQ(info.sendTimeMs, 500u);

    // Two payloads, no error-correction bytes, BYTE padding, and a compressed payload of three
    // sub-objects of 4, 2 and 3 bytes.
    ByteWriter w;
    w.U8(0x09).U8(0x5D).U8(0).LE32(100).LE16(0).U8(0x82);
    w.U8(1).U8(4).LE32(0).U8(8).LE32(3).LE32(3100).LE16(3).Text("abc");
    w.U8(2).U8(7).LE32(3200).U8(1).U8(40).LE16(12);
    w.U8(4).Text("wxyz").U8(2).Text("pq").U8(3).Text("rst");
    size_t used = w.size();
    w.Zeros(128 - used);
    w.bytes()[2] = static_cast<uint8_t>(128 - used);
    ASSERT_EQ(asf::ParseDataPacket(ByteReader(w.bytes()), &info, &payloads), S_OK);
    ASSERT_EQ(payloads.size(), 2u);
    EXPECT_TRUE(payloads[1].compressed);
    asf::ObjectAssembler assembler;
    std::deque<asf::MediaObject> out;
    ASSERT_EQ(assembler.Add(payloads[0], 0, &out), S_OK);
    ASSERT_EQ(assembler.Add(payloads[1], 0, &out), S_OK);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].data.Gather(), (Bytes{'a', 'b', 'c'}));
    EXPECT_EQ(out[2].presentationMs, 3240u);  // second sub-object: PT + delta
    EXPECT_EQ(out[3].objectNumber, 9u);
    EXPECT_EQ(out[3].data.Gather(), (Bytes{'r', 's', 't'}));
}

TEST(AsfPacketParser, RefusesLengthsOutsideThePacket) {
    std::vector<asf::Payload> payloads;
    asf::PacketInfo info;
    Bytes good = SinglePayloadPacket(200, 1, 0, 3000, Bytes(20, 1));
    // Padding longer than the packet.
    Bytes bad = good;
    bad[5] = 0xFF;
    bad[6] = 0x7F;
    EXPECT_EQ(asf::ParseDataPacket(ByteReader(bad), &info, &payloads), ASF_E_BADDATAUNIT);
    // A replicated-data length running past the end.
    bad = good;
    bad[19] = 0xF0;
    EXPECT_EQ(asf::ParseDataPacket(ByteReader(bad), &info, &payloads), ASF_E_BADDATAUNIT);
    // A multiple-payload packet whose payload length is past its packet.
    ByteWriter w;
    w.U8(0x82).U8(0).U8(0).U8(0x01).U8(0x5D).LE32(0).LE16(0).U8(0x81);
    w.U8(1).U8(0).LE32(0).U8(8).LE32(10).LE32(3000).LE16(5000).Zeros(10);
    w.Zeros(64 - w.size());
    EXPECT_EQ(asf::ParseDataPacket(ByteReader(w.bytes()), &info, &payloads), ASF_E_BADDATAUNIT);
    // Every truncation and every single-byte change of a good packet ends cleanly.
    for (size_t n = 0; n < good.size(); ++n) {
        asf::ParseDataPacket(ByteReader(good.data(), n), &info, &payloads);
        for (int v : {0x00, 0x7F, 0xFF}) {
            Bytes m = good;
            m[n] = static_cast<uint8_t>(v);
            asf::ParseDataPacket(ByteReader(m), &info, &payloads);
        }
    }
}

TEST(AsfPacketizer, PacksAndReassemblesObjectsOfEverySize) {
    const uint32_t kPacket = 512;
    std::vector<Bytes> packets;
    asf::Packetizer packer(kPacket, 3000, [&](const uint8_t* p, size_t n) {
        EXPECT_EQ(n % kPacket, 0u);
        for (size_t off = 0; off < n; off += kPacket) {
            packets.emplace_back(p + off, p + off + kPacket);
        }
        return S_OK;
    });
    std::mt19937 rng(7);
    std::vector<asf::MediaObject> sent;
    for (int i = 0; i < 600; ++i) {  // object numbers wrap at 256
        asf::MediaObject o;
        o.stream = static_cast<uint16_t>(1 + i % 2);
        o.presentationMs = 3000 + static_cast<uint32_t>(i) * 20;
        o.keyFrame = o.stream == 1 && i % 10 == 0;
        size_t size = i % 50 == 0 ? 3000 : rng() % 700;
        Bytes bytes;
        for (size_t k = 0; k < size; ++k) {
            bytes.push_back(static_cast<uint8_t>(rng()));
        }
        o.data = asf::ObjectBytes(std::move(bytes));
        o.extension = o.stream == 1 ? Bytes{0x21, 0x00} : Bytes{};
        asf::Packetizer::Placement where;
        ASSERT_EQ(packer.AddObject(static_cast<uint8_t>(o.stream), o.presentationMs, o.keyFrame,
                                   o.data, o.extension, &where),
                  S_OK);
        EXPECT_LE(where.firstPacket, where.lastPacket);
        sent.push_back(std::move(o));
    }
    ASSERT_EQ(packer.Finish(), S_OK);
    EXPECT_EQ(packer.PacketCount(), packets.size());

    asf::ObjectAssembler assembler;
    std::deque<asf::MediaObject> got;
    uint32_t lastSend = 0;
    for (size_t i = 0; i < packets.size(); ++i) {
        ASSERT_EQ(packets[i].size(), kPacket);
        std::vector<asf::Payload> payloads;
        asf::PacketInfo info;
        ASSERT_EQ(asf::ParseDataPacket(ByteReader(packets[i]), &info, &payloads), S_OK);
        EXPECT_GE(info.sendTimeMs, lastSend);
        lastSend = info.sendTimeMs;
        for (const auto& p : payloads) {
            ASSERT_EQ(assembler.Add(p, i, &got), S_OK);
        }
    }
    ASSERT_EQ(got.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(got[i].stream, sent[i].stream);
        EXPECT_EQ(got[i].presentationMs, sent[i].presentationMs);
        EXPECT_EQ(got[i].keyFrame, sent[i].keyFrame);
        EXPECT_EQ(got[i].data.Gather(), sent[i].data.Gather()) << i;
        EXPECT_EQ(got[i].extension, sent[i].extension);
        EXPECT_FALSE(got[i].afterLoss);
    }
}

TEST(AsfObjectAssembler, MarksTheObjectAfterALostFragment) {
    Bytes whole(300, 0x11);
    ByteWriter rep;
    rep.LE32(300).LE32(3000);
    asf::Payload first;
    first.stream = 1;
    first.objectNumber = 5;
    first.offset = 0;
    first.replicated = ByteReader(rep.bytes());
    first.data = ByteReader(whole.data(), 100);
    asf::Payload third = first;
    third.offset = 200;  // the fragment at 100 never came
    third.data = ByteReader(whole.data(), 100);
    asf::Payload next = first;
    next.objectNumber = 6;
    ByteWriter rep2;
    rep2.LE32(10).LE32(3040);
    next.replicated = ByteReader(rep2.bytes());
    next.data = ByteReader(whole.data(), 10);

    asf::ObjectAssembler assembler;
    std::deque<asf::MediaObject> out;
    ASSERT_EQ(assembler.Add(first, 0, &out), S_OK);
    ASSERT_EQ(assembler.Add(third, 1, &out), S_OK);
    ASSERT_EQ(assembler.Add(next, 2, &out), S_OK);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].objectNumber, 6u);
    EXPECT_TRUE(out[0].afterLoss);

    // An object claiming more than the engine accepts is refused, not allocated.
    ByteWriter huge;
    huge.LE32(0xFFFFFFF0u).LE32(3000);
    next.replicated = ByteReader(huge.bytes());
    EXPECT_EQ(assembler.Add(next, 3, &out), ASF_E_EXCEEDEDMAXIMUMOBJECTSIZE);
}

TEST(AsfSimpleIndex, NamesTheLatestKeyFrameAtOrBeforeEachSecond) {
    asf::SimpleIndexBuilder index;  // 1 s
    index.AddKeyFrame(3000, 0, 1);  // preroll 3 s: first key frame at 3 s on the stored clock
    index.AddKeyFrame(5500, 10, 13);
    Bytes bytes = index.Finish(GUID{}, 70000000);  // 7 s
    ByteReader r(bytes);
    ASSERT_EQ(r.LE32(52), 8u);  // entries for 0..7 s
    EXPECT_EQ(r.LE32(48), 4u);  // the longest key frame spans 4 packets
    auto entry = [&](int i) { return r.LE32(56 + 6 * i); };
    EXPECT_EQ(entry(2), 0u);
    EXPECT_EQ(entry(3), 0u);
    EXPECT_EQ(entry(5), 0u);  // 5 s < 5.5 s
    EXPECT_EQ(entry(6), 10u);
    EXPECT_EQ(entry(7), 10u);
    EXPECT_EQ(r.LE16(56 + 6 * 6 + 4), 4u);
}

TEST(AsfProfile, VariableBitrateFollowsTheHeadersOwnMarkers) {
    Bytes bytes = FullHeader();  // IsVBR true in the ECD (file) and in Metadata for stream 2
    asf::Header h;
    ASSERT_EQ(asf::ParseHeaderObject(ByteReader(bytes), &h), S_OK);
    asf::ProfileData p = asf::ProfileFromHeader(h);
    ASSERT_EQ(p.streams.size(), 2u);
    EXPECT_TRUE(p.streams[0].vbr);  // no own flag: the file-level one
    EXPECT_TRUE(p.streams[1].vbr);
    // A stream's own "false" wins over the file's "true".
    for (auto& a : h.metadata.attributes) {
        if (a.name == u"IsVBR" && a.stream == 2) {
            a.value = {0, 0, 0, 0};
        }
    }
    p = asf::ProfileFromHeader(h);
    EXPECT_TRUE(p.streams[0].vbr);
    EXPECT_FALSE(p.streams[1].vbr);
    // Without any marker a stream is constant-bitrate; buffer windows fall back to the preroll.
    Bytes plain = HeaderObject({FileProperties(3200, 0, 0, 2500), VideoStream(1, 16, 16, "WMV2")});
    ASSERT_EQ(asf::ParseHeaderObject(ByteReader(plain), &h), S_OK);
    p = asf::ProfileFromHeader(h);
    EXPECT_FALSE(p.streams[0].vbr);
    EXPECT_EQ(p.streams[0].bufferWindowMs, 2500u);
}

TEST(AsfHeaderParser, ScriptAndMarkerTimesUseThePrerollWhereverFilePropertiesStands) {
    // WM encoders put File Properties after other objects; the stored times still lose the
    // preroll that File Properties gives.
    Bytes bytes = HeaderObject({ScriptObject(), MarkerObject(), ContentDescription(),
                                FileProperties(3200, 0, 0, 3000), VideoStream(1, 16, 16, "WMV2")});
    asf::Header h;
    ASSERT_EQ(asf::ParseHeaderObject(ByteReader(bytes), &h), S_OK);
    ASSERT_EQ(h.metadata.scripts.size(), 2u);
    EXPECT_EQ(h.metadata.scripts[0].time, 10000000u);
    EXPECT_EQ(h.metadata.scripts[1].time, 20000000u);
    ASSERT_EQ(h.metadata.markers.size(), 1u);
    EXPECT_EQ(h.metadata.markers[0].time, 20000000u);
}

TEST(AsfHeaderParser, MarkerEntriesAreReadByTheirEntryLength) {
    const std::vector<std::pair<uint64_t, std::u16string>> marks = {
        {30000000, u"One"}, {45000000, u"Second marker"}, {90000000, u"3"}};
    for (size_t padding : {size_t{0}, size_t{2}, size_t{9}}) {
        Bytes bytes =
            HeaderObject({FileProperties(3200, 0, 0, 3000), VideoStream(1, 16, 16, "WMV2"),
                          asftest::MarkerObject(marks, padding)});
        asf::Header h;
        ASSERT_EQ(asf::ParseHeaderObject(ByteReader(bytes), &h), S_OK) << padding;
        ASSERT_EQ(h.metadata.markers.size(), marks.size()) << padding;
        for (size_t i = 0; i < marks.size(); ++i) {
            EXPECT_EQ(h.metadata.markers[i].name, marks[i].second) << padding;
            EXPECT_EQ(h.metadata.markers[i].time, marks[i].first - 30000000) << padding;
        }
        EXPECT_FALSE(h.protectedContent);
    }
    // An Entry Length too small for its description: the entry ends with the description.
    Bytes shortLength = asftest::MarkerObject({{40000000, u"Ab"}, {50000000, u"Cd"}});
    ByteWriter patch;
    patch.bytes() = shortLength;
    patch.PatchLE16(24 + 24 + 16, 4);
    Bytes bytes = HeaderObject({FileProperties(3200, 0, 0, 3000), patch.bytes()});
    asf::Header h;
    ASSERT_EQ(asf::ParseHeaderObject(ByteReader(bytes), &h), S_OK);
    ASSERT_EQ(h.metadata.markers.size(), 2u);
    EXPECT_EQ(h.metadata.markers[1].name, u"Cd");
    // An Entry Length past the object's end before the last entry is a damaged header.
    patch.bytes() = shortLength;
    patch.PatchLE16(24 + 24 + 16, 0xFFF0);
    bytes = HeaderObject({FileProperties(3200, 0, 0, 3000), patch.bytes()});
    EXPECT_EQ(asf::ParseHeaderObject(ByteReader(bytes), &h), ASF_E_INVALIDHEADER);
}

TEST(AsfPacketParser, ErrorCorrectionDataOfAnyLengthAndParityPackets) {
    Bytes plain = SinglePayloadPacket(200, 3, 5, 3400, Bytes(40, 0x77), true);
    std::vector<asf::Payload> payloads;
    asf::PacketInfo info;
    // No error-correction data (the first byte is already the length-type flags), one byte,
    // the usual two, and five bytes of it.
    const std::vector<Bytes> ecs = {{}, {0x81, 0x05}, {0x82, 0x03, 0x01}, {0x85, 1, 2, 3, 4, 5}};
    for (const Bytes& ec : ecs) {
        Bytes packet = asftest::WithErrorCorrection(plain, ec);
        ASSERT_EQ(packet.size(), plain.size());
        ASSERT_EQ(asf::ParseDataPacket(ByteReader(packet), &info, &payloads), S_OK) << ec.size();
        ASSERT_EQ(payloads.size(), 1u) << ec.size();
        EXPECT_EQ(payloads[0].stream, 3);
        EXPECT_EQ(payloads[0].PresentationMs(), 3400u);
        EXPECT_EQ(Bytes(payloads[0].data.data(), payloads[0].data.data() + payloads[0].data.size()),
                  Bytes(40, 0x77))
            << ec.size();
        EXPECT_FALSE(info.parity);
    }
    // An N+1 parity packet: the opaque bit; its bytes are parity, not payloads.
    Bytes parity(200, 0x5C);
    parity[0] = 0x92;
    parity[1] = 0x92;
    parity[2] = 0x01;
    ASSERT_EQ(asf::ParseDataPacket(ByteReader(parity), &info, &payloads), S_OK);
    EXPECT_TRUE(info.parity);
    EXPECT_TRUE(payloads.empty());
    // A length type other than "in the flag byte" is not defined.
    Bytes odd = asftest::WithErrorCorrection(plain, {0xA2, 0, 0});
    EXPECT_EQ(asf::ParseDataPacket(ByteReader(odd), &info, &payloads), ASF_E_BADDATAUNIT);
}

// A stored picture height of any sign, the most negative included, gives the picture's size in
// the rectangles of the media type (a damaged or hostile header must not overflow it), and a
// preroll beyond every time still gives times that stay in range.
TEST(AsfMediaType, PictureHeightsOfEverySignAndHugePrerollsStayInRange) {
    struct Case {
        uint32_t stored;
        uint32_t size;
    };
    const Case cases[] = {{240, 240}, {0xFFFFFF10u, 240}, {0x80000000u, 0x80000000u}};
    for (const Case& c : cases) {
        Bytes bytes = HeaderObject({FileProperties(3200, 1, 60000000, ~uint64_t{0}),
                                    VideoStream(1, 320, c.stored, "WMV2")});
        asf::Header h;
        ASSERT_EQ(asf::ParseHeaderObject(ByteReader(bytes), &h), S_OK);
        Bytes block;
        asf::BuildMediaTypeBlock(h.streams[0], 0, &block);
        ByteReader format(block.data() + sizeof(WM_MEDIA_TYPE),
                          block.size() - sizeof(WM_MEDIA_TYPE));
        constexpr size_t kSourceBottom = 12;
        constexpr size_t kTargetBottom = 28;
        EXPECT_EQ(format.LE32(kSourceBottom), c.size) << c.stored;
        EXPECT_EQ(format.LE32(kTargetBottom), c.size) << c.stored;
    }
    EXPECT_EQ(asf::UnitsFromMs(~uint64_t{0}), ~uint64_t{0});
    EXPECT_EQ(asf::UnitsFromMs(3000), 30000000u);
}

// Offsets of an Index Object are 32-bit from a 64-bit block position: past 4 GB of packets a
// new block begins, and every entry still names its packet's byte offset; entries before a
// stream's first object name that object's packet.
TEST(AsfIndexObject, EntriesPastFourGigabytesGoToANewBlock) {
    constexpr uint32_t kPacketSize = 60000;
    asf::IndexSeries late(asf::IndexSeries::BeforeFirst::kFirstObject);
    asf::IndexSeries early(asf::IndexSeries::BeforeFirst::kFirstObject);
    for (uint32_t second = 0; second < 12; ++second) {
        early.Add(second * 1000, uint64_t{second} * 9000, uint64_t{second} * 9000 + 1);
        if (second >= 3) {
            late.Add(second * 1000 + 500, uint64_t{second} * 9000 + 2, uint64_t{second} * 9000 + 2);
        }
    }
    const uint64_t playDuration = 12 * 10000000ull;
    early.FinishUntil(playDuration);
    late.FinishUntil(playDuration);
    Bytes object = asf::IndexObject({{1, &early}, {2, &late}}, kPacketSize);
    ByteReader o(object);
    ASSERT_EQ(o.LE64(16), object.size());
    EXPECT_EQ(o.LE32(24), 1000u);
    ASSERT_EQ(o.LE16(28), 2u);
    EXPECT_GE(o.LE32(30), 2u);  // 12 s of 9000 packets of 60000 bytes: about 6.5 GB
    std::vector<uint64_t> offsets[2];
    size_t pos = asf::indexobject::kFixed + 8;
    for (uint32_t b = 0; b < o.LE32(30); ++b) {
        uint32_t rows = o.LE32(pos);
        uint64_t base[2] = {o.LE64(pos + 4), o.LE64(pos + 12)};
        pos += 20;
        for (uint32_t r = 0; r < rows; ++r, pos += 8) {
            offsets[0].push_back(base[0] + o.LE32(pos));
            offsets[1].push_back(base[1] + o.LE32(pos + 4));
        }
    }
    ASSERT_EQ(offsets[0].size(), 13u);  // 0 s to 12 s
    for (size_t i = 0; i < offsets[0].size(); ++i) {
        uint64_t second = std::min<uint64_t>(i, 11);
        EXPECT_EQ(offsets[0][i], second * 9000 * kPacketSize) << i;
        uint64_t lateSecond = i <= 3 ? 3 : std::min<uint64_t>(i - 1, 11);
        EXPECT_EQ(offsets[1][i], (lateSecond * 9000 + 2) * kPacketSize) << i;
    }
}
