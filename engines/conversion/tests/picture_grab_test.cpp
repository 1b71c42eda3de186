// One picture of a file for the list, for every kind the program reads: the frame a tenth in,
// scaled with its shape kept, judged against the frame ffmpeg itself takes at that time (the
// colours of the test pattern turn with time, so the first frame would not pass for it).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "engines/conversion/picture_grab.h"
#include "tests/support/media_fixtures.h"

namespace {

struct Kind {
    const char* ext;
    const char* codecs;
};

class PictureGrab : public ::testing::TestWithParam<Kind> {};

TEST_P(PictureGrab, TheFrameATenthInIsTheOneFfmpegTakesThere) {
    kjtest::TempDir dir;
    std::string file = dir.File(std::string("clip.") + GetParam().ext);
    ASSERT_TRUE(
        kjtest::MakeWithFfmpeg(std::string("-f lavfi -i testsrc=size=320x240:rate=25,hue=H=2*PI*t "
                                           "-f lavfi -i sine -t 4 ") +
                                   GetParam().codecs,
                               file));
    GrabbedPicture picture;
    std::string error;
    ASSERT_TRUE(GrabPicture(file, 0.1, 96, 96, picture, &error)) << error;
    EXPECT_EQ(picture.width, 96);
    EXPECT_EQ(picture.height, 72);  // 4:3 kept in a square box
    ASSERT_EQ(picture.pixels.size(), 96u * 72u * 4u);

    // ffmpeg's own frame at the same time, at the same size and in the same layout.
    std::string reference = dir.File("reference.bgra");
    ASSERT_TRUE(kjtest::MakeWithFfmpeg("-ss 0.4 -i " + kjtest::ShellQuote(file) +
                                           " -frames:v 1 -s 96x72 -pix_fmt bgra -f rawvideo",
                                       reference));
    std::vector<uint8_t> theirs = kjtest::ReadFileBytes(reference);
    ASSERT_EQ(theirs.size(), picture.pixels.size());
    double difference = 0;
    for (size_t i = 0; i < theirs.size(); i += 4) {
        for (size_t channel = 0; channel < 3; ++channel) {
            difference += std::abs(int(theirs[i + channel]) - int(picture.pixels[i + channel]));
        }
    }
    difference /= static_cast<double>(theirs.size() / 4 * 3);
    // A frame next to it differs by about 25 (the colours turn 14 degrees a frame); the first
    // frame of the file by over 100.
    EXPECT_LT(difference, 45.0) << "mean difference per channel";
}

INSTANTIATE_TEST_SUITE_P(Kinds, PictureGrab,
                         ::testing::Values(Kind{"wmv", "-c:v wmv2 -c:a wmav2"},
                                           Kind{"rm", "-c:v rv20 -c:a ac3"},
                                           Kind{"avi", "-c:v mpeg4 -c:a libmp3lame"},
                                           Kind{"mpg", "-c:v mpeg1video -c:a mp2 -f mpeg"}),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                             return std::string(info.param.ext);
                         });

TEST(PictureGrabWithoutAPicture, SoundAloneOrNoMediaGivesNone) {
    kjtest::TempDir dir;
    std::string sound = dir.File("sound.wma");
    ASSERT_TRUE(kjtest::MakeWithFfmpeg("-f lavfi -i sine -t 1 -c:a wmav2", sound));
    GrabbedPicture picture;
    std::string error;
    EXPECT_FALSE(GrabPicture(sound, 0.1, 96, 96, picture, &error));
    EXPECT_FALSE(error.empty());
    std::string text = dir.File("notes.txt");
    ASSERT_TRUE(kjtest::WriteFileBytes(text, {'h', 'i'}));
    EXPECT_FALSE(GrabPicture(text, 0.1, 96, 96, picture, &error));
    EXPECT_FALSE(GrabPicture(sound, 0.1, 0, 96, picture, &error));  // no room for one
}

}  // namespace
