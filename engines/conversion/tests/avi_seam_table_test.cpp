// Copy joins of AVI pairs judged at their seams by ffmpeg, mpv and GStreamer, over the video
// codecs AVI collections hold and the sound they carry beside them (one track, two, or none);
// those with sound also with a first input cut off inside an audio chunk, as an interrupted
// capture or download leaves it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>

#include "engines/conversion/tests/join_judge.h"
#include "engines/conversion/tests/mcl_module.h"
#include "tests/support/media_fixtures.h"
#include "tests/support/output_judge.h"
#include "tests/support/seam_judge.h"

namespace {

enum class FirstInput { kWhole, kCutInsideAudio };

struct AviSeamCase {
    const char* name;
    const char* video;   // ffmpeg's video options
    const char* fourcc;  // what the join driver asks for: the first file's FourCC
    const char* size;
    const char* audio;  // ffmpeg's audio options, and the maps of the sound sources
    FirstInput first;
};

constexpr int32_t kAviSelector = 6;

int32_t FourccNumber(const char* text) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
                                static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
                                static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
                                static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24);
}

// The file cut off half-way into its last audio chunk ("01wb", or "02wb" of a second track),
// with whatever followed that chunk gone too.
std::vector<uint8_t> CutInsideLastAudioChunk(const std::vector<uint8_t>& bytes) {
    for (size_t at = bytes.size() >= 8 ? bytes.size() - 8 : 0; at > 12; --at) {
        if (bytes[at] == '0' && (bytes[at + 1] == '1' || bytes[at + 1] == '2') &&
            bytes[at + 2] == 'w' && bytes[at + 3] == 'b') {
            const uint32_t size = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 |
                                  static_cast<uint32_t>(bytes[at + 7]) << 24;
            if (size < 16 || at + 8 + size > bytes.size()) {
                continue;  // an index entry or a stray match, not a chunk
            }
            return std::vector<uint8_t>(bytes.begin(),
                                        bytes.begin() + static_cast<long>(at + 8 + size / 2 + 1));
        }
    }
    return {};
}

uint32_t ReadLe32(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<uint32_t>(bytes[at + 3]) << 24;
}

void WriteLe32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// The file with its last audio chunk ("01wb") `shorter` bytes short of a whole frame, as some
// writers end a file: the chunk and its index entry say the shorter size, and the bytes it gave
// up become a JUNK chunk, so the file stays whole and well formed. `shorter` is even, 8 or more.
std::vector<uint8_t> EndAudioWithAPartFrame(std::vector<uint8_t> bytes, uint32_t shorter) {
    const std::string idx1 = "idx1";
    auto index = std::find_end(bytes.begin(), bytes.end(), idx1.begin(), idx1.end());
    if (index == bytes.end()) {
        return {};
    }
    const size_t indexAt = static_cast<size_t>(index - bytes.begin());
    const std::string audio = "01wb";
    auto chunk = std::find_end(bytes.begin(), index, audio.begin(), audio.end());
    if (chunk == index) {
        return {};
    }
    const size_t at = static_cast<size_t>(chunk - bytes.begin());
    const uint32_t size = ReadLe32(bytes, at + 4);
    if (size <= shorter + 8) {
        return {};
    }
    WriteLe32(bytes, at + 4, size - shorter);
    const size_t junk = at + 8 + size - shorter;
    std::memcpy(&bytes[junk], "JUNK", 4);
    WriteLe32(bytes, junk + 4, shorter - 8);
    // Its index entry: the last one of the track with that size.
    const size_t entries = ReadLe32(bytes, indexAt + 4) / 16;
    for (size_t e = entries; e-- > 0;) {
        const size_t entry = indexAt + 8 + 16 * e;
        if (std::memcmp(&bytes[entry], "01wb", 4) == 0 && ReadLe32(bytes, entry + 12) == size) {
            WriteLe32(bytes, entry + 12, size - shorter);
            return bytes;
        }
    }
    return {};
}

// The case's name, not its bytes, in gtest's messages.
void PrintTo(const AviSeamCase& c, std::ostream* out) {
    *out << c.name;
}

class AviSeamTable : public testing::TestWithParam<AviSeamCase> {
protected:
    void SetUp() override {
        ASSERT_EQ(kjtest::MissingReaders(), "");
        ASSERT_TRUE(m_module.Loaded()) << "libzivuvore.so is missing";
    }

