// Every joined Windows Media file can be sought: its Simple Index (video key frames, or the
// sound of a file without video) and, where the first input had one, its Index Object name for
// each second the packet where ffprobe finds the latest indexed packet of that stream starting;
// ffmpeg and GStreamer read the index and a decode from after the seam is clean.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "engines/asf/asf_format.h"
#include "engines/asf/asf_index.h"
#include "job/job_state.h"
#include "tests/support/media_fixtures.h"
#include "tests/support/output_judge.h"
#include "wmjoin/tests/wm_test_support.h"
#include "wmjoin/wm_joiner.h"

namespace {

using kjtest::ShellQuote;

struct PacketAt {
    double pts = 0;
    uint64_t pos = 0;
    bool key = false;
};

std::vector<PacketAt> PacketPositions(const std::string& path, const std::string& stream) {
    std::string text =
        kjtest::RunCommand("ffprobe -v error -of csv=p=0 -select_streams " + stream +
                           " -show_entries packet=pts_time,pos,flags " + ShellQuote(path))
            .output;
    std::vector<PacketAt> packets;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        PacketAt p;
        char flags[8] = {};
        if (std::sscanf(line.c_str(), "%lf,%llu,%7s", &p.pts,
                        reinterpret_cast<unsigned long long*>(&p.pos), flags) == 3) {
            p.key = flags[0] == 'K';
            packets.push_back(p);
        }
    }
    return packets;
}

// What a written file's trailing objects say.
struct FileIndexes {
    uint64_t firstPacket = 0;  // byte offset of the first data packet
    uint32_t packetSize = 0;
    double prerollSeconds = 0;
    std::vector<std::vector<uint64_t>> simple;  // per Simple Index: packet of each entry
    std::vector<uint16_t> indexStreams;         // the Index Object's specifiers
    std::vector<std::vector<uint64_t>> index;   // per specifier: byte offset of each entry
    bool hasIndexObject = false;
};

FileIndexes ReadIndexes(const std::string& path) {
    FileIndexes out;
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(path);
    ByteReader file(bytes);
    uint64_t headerSize = file.LE64(asf::kObjectSizeField);
    uint8_t id[16];
    GuidToBytes(asf::kFileProperties, id);
    for (size_t at = 0; at + asf::fileprops::kSize < headerSize; ++at) {
        if (file.Matches(at, id, sizeof id)) {
            out.packetSize = file.LE32(at + asf::fileprops::kMaxPacketSize);
            out.prerollSeconds =
                static_cast<double>(file.LE64(at + asf::fileprops::kPreroll)) / 1000;
            break;
        }
    }
    out.firstPacket = headerSize + asf::kDataObjectFixed;
    uint64_t at = headerSize + file.LE64(headerSize + asf::kObjectSizeField);
    while (file.Has(at, asf::kObjectHeaderSize)) {
        GUID guid = GuidFromBytes(bytes.data() + at);
        uint64_t size = file.LE64(at + asf::kObjectSizeField);
        if (size < asf::kObjectHeaderSize || !file.Has(at, size)) {
            break;
        }
        ByteReader o = file.Sub(at, size);
        if (guid == asf::kSimpleIndexObject) {
            std::vector<uint64_t> packets;
            for (uint32_t i = 0; i < o.LE32(52); ++i) {
                packets.push_back(o.LE32(asf::kSimpleIndexFixed + 6 * i));
            }
            out.simple.push_back(packets);
        } else if (guid == asf::kIndexObject) {
            out.hasIndexObject = true;
            uint16_t specifiers = o.LE16(28);
            uint32_t blocks = o.LE32(30);
            out.index.assign(specifiers, {});
            for (uint16_t k = 0; k < specifiers; ++k) {
                out.indexStreams.push_back(o.LE16(asf::indexobject::kFixed + 4 * k));
            }
            size_t pos = asf::indexobject::kFixed + 4u * specifiers;
            for (uint32_t b = 0; b < blocks; ++b) {
                uint32_t entries = o.LE32(pos);
                std::vector<uint64_t> base;
                for (uint16_t k = 0; k < specifiers; ++k) {
                    base.push_back(o.LE64(pos + 4 + 8 * k));
                }
                pos += 4 + 8u * specifiers;
                for (uint32_t e = 0; e < entries; ++e) {
                    for (uint16_t k = 0; k < specifiers; ++k) {
                        out.index[k].push_back(base[k] + o.LE32(pos));
                        pos += 4;
                    }
                }
            }
        }
        at += size;
    }
    return out;
}

// The byte position of the packet where the latest indexed ffprobe packet at or before `time`
// starts (video: key frames only), or of the first one when none is that early.
uint64_t ExpectedPosition(const std::vector<PacketAt>& packets, double time, bool keysOnly) {
    const PacketAt* latest = nullptr;
    const PacketAt* first = nullptr;
    for (const PacketAt& p : packets) {
        if (keysOnly && !p.key) {
            continue;
        }
        first = first == nullptr ? &p : first;
        if (p.pts <= time + 0.0005) {
            latest = &p;
        }
    }
    return latest != nullptr ? latest->pos : first != nullptr ? first->pos : 0;
}

