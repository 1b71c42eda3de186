// Copy joins of program streams judged at their seams by ffmpeg, mpv and GStreamer: pairs made
// with ffmpeg's -target pal-vcd, pal-svcd and pal-dvd (with MP2, AC-3 and LPCM), the DVD ones
// also with a first input whose audio ends inside its last frame, as authoring tools leave it.
#include <gtest/gtest.h>

#include "engines/conversion/tests/mcl_module.h"
#include "tests/support/media_fixtures.h"
#include "tests/support/mpeg_ps_fixture.h"
#include "tests/support/output_judge.h"
#include "tests/support/seam_expect.h"

namespace {

enum class FirstInput { kWhole, kEndsInsideAFrame };

struct PsSeamCase {
    const char* name;
    const char* target;  // ffmpeg's output options
    int width;
    bool mpeg2;
    kjtest::PsAudioId audio;
    FirstInput first;
};

class PsSeamTable : public testing::TestWithParam<PsSeamCase> {
protected:
    void SetUp() override {
        ASSERT_EQ(kjtest::MissingReaders(), "");
        ASSERT_TRUE(m_module.Loaded()) << "libzivuvore.so is missing";
    }

    std::string Make(const PsSeamCase& c, const char* name, const char* pattern, int hz,
                     double seconds) {
        const std::string path = m_dir.File(name);
        const int rate = c.mpeg2 && c.width == 720 ? 48000 : 44100;
        std::string error;
        EXPECT_TRUE(kjtest::MakeWithFfmpeg(
            std::string("-f lavfi -i ") + pattern + "=size=" + std::to_string(c.width) + "x" +
                std::to_string(c.mpeg2 ? 576 : 288) + ":rate=25 -f lavfi -i sine=frequency=" +
                std::to_string(hz) + ":sample_rate=" + std::to_string(rate) + " -t " +
                std::to_string(seconds) + " " + c.target + " -ac 2",
            path, &error))
            << error;
        return path;
    }

    kjtest::MclModule m_module;
    kjtest::TempDir m_dir;
};

TEST_P(PsSeamTable, EveryWholeFrameIsKeptAndTheSeamsPassUnnoticed) {
    const PsSeamCase& c = GetParam();
    std::string a = Make(c, "a.mpg", "testsrc2", 440, 2.3);
    const std::string b = Make(c, "b.mpg", "smptebars", 660, 1.7);
    if (c.first != FirstInput::kWhole) {
        const size_t keep = c.audio.subId >= 0xA0 ? 2 : 10;  // LPCM: half a sample group
        const std::vector<uint8_t> bytes =
            kjtest::EndAudioInsideItsLastFrame(kjtest::ReadFileBytes(a), c.audio, keep);
        ASSERT_FALSE(bytes.empty());
        a = m_dir.File("a-edited.mpg");
        ASSERT_TRUE(kjtest::WriteFileBytes(a, bytes));
    }
    kjtest::ConvertOutput settings;
    settings.codec = c.mpeg2 ? 2 : 1;
    settings.enableMpeg2 = c.mpeg2;
    settings.videoKbps = c.mpeg2 ? 6000 : 1150;
    settings.width = c.width;
    settings.height = c.mpeg2 ? 576 : 288;
    const std::string out = m_dir.File("out.mpg");
    kjtest::ConvertRun run = kjtest::Convert(m_module, {a, b, b}, out, settings);
    ASSERT_EQ(run.result, 0) << run.errorText;
    kjtest::ExpectSeamsUnnoticed({{a, c.first != FirstInput::kWhole}, {b}, {b}}, out);
}

constexpr kjtest::PsAudioId kMp2{0xC0, -1};
constexpr kjtest::PsAudioId kAc3{0xBD, 0x80};
constexpr kjtest::PsAudioId kLpcm{0xBD, 0xA0};
constexpr const char* kVcd = "-target pal-vcd";
constexpr const char* kSvcd = "-target pal-svcd";
constexpr const char* kDvdMp2 = "-target pal-dvd -c:a mp2 -b:a 224k";
constexpr const char* kDvdAc3 = "-target pal-dvd -c:a ac3 -b:a 192k";
constexpr const char* kDvdLpcm = "-target pal-dvd -c:a pcm_s16be";

INSTANTIATE_TEST_SUITE_P(
    Targets, PsSeamTable,
    testing::Values(
        PsSeamCase{"vcd", kVcd, 352, false, kMp2, FirstInput::kWhole},
        PsSeamCase{"svcd", kSvcd, 480, true, kMp2, FirstInput::kWhole},
        PsSeamCase{"dvd_mp2", kDvdMp2, 720, true, kMp2, FirstInput::kWhole},
        PsSeamCase{"dvd_mp2_part", kDvdMp2, 720, true, kMp2, FirstInput::kEndsInsideAFrame},
        PsSeamCase{"dvd_ac3", kDvdAc3, 720, true, kAc3, FirstInput::kWhole},
        PsSeamCase{"dvd_ac3_part", kDvdAc3, 720, true, kAc3, FirstInput::kEndsInsideAFrame},
        PsSeamCase{"dvd_lpcm", kDvdLpcm, 720, true, kLpcm, FirstInput::kWhole},
        PsSeamCase{"dvd_lpcm_part", kDvdLpcm, 720, true, kLpcm, FirstInput::kEndsInsideAFrame}),
    [](const testing::TestParamInfo<PsSeamCase>& info) { return std::string(info.param.name); });

}  // namespace
