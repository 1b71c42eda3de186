// The names people know codecs by: every spelling a file or library gives one codec reads the
// same, in the table and in the information line.
#include <gtest/gtest.h>

#include "probe/codec_names.h"
#include "probe/media_file_info.h"

namespace {

struct Spellings {
    const char* shown;
    std::vector<const char*> spellings;
};

class CodecNames : public ::testing::TestWithParam<Spellings> {};

TEST_P(CodecNames, EverySpellingOfACodecReadsTheSame) {
    for (const char* spelling : GetParam().spellings) {
        EXPECT_EQ(CodecDisplayName(spelling), GetParam().shown) << spelling;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CodecNames,
                         ::testing::Values(Spellings{"MPEG-1 video", {"mpeg1video", "MPG1"}},
                                           Spellings{"MPEG audio layer 2", {"mp2", "MP2"}},
                                           Spellings{"MPEG audio layer 3", {"mp3", "MPEG Layer-3"}},
                                           Spellings{"Cinepak", {"cvid", "CVID", "cinepak"}},
                                           Spellings{"Windows Media Video 9", {"WMV3", "wmv3"}},
                                           Spellings{"Windows Media Video 8", {"WMV2"}},
                                           Spellings{"Microsoft MPEG-4 V3",
                                                     {"DIV3", "MP43", "msmpeg4"}},
                                           Spellings{"RealVideo 4", {"RV40"}},
                                           Spellings{"Dolby AC-3", {"ac3", "dnet"}}));

TEST(CodecNamesOutsideTheTable, AreShownAsTheyAre) {
    EXPECT_EQ(CodecDisplayName("Windows Media Audio V8"), "Windows Media Audio V8");
    EXPECT_EQ(CodecDisplayName("ZZ99"), "ZZ99");
    EXPECT_EQ(CodecDisplayName(""), "");
}

TEST(CodecNamesInTheInfoLine, AreThePeoplesNames) {
    MediaFileInfo info;
    info.m_strVideoCodec = "cvid";
    info.m_nWidth = 320;
    info.m_nHeight = 240;
    info.m_fFrameRate = 15;
    info.m_nFrameCount = 150;
    info.m_bHasAudio = 1;
    info.m_strAudioCodec = "mp2";
    info.m_fAudioRate = 224000;
    EXPECT_EQ(info.FormatInfoLine(),
              "Video:Cinepak Frame:150 Freq:15.00FPS Audio:MPEG audio layer 2 "
              "Bitrate:224000.000000bps");
}

}  // namespace
