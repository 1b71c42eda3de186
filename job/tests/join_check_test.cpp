// The field comparisons of a join list, on facts made in the test: which fields are compared,
// in what order, which differences refuse a join and which only make it encode again.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "job/join_check.h"
#include "kinds/check_facts.h"
#include "kinds/kinds.h"
#include "probe/codec_names.h"
#include "res/resource_ids.h"

namespace {

JoinCheckFacts Facts(const std::string& path, MediaKind kind) {
    InstallKinds();  // how a kind's differences count is in its row
    JoinCheckFacts f;
    f.path = path;
    f.kind = kind;
    f.width = 320;
    f.height = 240;
    f.streamCount = 2;
    f.hasVideo = true;
    f.hasAudio = true;
    f.videoCodec = "WMV2";
    f.rateNum = 25;
    f.rateDen = 1;
    f.audioCodec = "WMA2";
    f.sampleRate = 44100;
    f.channels = 2;
    return f;
}

JoinCheckFacts EveryFieldOther(JoinCheckFacts f) {
    f.streamCount = 3;
    f.videoCodec = "WMV1";
    f.width = 640;
    f.height = 480;
    f.rateNum = 30;
    f.audioCodec = "WMA1";
    f.sampleRate = 22050;
    f.channels = 1;
    return f;
}

std::vector<std::string> Fields(const CheckResult& result) {
    std::vector<std::string> fields;
    for (const CheckFinding& f : result.findings) {
        fields.push_back(f.field);
    }
    return fields;
}

TEST(JoinCheck, PacketCopiesAreRefusedForEveryDifferingFieldInOrder) {
    std::vector<JoinCheckFacts> files = {Facts("/v/a.wmv", kKindWmv),
                                         EveryFieldOther(Facts("/v/b.wmv", kKindWmv))};
    CheckResult result = CheckJoinFacts(files, 0);
    EXPECT_EQ(Fields(result),
              (std::vector<std::string>{"stream count", "video codec", "picture size", "frame rate",
                                        "audio codec", "sample rate", "channels"}));
    for (const CheckFinding& f : result.findings) {
        EXPECT_TRUE(f.refuses) << f.field;
        EXPECT_EQ(f.input, 1u);
    }
    EXPECT_EQ(result.outcome, JoinOutcome::kRefused);
    EXPECT_EQ(result.findings[2].Text(files),
              "b.wmv: picture size 640x480, the first file has 320x240");
    EXPECT_EQ(result.DescribeInput(1).substr(0, 43), "stream count 3, the first file has 2; video");
    EXPECT_EQ(result.OddInputs(), std::vector<size_t>{1});
    // Another kind is one finding: the rest of its fields are not compared.
    files[1].kind = kKindAvi;
    EXPECT_EQ(Fields(CheckJoinFacts(files, IDS_MIXED_KINDS)), std::vector<std::string>{"kind"});
}

TEST(JoinCheck, ConversionsEncodeWhatDiffersAndFollowTheModulesPlan) {
    std::vector<JoinCheckFacts> files = {Facts("a.avi", kKindAvi),
                                         EveryFieldOther(Facts("b.avi", kKindAvi))};
    CheckResult differing = CheckJoinFacts(files, 0);
    // A conversion takes one video and one audio stream: their count does not matter.
    EXPECT_EQ(differing.findings.size(), 6u);
    for (const CheckFinding& f : differing.findings) {
        EXPECT_FALSE(f.refuses) << f.field;
    }
    EXPECT_EQ(differing.outcome, JoinOutcome::kReencode);

    std::vector<JoinCheckFacts> same = {Facts("a.avi", kKindAvi), Facts("b.avi", kKindAvi)};
    EXPECT_EQ(CheckJoinFacts(same, 0, true, true).outcome, JoinOutcome::kLossless);
    // The module may encode what no compared field shows (the shape of the pixels, say).
    CheckResult planned = CheckJoinFacts(same, 0, false, true);
    EXPECT_EQ(planned.outcome, JoinOutcome::kReencode);
    EXPECT_NE(CheckSummary(planned, same).find("(video re-encoded, audio copied)"),
              std::string::npos);
    // A zero picture size refuses any kind, as the designed checks do.
    same[1].width = 0;
    CheckResult zero = CheckJoinFacts(same, IDS_ZERO_GEOMETRY);
    EXPECT_EQ(zero.outcome, JoinOutcome::kRefused);
    ASSERT_EQ(zero.findings.size(), 1u);
    EXPECT_EQ(zero.findings[0].value, "0x240");
    EXPECT_TRUE(zero.findings[0].refuses);
}

TEST(JoinCheck, FrameRatesAreComparedAsReducedFractions) {
    auto rate = [](int64_t num, int64_t den) {
        JoinCheckFacts f = Facts("x.wmv", kKindWmv);
        f.rateNum = num;
        f.rateDen = den;
        return f;
    };
    EXPECT_TRUE(CheckJoinFacts({rate(25, 1), rate(50, 2)}, 0).findings.empty());
    EXPECT_TRUE(CheckJoinFacts({rate(25 * 65536, 65536), rate(25, 1)}, 0).findings.empty());
    // Close as numbers, but not the same rate.
    CheckResult ntsc = CheckJoinFacts({rate(30000, 1001), rate(2997, 100)}, 0);
    ASSERT_EQ(ntsc.findings.size(), 1u);
    // Said as decimals, with as many as it takes to tell the two apart.
    EXPECT_EQ(ntsc.findings[0].value, "29.97000 fps");
    EXPECT_EQ(ntsc.findings[0].firstValue, "29.97003 fps");
    CheckResult common = CheckJoinFacts({rate(25, 1), rate(5000000, 333333)}, 0);
    ASSERT_EQ(common.findings.size(), 1u);
    EXPECT_EQ(common.findings[0].value, "15.00 fps");
    EXPECT_EQ(common.findings[0].firstValue, "25 fps");  // a whole rate needs no decimals
    CheckResult whole = CheckJoinFacts({rate(25, 1), rate(30, 1)}, 0);
    ASSERT_EQ(whole.findings.size(), 1u);
    EXPECT_EQ(whole.findings[0].Text({Facts("a.wmv", kKindWmv), Facts("b.wmv", kKindWmv)}),
              "b.wmv: frame rate 30 fps, the first file has 25 fps");
    // An unknown rate is not compared.
    EXPECT_TRUE(CheckJoinFacts({rate(25, 1), rate(0, 0)}, 0).findings.empty());
    // Rates a damaged header gives, whose cross products do not fit in 64 bits, are compared
    // without overflow (the sanitized run catches one).
    const int64_t huge = 37459429425217;
    EXPECT_TRUE(SameFrameRate(rate(10000000 * 3, 3), rate(10000000, 1)));
    EXPECT_FALSE(SameFrameRate(rate(huge, 7), rate(10000000, huge)));
    EXPECT_TRUE(SameFrameRate(rate(huge * 2, huge * 4), rate(1, 2)));
}

TEST(JoinCheck, AudioOnlyFilesHaveNoPictureToCompare) {
    JoinCheckFacts a = Facts("a.wma", kKindWmv);
    a.hasVideo = false;
    a.videoCodec.clear();
    a.width = a.height = 0;
    a.rateNum = a.rateDen = 0;
    a.streamCount = 1;
    JoinCheckFacts b = a;
    b.path = "b.wma";
    EXPECT_TRUE(CheckJoinFacts({a, b}, 0).findings.empty());
    // Against a video file the picture is what differs.
    std::vector<std::string> fields =
        Fields(CheckJoinFacts({Facts("v.wmv", kKindWmv), a}, IDS_ZERO_GEOMETRY));
    EXPECT_NE(std::find(fields.begin(), fields.end(), "picture size"), fields.end());
}

TEST(JoinCheck, JsonAndRefusalTexts) {
    std::vector<JoinCheckFacts> files = {Facts("/v/a \"1\".wmv", kKindWmv),
                                         Facts("/v/b\n.wmv", kKindWmv)};
    files[1].sampleRate = 22050;
    CheckResult result = CheckJoinFacts(files, 0);
    QJsonParseError error{};
    QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromStdString(CheckReportJson(result, files)), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << CheckReportJson(result, files);
    QJsonObject o = doc.object();
    EXPECT_EQ(o["files"].toArray()[0].toString(), QStringLiteral("/v/a \"1\".wmv"));
    EXPECT_EQ(o["files"].toArray()[1].toString(), QStringLiteral("/v/b\n.wmv"));
    EXPECT_EQ(o["outcome"].toString(), QStringLiteral("refused"));
    EXPECT_FALSE(o.contains("copy_video"));  // not asked of a packet copy
    EXPECT_EQ(o["differences"].toArray()[0].toObject()["value"].toString(),
              QStringLiteral("22050 Hz"));

    EXPECT_EQ(RefusalWithFindings("Designed text.\r\n", result, files),
              "Designed text.\r\nb\n.wmv: sample rate 22050 Hz, the first file has 44100 Hz\n"
              "b\n.wmv: its sound is " +
                  CodecDisplayName(files[1].audioCodec) +
                  ", which cannot be encoded here to match the first file: convert it to the "
                  "first file's format, or join it in a list of its own.");
    EXPECT_EQ(RefusalWithFindings("Designed.", CheckResult{}, files), "Designed.");
    EXPECT_EQ(CheckReport(CheckJoinFacts({files[0]}, IDS_TOO_FEW_FILES), {files[0]}),
              "A join needs at least two files.\n");
}

}  // namespace