    std::string Make(const AviSeamCase& c, const char* name, const char* pattern, int hz,
                     double seconds) {
        const std::string path = m_dir.File(name);
        const std::string hzText = std::to_string(hz);
        std::string sources = std::string("-f lavfi -i ") + pattern + "=size=" + c.size +
                              ":rate=25 -f lavfi -i sine=frequency=" + hzText +
                              " -f lavfi -i sine=frequency=" + std::to_string(hz * 3 / 2);
        std::string error;
        EXPECT_TRUE(kjtest::MakeWithFfmpeg(
            sources + " -t " + std::to_string(seconds) + " " + c.video + " " + c.audio + " -f avi",
            path, &error))
            << error;
        return path;
    }

    kjtest::MclModule m_module;
    kjtest::TempDir m_dir;
};

TEST_P(AviSeamTable, EveryWholePacketIsCopiedAndTheSeamsPassUnnoticed) {
    const AviSeamCase& c = GetParam();
    std::string a = Make(c, "a.avi", "testsrc2", 440, 1.3);
    const std::string b = Make(c, "b.avi", "smptebars", 660, 0.9);
    if (c.first == FirstInput::kCutInsideAudio) {
        const std::vector<uint8_t> bytes = CutInsideLastAudioChunk(kjtest::ReadFileBytes(a));
        ASSERT_FALSE(bytes.empty()) << "no audio chunk to cut inside";
        a = m_dir.File("a-cut.avi");
        ASSERT_TRUE(kjtest::WriteFileBytes(a, bytes));
    }
    kjtest::ConvertOutput settings;
    settings.selector = kAviSelector;
    settings.codec = FourccNumber(c.fourcc);
    const std::string size = c.size;
    settings.width = std::stoi(size.substr(0, size.find('x')));
    settings.height = std::stoi(size.substr(size.find('x') + 1));
    const std::string out = m_dir.File("out.avi");
    kjtest::ConvertRun run = kjtest::Convert(m_module, {a, b, b}, out, settings);
    ASSERT_EQ(run.result, 0) << run.errorText;
    // Every whole packet found again by its payload's hash: the streams were copied.
    const kjtest::SeamJudgement j =
        kjtest::JudgeCopyJoin({{a, c.first != FirstInput::kWhole}, {b}, {b}}, out);
    EXPECT_EQ(j.decodeAdded, "");
    EXPECT_EQ(j.packetsLost, "");
    EXPECT_EQ(j.seams, "");
    EXPECT_EQ(j.seekErrors, "");
    EXPECT_EQ(j.mpvAdded, "");
    // GStreamer plays no uncompressed RGB AVI of ffmpeg's, not even the inputs: it judges only
    // what it can play.
    if (kjtest::GstPlaybackFailure(b).empty()) {
        EXPECT_EQ(j.gstFailure, "");
    }
    // Each of the inputs' tracks is its own track of the output, and no sound is made up.
    const std::string streams = "stream=codec_name,codec_tag_string,sample_rate,channels";
    EXPECT_EQ(kjtest::Ffprobe(out, streams), kjtest::Ffprobe(b, streams));
}

constexpr const char* kSmall = "176x144";
constexpr const char* kMp3 = "-map 0 -map 1 -c:a libmp3lame -b:a 128k";
constexpr const char* kAc3 = "-map 0 -map 1 -c:a ac3 -b:a 192k";
constexpr const char* kPcm = "-map 0 -map 1 -c:a pcm_s16le";
constexpr const char* kNone = "-map 0";
constexpr const char* kTwoTracks = "-map 0 -map 1 -map 2 -c:a:0 libmp3lame -c:a:1 ac3";
constexpr const char* kMpeg4 = "-c:v mpeg4";

#define KJ_AVI_PAIR(name, video, fourcc, size, audio)                                \
    AviSeamCase{name, video, fourcc, size, audio, FirstInput::kWhole}, AviSeamCase { \
        name "_cut", video, fourcc, size, audio, FirstInput::kCutInsideAudio         \
    }

