// The audio of an AVI or MPEG join: copied packet for packet when every input's audio is of the
// first input's kind (whatever the fixed output format), re-encoded otherwise; a DVD output is
// encoded at 48 kHz, a Video CD output at 44.1 kHz.
#include <gtest/gtest.h>

#include "engines/conversion/tests/join_judge.h"
#include "engines/conversion/tests/mcl_module.h"
#include "tests/support/media_fixtures.h"

namespace {

using kjtest::ConvertOutput;
using kjtest::ConvertRun;
using kjtest::CountPackets;
using kjtest::DecodeErrors;
using kjtest::PacketHashes;
using kjtest::StreamEntry;

constexpr double kClipSeconds = 1.6;
constexpr double kSeamTolerance = 0.040;
// Audio packets that may lie before an input's first picture, or past its last.
constexpr size_t kMostLeftOut = 2;

class AudioCopy : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_module.Loaded()) {
            GTEST_SKIP() << "libzivuvore.so was not built next to the tests";
        }
    }

    std::string Clip(const std::string& name, bool lit, const std::string& size,
                     const std::string& args) {
        std::string path = m_dir.File(name);
        std::string error;
        EXPECT_TRUE(kjtest::MakeClip(path, lit, true, size, 25, kClipSeconds, args, &error))
            << error;
        return path;
    }

    ConvertRun Join(const std::vector<std::string>& inputs, const std::string& output,
                    const ConvertOutput& settings) {
        ConvertRun run = kjtest::Convert(m_module, inputs, output, settings);
        EXPECT_EQ(run.result, 0) << run.errorText;
        EXPECT_EQ(DecodeErrors(output), "");
        return run;
    }

    // The output's audio packets are the inputs' ones, in order and unchanged. Only what lies
    // before an input's first picture or past its last may be left out (a packet or two of an
    // encoder's head or tail), so that each input starts where the pictures of the one before
    // end. With `more` the output may go on after them (an input encoded to match).
    static void ExpectAudioCopied(const std::vector<std::string>& inputs, const std::string& output,
                                  bool more = false) {
        std::vector<std::string> out = PacketHashes(output, "a:0");
        size_t at = 0;
        for (const std::string& input : inputs) {
            std::vector<std::string> own = PacketHashes(input, "a:0");
            ASSERT_FALSE(own.empty()) << input;
            // Where this input's run of packets starts: audio before the first picture may
            // have been left out too.
            size_t first = 0;
            while (first < kMostLeftOut && first < own.size() && at < out.size() &&
                   out[at] != own[first]) {
                ++first;
            }
            size_t kept = 0;
            while (first + kept < own.size() && at < out.size() && out[at] == own[first + kept]) {
                ++kept;
                ++at;
            }
            EXPECT_GE(kept + 2 * kMostLeftOut, own.size())
                << "the audio packets of " << input << " were not copied: " << kept << " of "
                << own.size() << " found in order";
        }
        if (!more) {
            EXPECT_EQ(at, out.size()) << "the output has audio packets that no input has";
        }
    }

    // The second input's tone starts where its white picture is shown. That is the picture's own
    // time: in an AVI, empty index entries before it are frames as well (ffmpeg's AVI files with
    // MP3 audio have one after their first picture).
    static void ExpectSeam(const std::string& output) {
        kjtest::Onsets onsets = kjtest::FindOnsets(output);
        ASSERT_GE(onsets.video, 0.0);
        ASSERT_GE(onsets.audio, 0.0);
        EXPECT_NEAR(onsets.audio, onsets.pictureTime, kSeamTolerance);
    }

    static ConvertOutput Dvd() {
        ConvertOutput settings;
        settings.codec = 2;
        settings.videoKbps = 6000;
        settings.width = 720;
        settings.height = 576;
        settings.enableMpeg2 = true;
        return settings;
    }

    static ConvertOutput AviDx50() {
        ConvertOutput settings;
        settings.selector = 6;
        settings.codec = static_cast<int32_t>('D' | ('X' << 8) | ('5' << 16) | ('0' << 24));
        settings.width = 320;
        settings.height = 240;
        return settings;
    }

    kjtest::MclModule m_module;
    kjtest::TempDir m_dir;
};

TEST_F(AudioCopy, DvdFilesWithTheSameAudioKeepItsPacketsAt48kHz) {
    const char* args = "-target pal-dvd -ac 2 -f vob";
    std::string a = Clip("a.vob", false, "720x576", args);
    std::string b = Clip("b.vob", true, "720x576", args);
    std::string out = m_dir.File("out.mpg");
    Join({a, b}, out, Dvd());
    EXPECT_EQ(StreamEntry(out, "a:0", "codec_name"), StreamEntry(a, "a:0", "codec_name"));
    EXPECT_EQ(StreamEntry(out, "a:0", "sample_rate"), "48000");
    ExpectAudioCopied({a, b}, out);
    ExpectSeam(out);
}

