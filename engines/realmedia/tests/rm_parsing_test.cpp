// The chunk walk, the packet walk, the codec headers and the video payload headers.
#include <gtest/gtest.h>

#include <filesystem>

#include "engines/realmedia/rm_codec.h"
#include "engines/realmedia/rm_reader.h"
#include "engines/realmedia/rm_video_payload.h"
#include "engines/realmedia/rmedit.h"
#include "engines/realmedia/tests/rm_bytes.h"

namespace {

using rmtest::BuildFile;
using rmtest::TestFile;

struct Walk {
    HRESULT header = E_FAIL;
    HRESULT end = E_FAIL;
    std::string why;
    rm::RmHeader h;
    std::vector<rm::Packet> packets;
    int chunks = 0;
    bool cutShort = false;
    uint32_t damaged = 0;
};

Walk WalkBytes(const std::vector<uint8_t>& bytes) {
    Walk w;
    rm::MemorySource source(bytes.data(), bytes.size());
    w.header = rm::ReadHeader(source, w.h, &w.why);
    if (FAILED(w.header)) {
        return w;
    }
    rm::PacketReader reader(source, w.h);
    rm::Packet p;
    while ((w.end = reader.Next(p, &w.why)) == S_OK) {
        p.bytes = nullptr;
        w.packets.push_back(p);
    }
    w.chunks = reader.DataChunks();
    w.cutShort = reader.CutShort();
    w.damaged = reader.DamagedPackets();
    return w;
}

std::string SharedMedia(const char* name) {
    return std::string(KJ_SHARED_MEDIA_DIR) + "/realmedia/" + name;
}

TEST(RmReader, ReadsEveryChunkOfTheRealFiles) {
    struct Case {
        const char* file;
        std::vector<std::string> mimes;
        size_t minPackets;
    };
    const Case cases[] = {
        {"rv40-cook-640x480-2008.rv",
         {"audio/x-pn-realaudio", "video/x-pn-realvideo", "logical-fileinfo"},
         900},
        {"cook-realevent-2000.rm",
         {"audio/x-pn-realaudio", "application/x-pn-realevent", "logical-fileinfo"},
         100},
        {"rv10-dnet-176x144-1997.rm", {"video/x-pn-realvideo", "audio/x-pn-realaudio"}, 100},
    };
    for (const Case& c : cases) {
        const std::string path = SharedMedia(c.file);
        if (!std::filesystem::exists(path)) {
            GTEST_SKIP() << "../shared/media is absent: " << path;
        }
        rm::FileSource source;
        ASSERT_TRUE(source.Open(path));
        rm::RmHeader h;
        std::string why;
        ASSERT_EQ(rm::ReadHeader(source, h, &why), S_OK) << c.file << ": " << why;
        std::vector<std::string> mimes;
        for (const rm::MediaProperties& m : h.streams) {
            mimes.push_back(m.mime);
        }
        std::sort(mimes.begin(), mimes.end());
        std::vector<std::string> want = c.mimes;
        std::sort(want.begin(), want.end());
        EXPECT_EQ(mimes, want) << c.file;
        rm::PacketReader reader(source, h);
        rm::Packet p;
        size_t n = 0;
        HRESULT hr;
        uint64_t last = 0;
        while ((hr = reader.Next(p, &why)) == S_OK) {
            EXPECT_GT(p.offset, last);
            last = p.offset;
            ++n;
        }
        EXPECT_EQ(hr, S_FALSE) << why;
        EXPECT_GE(n, c.minPackets) << c.file;
        EXPECT_EQ(n, h.props.packets) << c.file;
        for (const rm::MediaProperties& m : h.streams) {
            if (m.IsAudio()) {
                rm::AudioFormat f;
                ASSERT_TRUE(rm::ParseAudioFormat(m.typeData, f)) << c.file;
                EXPECT_TRUE(f.fourcc == "cook" || f.fourcc == "dnet") << f.fourcc;
                EXPECT_TRUE(rm::IsCopyableAudioCodec(f.fourcc));
            } else if (m.IsVideo()) {
                rm::VideoFormat f;
                ASSERT_TRUE(rm::ParseVideoFormat(m.typeData, f)) << c.file;
                EXPECT_TRUE(rm::IsCopyableVideoCodec(f.fourcc)) << f.fourcc;
            }
        }
    }
}

TEST(RmReader, KeepsUnknownChunksAndFollowsChainedDataChunks) {
    TestFile f = rmtest::Rv40CookFile(2, 1);
    f.rmfVersion = 0;
    std::vector<uint8_t> bytes = BuildFile(f);
    Walk w = WalkBytes(bytes);
    ASSERT_EQ(w.header, S_OK) << w.why;
    EXPECT_EQ(w.end, S_FALSE);
    EXPECT_EQ(w.packets.size(), f.packets.size());
    bool rmmd = false;
    for (const rm::HeaderChunk& c : w.h.chunks) {
        rmmd = rmmd || c.id == rm::ChunkId("RMMD");
    }
    EXPECT_TRUE(rmmd);

    // Split the packets over two DATA chunks chained by their next-header offsets, with the
    // second one's size overstated (as ffmpeg writes it) and 8 zero bytes after the last packet.
    TestFile two = rmtest::Rv40CookFile(1, 2);
    two.withIndex = false;
    std::vector<uint8_t> whole = BuildFile(two);
    Walk first = WalkBytes(whole);
    ASSERT_EQ(first.end, S_FALSE);
    const size_t dataAt = first.h.dataOffset;
    const size_t split = first.packets[first.packets.size() / 2].offset;
    std::vector<uint8_t> chained(whole.begin(), whole.begin() + split);
    ByteWriter second;
    second.Text("DATA")
        .BE32(static_cast<uint32_t>(18 + whole.size() - split + 18))
        .BE16(0)
        .BE32(0)
        .BE32(0);
    second.Bytes(whole.data() + split, whole.size() - split).Zeros(8);
    const uint32_t secondAt = static_cast<uint32_t>(chained.size());
    chained.insert(chained.end(), second.bytes().begin(), second.bytes().end());
    ByteWriter patch;
    patch.bytes() = chained;
    patch.PatchBE32(dataAt + 4, static_cast<uint32_t>(split - dataAt));
    patch.PatchBE32(dataAt + rm::kDataNext, secondAt);
    Walk w2 = WalkBytes(patch.bytes());
    ASSERT_EQ(w2.header, S_OK);
    EXPECT_EQ(w2.end, S_FALSE) << w2.why;
    EXPECT_EQ(w2.packets.size(), first.packets.size());
    EXPECT_EQ(w2.chunks, 2);

    // A chain that points back is damage, not a loop.
    patch.PatchBE32(secondAt + rm::kDataNext, static_cast<uint32_t>(dataAt));
    Walk loop = WalkBytes(patch.bytes());
    EXPECT_EQ(loop.end, RMEDIT_E_BAD_FILE);
}

TEST(RmReader, ReadsLargePacketsAcrossItsReadWindow) {
    // 2.4 MB of near-largest packets, alternating streams: many straddle a window's end.
    TestFile f;
    f.streams = {{0, "Audio Stream", "audio/x-pn-realaudio", rmtest::CookHeader(), 0, 0},
                 {1, "Video Stream", "video/x-pn-realvideo", rmtest::Rv40Header(), 0, 0}};
    for (uint16_t i = 0; i < 40; ++i) {
        std::vector<uint8_t> payload(60000 + i * 7, static_cast<uint8_t>(i));
        f.packets.push_back({static_cast<uint16_t>(i % 2), i * 40u, i % 2 == 0, payload});
    }
    std::vector<uint8_t> bytes = BuildFile(f);
    ASSERT_GT(bytes.size(), 2u << 20);
    rm::MemorySource source(bytes.data(), bytes.size());
    rm::RmHeader h;
    ASSERT_EQ(rm::ReadHeader(source, h, nullptr), S_OK);
    rm::PacketReader reader(source, h);
    rm::Packet p;
    std::string why;
    for (uint16_t i = 0; i < 40; ++i) {
        ASSERT_EQ(reader.Next(p, &why), S_OK) << i << ": " << why;
        EXPECT_EQ(p.stream, i % 2) << i;
        EXPECT_EQ(p.timestamp, i * 40u) << i;
        EXPECT_EQ(p.length, 12 + 60000 + i * 7) << i;
        EXPECT_EQ(p.bytes[12], i);
        EXPECT_EQ(p.bytes[p.length - 1], i);
    }
    EXPECT_EQ(reader.Next(p, &why), S_FALSE);
}

TEST(RmReader, DamagedFilesEndCleanly) {
    std::vector<uint8_t> good = BuildFile(rmtest::Rv40CookFile(1, 3));
    // Cut anywhere: either an error or fewer packets, never a read past the end.
    for (size_t cut = 0; cut < good.size(); cut += 97) {
        std::vector<uint8_t> part(good.begin(), good.begin() + cut);
        Walk w = WalkBytes(part);
        if (SUCCEEDED(w.header)) {
            EXPECT_NE(w.end, S_OK);
        }
    }
    // Chunk sizes of 0, below the head and past the end.
    for (uint32_t size : {0u, 4u, 0x7FFFFFFFu}) {
        ByteWriter w;
        w.bytes() = good;
        w.PatchBE32(18 + 4, size);  // the PROP chunk's size
        Walk bad = WalkBytes(w.bytes());
        EXPECT_EQ(bad.header, RMEDIT_E_BAD_FILE) << size;
        EXPECT_FALSE(bad.why.empty());
    }
    // A bare RealAudio file and something else entirely.
    std::vector<uint8_t> ra = {'.', 'r', 'a', 0xfd, 0, 4, 0, 0};
    Walk bare = WalkBytes(ra);
    EXPECT_EQ(bare.header, RMEDIT_E_BAD_FILE);
    EXPECT_NE(bare.why.find("bare RealAudio"), std::string::npos);
    // A packet of a stream the header does not describe is passed over; the rest is read.
    TestFile f = rmtest::Rv40CookFile(1, 4);
    f.packets[3].stream = 9;
    Walk stray = WalkBytes(BuildFile(f));
    EXPECT_EQ(stray.end, S_FALSE);
    EXPECT_EQ(stray.packets.size(), f.packets.size() - 1);
    EXPECT_EQ(stray.damaged, 1u);
}

TEST(RmCodec, ReadsRealAudioAndRealVideoHeadersAndNamesTheDifference) {
    rm::AudioFormat a;
    ASSERT_TRUE(rm::ParseAudioFormat(rmtest::CookHeader(), a));
    EXPECT_EQ(a.version, 5);
    EXPECT_EQ(a.fourcc, "cook");
    EXPECT_EQ(a.interleaver, "genr");
    EXPECT_EQ(a.sampleRate, 44100u);
    EXPECT_EQ(a.channels, 2);
    EXPECT_EQ(a.subPacketHeight, 16);
    EXPECT_EQ(a.frameSize, 640);
    EXPECT_EQ(a.subPacketSize, 128);
    rm::VideoFormat v;
    ASSERT_TRUE(rm::ParseVideoFormat(rmtest::Rv40Header(), v));
    EXPECT_EQ(v.fourcc, "RV40");
    EXPECT_EQ(v.width, 640);
    EXPECT_EQ(v.height, 480);

    // The per-file fields (data size, total audio bytes) may differ; the codec's may not.
    std::vector<uint8_t> other = rmtest::CookHeader();
    other[15] = 99;
    other[31] = 77;
    EXPECT_EQ(rm::DescribeAudioDifference(rmtest::CookHeader(), other), "");
    EXPECT_NE(rm::DescribeAudioDifference(rmtest::CookHeader(), rmtest::CookHeader(22050))
                  .find("22050 Hz, not 44100 Hz"),
              std::string::npos);
    EXPECT_NE(rm::DescribeAudioDifference(rmtest::CookHeader(), rmtest::CookHeader(44100, 1))
                  .find("1 channels, not 2"),
              std::string::npos);
    EXPECT_NE(rm::DescribeVideoDifference(rmtest::Rv40Header(), rmtest::Rv40Header(320, 240))
                  .find("320x240, not 640x480"),
              std::string::npos);
    EXPECT_FALSE(rm::ParseAudioFormat({'.', 'r', 'a', 0xfd, 0, 5}, a));  // cut short
    EXPECT_FALSE(rm::ParseVideoFormat({0, 0, 0, 34, 'V', 'I', 'D', 'O'}, v));
}

std::vector<uint8_t> PackedFrame(uint32_t time, bool longTime, uint8_t bytes) {
    ByteWriter w;
    w.U8(0xC0).BE16(static_cast<uint16_t>(0x4000 | bytes));
    if (longTime) {
        w.BE32(time);
    } else {
        w.BE16(static_cast<uint16_t>(0x4000 | time));
    }
    w.U8(7);
    for (uint8_t i = 0; i < bytes; ++i) {
        w.U8(i);
    }
    return w.bytes();
}

TEST(RmVideoPayload, ShiftsPackedFrameTimesAndGrowsTheirNumbers) {
    // Two packed frames: the first stays in 2 bytes, the second crosses 16384 ms.
    std::vector<uint8_t> payload = PackedFrame(100, false, 5);
    std::vector<uint8_t> second = PackedFrame(16000, false, 3);
    payload.insert(payload.end(), second.begin(), second.end());
    std::vector<uint8_t> out;
    ASSERT_TRUE(rm::ShiftPackedFrameTimes(payload.data(), payload.size(), 1000, out));
    std::vector<uint8_t> want = PackedFrame(1100, false, 5);
    std::vector<uint8_t> wantSecond = PackedFrame(17000, true, 3);
    want.insert(want.end(), wantSecond.begin(), wantSecond.end());
    EXPECT_EQ(out, want);
    EXPECT_EQ(out.size(), payload.size() + 2);

    size_t at = 0;
    uint32_t value = 0;
    size_t width = 0;
    ASSERT_TRUE(rm::ReadVideoNumber(out.data() + 11 + 1 + 2, 4, at, value, width));
    EXPECT_EQ(value, 17000u);
    EXPECT_EQ(width, 4u);

    // Fragments and whole frames carry no time of their own; nothing to change at shift 0.
    std::vector<uint8_t> fragment = {0x01, 0x01, 0x41, 0x00, 0x40, 0x00, 0x05, 1, 2, 3};
    EXPECT_FALSE(rm::ShiftPackedFrameTimes(fragment.data(), fragment.size(), 1000, out));
    EXPECT_FALSE(rm::ShiftPackedFrameTimes(payload.data(), payload.size(), 0, out));

    // Packed frames after a last fragment are frames too.
    ByteWriter tail;
    tail.U8(0x81).U8(0x82).BE16(0x4000 | 9).BE16(0x4000 | 3).U8(1).Bytes("\x01\x02\x03", 3);
    std::vector<uint8_t> mixed = tail.bytes();
    std::vector<uint8_t> packed = PackedFrame(200, false, 2);
    mixed.insert(mixed.end(), packed.begin(), packed.end());
    ASSERT_TRUE(rm::ShiftPackedFrameTimes(mixed.data(), mixed.size(), 50, out));
    std::vector<uint8_t> wantMixed = tail.bytes();
    std::vector<uint8_t> packedShifted = PackedFrame(250, false, 2);
    wantMixed.insert(wantMixed.end(), packedShifted.begin(), packedShifted.end());
    EXPECT_EQ(out, wantMixed);
    EXPECT_FALSE(rm::ShiftPackedFrameTimes(tail.bytes().data(), tail.size(), 50, out));

    // A frame length past the packet stops the rewriting; the rest is kept as it is.
    std::vector<uint8_t> bad = PackedFrame(10, false, 4);
    std::vector<uint8_t> broken = {0xC0, 0x40, 0x50, 0x40, 0x01, 0x00, 1};
    bad.insert(bad.end(), broken.begin(), broken.end());
    ASSERT_TRUE(rm::ShiftPackedFrameTimes(bad.data(), bad.size(), 5, out));
    std::vector<uint8_t> good = PackedFrame(15, false, 4);
    good.insert(good.end(), broken.begin(), broken.end());
    EXPECT_EQ(out, good);
}

}  // namespace