INSTANTIATE_TEST_SUITE_P(
    Codecs, AviSeamTable,
    testing::Values(
        KJ_AVI_PAIR("mpeg4_mp3", kMpeg4, "FMP4", kSmall, kMp3),
        KJ_AVI_PAIR("mpeg4_ac3", kMpeg4, "FMP4", kSmall, kAc3),
        KJ_AVI_PAIR("mpeg4_bframes_mp3_vbr", "-c:v mpeg4 -bf 2 -vtag XVID", "XVID", kSmall,
                    "-map 0 -map 1 -c:a libmp3lame -q:a 4"),
        KJ_AVI_PAIR("mpeg4_pcm", kMpeg4, "FMP4", kSmall, kPcm),
        KJ_AVI_PAIR("mpeg4_mp3_ac3", kMpeg4, "FMP4", kSmall, kTwoTracks),
        AviSeamCase{"mpeg4_none", kMpeg4, "FMP4", kSmall, kNone, FirstInput::kWhole},
        KJ_AVI_PAIR("dv_pcm", "-c:v dvvideo -pix_fmt yuv420p -ar 48000", "dvsd", "720x576", kPcm),
        KJ_AVI_PAIR("mjpeg_pcm", "-c:v mjpeg -pix_fmt yuvj420p", "MJPG", kSmall, kPcm),
        KJ_AVI_PAIR("huffyuv_ac3", "-c:v huffyuv", "HFYU", kSmall, kAc3),
        // GStreamer takes two minutes to give up on a cut one: PCM is cut beside DV and MJPEG.
        AviSeamCase{"rgb_pcm", "-c:v rawvideo -pix_fmt bgr24", "DIB ", kSmall, kPcm,
                    FirstInput::kWhole},
        KJ_AVI_PAIR("yuv_mp3", "-c:v rawvideo -pix_fmt yuv420p", "I420", kSmall, kMp3),
        KJ_AVI_PAIR("msmpeg4_mp3", "-c:v msmpeg4", "MP43", kSmall, kMp3),
        KJ_AVI_PAIR("h264_mp3", "-c:v libx264 -g 25", "H264", kSmall, kMp3),
        AviSeamCase{"cinepak_none", "-c:v cinepak", "cvid", kSmall, kNone, FirstInput::kWhole},
        KJ_AVI_PAIR("cinepak_ac3_mp3", "-c:v cinepak", "cvid", kSmall, kTwoTracks)),
    [](const testing::TestParamInfo<AviSeamCase>& info) { return std::string(info.param.name); });

// A file that is whole but whose writer stopped inside its last AC-3 frame (741 bytes of 768, as
// in a DivX release of the kind): joined with itself, the part-frame is left out and told, and
// no decoder meets it at the seam.
TEST_F(AviSeamTable, APartFrameAtAWholeFilesEndIsLeftOutAndTold) {
    const AviSeamCase c{"ac3_part", kMpeg4, "FMP4", kSmall, kAc3, FirstInput::kWhole};
    const std::string made = Make(c, "made.avi", "testsrc2", 440, 1.3);
    const std::vector<uint8_t> bytes = EndAudioWithAPartFrame(kjtest::ReadFileBytes(made), 28);
    ASSERT_FALSE(bytes.empty()) << "no audio chunk and index entry to shorten";
    const std::string a = m_dir.File("a.avi");
    ASSERT_TRUE(kjtest::WriteFileBytes(a, bytes));
    kjtest::ConvertOutput settings;
    settings.selector = kAviSelector;
    settings.codec = FourccNumber(c.fourcc);
    settings.width = 176;
    settings.height = 144;
    const std::string out = m_dir.File("out.avi");
    kjtest::ConvertRun run = kjtest::Convert(m_module, {a, a}, out, settings);
    ASSERT_EQ(run.result, 0) << run.errorText;
    const kjtest::SeamJudgement j = kjtest::JudgeCopyJoin({{a, true}, {a, true}}, out);
    EXPECT_EQ(j.decodeAdded, "");
    EXPECT_EQ(j.packetsLost, "");
    EXPECT_EQ(j.seams, "");
    EXPECT_EQ(j.mpvAdded, "");
    ASSERT_EQ(run.inputWarnings.size(), 2u);
    EXPECT_NE(run.inputWarnings[0], "");
    // ffmpeg's reading of the input ends with the part-frame: the output has it nowhere.
    const std::vector<std::string> own = kjtest::PacketHashes(a, "a:0");
    ASSERT_FALSE(own.empty());
    const std::vector<std::string> copied = kjtest::PacketHashes(out, "a:0");
    EXPECT_EQ(std::count(copied.begin(), copied.end(), own.back()), 0);
}

}  // namespace