TEST_F(AudioCopy, ADvdFileWithOtherAudioHasItEncodedToTheFirstFilesAudio) {
    std::string a = Clip("a.vob", false, "720x576", "-target pal-dvd -ac 2 -f vob");
    // Another codec and rate in the second input: it alone is encoded, to the first's AC-3.
    std::string b =
        Clip("b.vob", true, "720x576", "-target pal-dvd -c:a mp2 -ar 44100 -b:a 224k -f vob");
    std::string out = m_dir.File("out.mpg");
    Join({a, b}, out, Dvd());
    EXPECT_EQ(StreamEntry(out, "a:0", "codec_name"), StreamEntry(a, "a:0", "codec_name"));
    EXPECT_EQ(StreamEntry(out, "a:0", "sample_rate"), "48000");
    EXPECT_EQ(StreamEntry(out, "a:0", "channels"), "2");
    ExpectAudioCopied({a}, out, true);
    ExpectSeam(out);
}

TEST_F(AudioCopy, AviFilesWithMonoMp3KeepItCopied) {
    const char* args = "-c:v mpeg4 -vtag DX50 -b:v 400k -c:a libmp3lame -ac 1 -b:a 64k -f avi";
    std::string a = Clip("a.avi", false, "320x240", args);
    std::string b = Clip("b.avi", true, "320x240", args);
    std::string c = Clip("c.avi", false, "320x240", args);
    std::string out = m_dir.File("out.avi");
    Join({a, b, c}, out, AviDx50());
    EXPECT_EQ(StreamEntry(out, "a:0", "codec_name"), "mp3");
    EXPECT_EQ(StreamEntry(out, "a:0", "channels"), "1");
    EXPECT_EQ(StreamEntry(out, "a:0", "sample_rate"), "44100");
    ExpectAudioCopied({a, b, c}, out);
    // The header counts the stream's frames, not blocks of the inputs' 1152-byte alignment.
    EXPECT_EQ(StreamEntry(out, "a:0", "nb_frames"), std::to_string(CountPackets(out, "a:0")));
    ExpectSeam(out);
}

TEST_F(AudioCopy, AnAviFileWithAnotherChannelCountHasItsAudioEncodedToTheFirstFiles) {
    std::string a = Clip("a.avi", false, "320x240",
                         "-c:v mpeg4 -vtag DX50 -b:v 400k -c:a libmp3lame -ac 1 -f avi");
    std::string b = Clip("b.avi", true, "320x240",
                         "-c:v mpeg4 -vtag DX50 -b:v 400k -c:a libmp3lame -ac 2 -f avi");
    std::string out = m_dir.File("out.avi");
    Join({a, b}, out, AviDx50());
    EXPECT_EQ(StreamEntry(out, "a:0", "codec_name"), "mp3");
    EXPECT_EQ(StreamEntry(out, "a:0", "channels"), "1");
    EXPECT_EQ(StreamEntry(out, "a:0", "sample_rate"), "44100");
    ExpectAudioCopied({a}, out, true);
    ExpectSeam(out);
}

TEST_F(AudioCopy, VideoCdFilesKeepTheirMp2At44kHz) {
    std::string a = Clip("a.mpg", false, "352x288", "-target pal-vcd");
    std::string b = Clip("b.mpg", true, "352x288", "-target pal-vcd");
    std::string out = m_dir.File("out.mpg");
    Join({a, b}, out, ConvertOutput{});
    EXPECT_EQ(StreamEntry(out, "a:0", "codec_name"), "mp2");
    EXPECT_EQ(StreamEntry(out, "a:0", "sample_rate"), "44100");
    EXPECT_EQ(StreamEntry(out, "a:0", "bit_rate"), "224000");
    ExpectAudioCopied({a, b}, out);
}

TEST_F(AudioCopy, AVideoCdOutputReencodesOtherAudioTo44kHzMp2) {
    std::string a = Clip("a.mpg", false, "352x288", "-target pal-vcd");
    std::string b = Clip("b.mpg", true, "352x288", "-target pal-vcd -ar 48000");
    std::string out = m_dir.File("out.mpg");
    Join({a, b}, out, ConvertOutput{});
    EXPECT_EQ(StreamEntry(out, "a:0", "codec_name"), "mp2");
    EXPECT_EQ(StreamEntry(out, "a:0", "sample_rate"), "44100");
    EXPECT_EQ(StreamEntry(out, "a:0", "bit_rate"), "224000");
    ExpectSeam(out);
}

}  // namespace
