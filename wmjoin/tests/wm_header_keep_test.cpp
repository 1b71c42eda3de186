// Music as people tag it: a WMA whose header holds a large cover picture (before its stream, as
// Windows Media encoders write it) and other tags is recognised as sound, joins, and the joined
// file keeps the picture and every tag with its type, as ffprobe reads them back.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "tests/support/media_fixtures.h"
#include "wmjoin/tests/wm_test_support.h"

namespace {

using kjtest::ShellQuote;

std::string Kjoin() {
    return ShellQuote(kjtest::BinDir() + "/kjoin");
}

// ffprobe's lines for the file's tags and its attached picture's packet.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::vector<std::string> FormatTags(const std::string& path) {
    return Lines(kjtest::RunCommand("ffprobe -v error -of default=nw=1 -show_entries "
                                    "format_tags " +
                                    ShellQuote(path))
                     .output);
}

// The md5 of the first attached picture, empty when there is none.
std::string AttachedPictureMd5(const std::string& path) {
    std::string index = kjtest::RunCommand(
                            "ffprobe -v error -of csv=p=0 -show_entries "
                            "stream=index:stream_disposition=attached_pic " +
                            ShellQuote(path))
                            .output;
    for (const std::string& line : Lines(index)) {
        size_t comma = line.find(',');
        if (comma != std::string::npos && line.substr(comma + 1) == "1") {
            std::string stream = line.substr(0, comma);
            std::string md5 = kjtest::RunCommand("ffmpeg -v error -i " + ShellQuote(path) +
                                                 " -map 0:" + stream + " -c copy -f md5 -")
                                  .output;
            return md5.substr(0, md5.find('\n'));
        }
    }
    return {};
}

class WmHeaderKept : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new kjtest::TempDir();
        const std::string audio = " -c:a wmav2 -b:a 128k -ar 44100 -ac 2 ";
        Make("-f lavfi -i sine=frequency=440:duration=2.3" + audio, "plain1.wma");
        Make("-f lavfi -i sine=frequency=660:duration=1.7" + audio, "plain2.wma");
        Make("-f lavfi -i testsrc=size=320x320 -frames:v 1 -q:v 2", "cover.jpg");
        std::vector<uint8_t> picture = kjtest::ReadFileBytes(F("cover.jpg"));
        // As large as the covers of ripped albums: 42 KB (bytes after the JPEG's end are
        // ignored by its decoders).
        picture.resize(std::max<size_t>(picture.size(), 42 * 1024), 0);
        std::vector<wmtest::StoredAttribute> tags = {
            wmtest::PictureAttribute(picture),
            wmtest::TextAttribute(u"WM/Genre", u"Chamber"),
            wmtest::TextAttribute(u"WM/Year", u"2009"),
            wmtest::TextAttribute(u"WM/Lyrics", u"La la la"),
            wmtest::TextAttribute(u"WM/Composer", u"A. Composer"),
            wmtest::DwordAttribute(u"WM/TrackNumber", 7),
            wmtest::TextAttribute(u"WM/AlbumArtist", u"The Players"),
            wmtest::TextAttribute(u"WM/Publisher", u"A Label"),
            wmtest::TextAttribute(u"WM/PartOfSet", u"1/2"),
            wmtest::TextAttribute(u"WM/Mood", u"Calm"),
            wmtest::TextAttribute(u"WM/Conductor", u"B. Conductor"),
        };
        kjtest::WriteFileBytes(
            F("tagged.wma"),
            wmtest::WithHeaderObject(kjtest::ReadFileBytes(F("plain1.wma")),
                                     wmtest::ExtendedContentDescriptionObject(tags)));
    }
    static void TearDownTestSuite() { delete s_dir; }

    static void Make(const std::string& args, const char* name) {
        std::string error;
        ASSERT_TRUE(kjtest::MakeWithFfmpeg(args, F(name), &error)) << error;
    }
    static std::string F(const char* name) { return s_dir->File(name); }

    static kjtest::CommandResult Join(const std::vector<std::string>& inputs,
                                      const std::string& output) {
        std::string line = Kjoin() + " join -y -o " + ShellQuote(output);
        for (const std::string& input : inputs) {
            line += " " + ShellQuote(input);
        }
        return kjtest::RunCommand(line + " 2>&1");
    }

    // The output carries the first input's picture and every tag ffprobe reads in it.
    static void ExpectHeaderKept(const std::string& first, const std::string& output) {
        std::vector<std::string> joined = FormatTags(output);
        std::vector<std::string> own = FormatTags(first);
        EXPECT_GE(own.size(), 10u) << first;
        for (const std::string& tag : own) {
            EXPECT_NE(std::find(joined.begin(), joined.end(), tag), joined.end())
                << tag << " is lost";
        }
        std::string picture = AttachedPictureMd5(first);
        EXPECT_NE(picture, "") << first;
        EXPECT_EQ(AttachedPictureMd5(output), picture);
        EXPECT_EQ(kjtest::DecodeErrors(output), "");
    }

    static kjtest::TempDir* s_dir;
};
kjtest::TempDir* WmHeaderKept::s_dir = nullptr;

TEST_F(WmHeaderKept, ACoverBeforeTheStreamsIsSoundAndEveryTagIsKept) {
    kjtest::CommandResult probe = kjtest::RunCommand(Kjoin() + " probe " + F("tagged.wma"));
    EXPECT_NE(probe.output.find("Width/Height:  Audio"), std::string::npos) << probe.output;
    std::string output = F("joined.wma");
    kjtest::CommandResult r = Join({F("tagged.wma"), F("plain2.wma")}, output);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ExpectHeaderKept(F("tagged.wma"), output);
    // Both inputs' sound, packet for packet.
    EXPECT_EQ(kjtest::CountPackets(output, "a:0"),
              kjtest::CountPackets(F("tagged.wma"), "a:0") +
                  kjtest::CountPackets(F("plain2.wma"), "a:0"));
}

TEST_F(WmHeaderKept, ARealTaggedFileKeepsItsCoverAndTags) {
    const std::string real = KJ_SHARED_MEDIA_DIR "/windowsmedia/wma2-cover-2009.wma";
    if (!std::filesystem::exists(real)) {
        GTEST_SKIP() << "../shared/media is not here: the real tagged WMA cannot be joined";
    }
    std::string output = F("real_joined.wma");
    kjtest::CommandResult r = Join({real, real}, output);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ExpectHeaderKept(real, output);
}

}  // namespace