// Each entry of a series (one a second, preroll included) against ffprobe's packets.
void ExpectEntries(const std::vector<uint64_t>& offsets, bool packetNumbers,
                   const FileIndexes& file, const std::vector<PacketAt>& packets, bool keysOnly,
                   const std::string& what) {
    ASSERT_FALSE(offsets.empty()) << what;
    for (size_t i = 0; i < offsets.size(); ++i) {
        double time = static_cast<double>(i) - file.prerollSeconds;
        uint64_t expected = ExpectedPosition(packets, time, keysOnly);
        if (packetNumbers && time < packets.front().pts - 0.0005) {
            expected = file.firstPacket;  // the Simple Index names packet 0 before the first
        }
        uint64_t position = packetNumbers ? file.firstPacket + offsets[i] * file.packetSize
                                          : file.firstPacket + offsets[i];
        EXPECT_EQ(position, expected) << what << " entry " << i << " (" << time << " s)";
    }
}

// An empty Index Object after the data, as Windows Media encoders write beside their Simple
// Index, so that the file counts as one that had an Index Object.
std::vector<uint8_t> WithIndexObject(std::vector<uint8_t> file) {
    ByteWriter w;
    uint8_t id[16];
    GuidToBytes(asf::kIndexObject, id);
    w.Bytes(id, sizeof id).LE64(asf::indexobject::kFixed).LE32(1000).LE16(0).LE32(0);
    file.insert(file.end(), w.bytes().begin(), w.bytes().end());
    return file;
}

struct IndexCase {
    const char* name;
    const char* args;
    bool video;
};

class WmIndex : public ::testing::TestWithParam<IndexCase> {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(wmtest::LoadEngine()); }
    void SetUp() override { g_stopRequested = 0; }
};

TEST_P(WmIndex, EveryJoinedFileCanBeSoughtThroughItsIndexes) {
    const IndexCase& c = GetParam();
    kjtest::TempDir dir;
    std::string error;
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(std::string(c.args) + " -t 4.3", dir.File("a.asf"), &error))
        << error;
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(std::string(c.args) + " -t 3.1", dir.File("b.asf"), &error))
        << error;
    kjtest::WriteFileBytes(dir.File("a.asf"),
                           WithIndexObject(kjtest::ReadFileBytes(dir.File("a.asf"))));
    std::string output = dir.File("joined.asf");
    wmtest::RecordingHost host({dir.File("a.asf"), dir.File("b.asf")});
    g_errorText.clear();
    ASSERT_EQ(JoinWmvFiles(host, output), 1) << g_errorText;

    FileIndexes file = ReadIndexes(output);
    ASSERT_EQ(file.simple.size(), 1u);
    std::vector<PacketAt> indexed = PacketPositions(output, c.video ? "v:0" : "a:0");
    ExpectEntries(file.simple[0], true, file, indexed, c.video, "Simple Index");
    ASSERT_TRUE(file.hasIndexObject);
    ASSERT_EQ(file.index.size(), c.video ? 2u : 1u);
    for (size_t k = 0; k < file.index.size(); ++k) {
        bool video = c.video && k == 0;  // the first input's streams: video first
        ExpectEntries(file.index[k], false, file, PacketPositions(output, video ? "v:0" : "a:0"),
                      video, "Index Object stream " + std::to_string(file.indexStreams[k]));
    }

    // ffmpeg seeks through the index (it says so at its debug level), GStreamer reads it, and
    // a decode from after the seam is clean.
    std::string seek =
        kjtest::RunCommand("ffmpeg -v debug -ss 5.5 -i " + ShellQuote(output) + " -f null - 2>&1")
            .output;
    EXPECT_NE(seek.find("pktnum:"), std::string::npos) << "ffmpeg found no index";
    std::string gst = kjtest::RunCommand(
                          "GST_DEBUG=asfdemux:4 gst-launch-1.0 -q filesrc "
                          "location=" +
                          ShellQuote(output) + " ! asfdemux ! fakesink 2>&1")
                          .output;
    EXPECT_NE(gst.find("SIMPLE_INDEX"), std::string::npos) << "GStreamer found no index";
    EXPECT_EQ(kjtest::SeekDecodeErrors(output, 5.5), "");
    EXPECT_EQ(kjtest::SeekDecodeErrors(output, 2.0), "");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, WmIndex,
    ::testing::Values(IndexCase{"sound_alone",
                                "-f lavfi -i sine=frequency=440 -c:a wmav2 -b:a 128k -ac 2", false},
                      IndexCase{"video_and_sound",
                                "-f lavfi -i testsrc=size=176x144:rate=25 -f lavfi -i "
                                "sine=frequency=440 -c:v wmv2 -g 30 -c:a wmav2 -b:a 64k",
                                true}),
    [](const ::testing::TestParamInfo<IndexCase>& info) { return std::string(info.param.name); });

}  // namespace
