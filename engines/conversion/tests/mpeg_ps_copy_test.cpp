// Copy joins of MPEG program streams through the module's pack copier, judged by ffprobe, a
// full ffmpeg decode and GStreamer: every pack and stream kept, seams within a frame, the system
// clock rising throughout, Video CD files read through their sectors, inputs cut short.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "engines/conversion/mpeg_ps_copier.h"
#include "engines/conversion/mpeg_ps_facts.h"
#include "engines/conversion/tests/join_judge.h"
#include "engines/conversion/tests/mcl_module.h"
#include "engines/conversion/tests/mpeg_ps_bytes.h"
#include "tests/support/cdxa_fixture.h"
#include "tests/support/media_fixtures.h"
#include "tests/support/output_judge.h"
#include "tests/support/seam_judge.h"

namespace {

using kjtest::TempDir;

constexpr double kFrame = 0.04;  // 25 fps

std::string Clip(const TempDir& dir, const std::string& name, const std::string& pattern, int hz,
                 double seconds, const std::string& target, const std::string& size) {
    std::string path = dir.File(name);
    std::ostringstream args;
    args << "-f lavfi -i " << pattern << "=size=" << size
         << ":rate=25 -f lavfi -i sine=frequency=" << hz
         << ":sample_rate=" << (target.find("dvd") != std::string::npos ? 48000 : 44100) << " -t "
         << seconds << " -target " << target;
    std::string error;
    EXPECT_TRUE(kjtest::MakeWithFfmpeg(args.str(), path, &error)) << error;
    return path;
}

std::vector<double> VideoTimes(const std::string& path) {
    std::istringstream lines(kjtest::Ffprobe(path, "packet=pts_time", "v:0"));
    std::vector<double> times;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line != "N/A") {
            times.push_back(std::stod(line));
        }
    }
    std::sort(times.begin(), times.end());
    return times;
}

// Every SCR of the stream in order, read from its pack headers.
std::vector<int64_t> Scrs(const std::vector<uint8_t>& bytes) {
    std::vector<int64_t> scrs;
    for (const kjtest::WalkedUnit& u : kjtest::WalkUnits(bytes)) {
        if (u.unit.kind == PsUnitKind::kPack) {
            const uint8_t* f = bytes.data() + u.at + mpegps::kScrOffset;
            scrs.push_back(u.unit.mpeg2 ? ReadScrBase(f) : ReadTimestamp(f));
        }
    }
    return scrs;
}

int CountUnits(const std::vector<uint8_t>& bytes, uint8_t code, int subId = -1) {
    int n = 0;
    for (const kjtest::WalkedUnit& u : kjtest::WalkUnits(bytes)) {
        if (u.unit.kind == PsUnitKind::kPes && u.unit.code == code &&
            (subId < 0 || bytes[u.at + u.unit.payloadOffset] == subId)) {
            ++n;
        }
    }
    return n;
}

class MpegCopyJoin : public testing::Test {
protected:
    void SetUp() override {
        if (!kjtest::HaveProgram("ffmpeg") || !kjtest::HaveProgram("ffprobe")) {
            GTEST_SKIP() << "ffmpeg and ffprobe are needed";
        }
        ASSERT_TRUE(m_module.Loaded()) << "libzivuvore.so is missing";
    }

    kjtest::ConvertRun Join(const std::vector<std::string>& inputs, const std::string& out,
                            bool mpeg2 = false) {
        kjtest::ConvertOutput settings;
        settings.codec = mpeg2 ? 2 : 1;
        settings.enableMpeg2 = mpeg2;
        settings.videoKbps = mpeg2 ? 6000 : 1150;
        settings.width = mpeg2 ? 720 : 352;
        settings.height = mpeg2 ? 576 : 288;
        return kjtest::Convert(m_module, inputs, out, settings);
    }

    // Packets per stream, pictures at the seams within a frame of each other, the clock
    // rising, a clean decode and GStreamer playback.
    void ExpectWholeAndClean(const std::vector<std::string>& inputs, const std::string& out) {
        int64_t video = 0;
        int64_t audio = 0;
        size_t timed = 0;
        for (const std::string& in : inputs) {
            video += kjtest::CountPackets(in, "v:0");
            audio += kjtest::CountPackets(in, "a:0");
            timed += VideoTimes(in).size();
        }
        EXPECT_EQ(kjtest::CountPackets(out, "v:0"), video);
        EXPECT_EQ(kjtest::CountPackets(out, "a:0"), audio);
        // (ffprobe leaves the time of a picture at an input's end open now and then.)
        std::vector<double> times = VideoTimes(out);
        ASSERT_NEAR(static_cast<double>(times.size()), static_cast<double>(timed),
                    static_cast<double>(inputs.size()));
        for (size_t i = 1; i < times.size(); ++i) {
            EXPECT_NEAR(times[i] - times[i - 1], kFrame, kFrame / 2) << "picture " << i;
        }
        std::vector<int64_t> scrs = Scrs(kjtest::ReadFileBytes(out));
        ASSERT_FALSE(scrs.empty());
        for (size_t i = 1; i < scrs.size(); ++i) {
            ASSERT_GT(scrs[i], scrs[i - 1]) << "pack " << i;
        }
        EXPECT_EQ(kjtest::DecodeErrors(out), "");
        EXPECT_EQ(kjtest::GstPlaybackFailure(out), "");
    }

    kjtest::MclModule m_module;
};

TEST_F(MpegCopyJoin, TwoAndThreeVideoCdFilesJoinPackByPack) {
    TempDir dir;
    std::string a = Clip(dir, "a.mpg", "testsrc2", 440, 2.0, "pal-vcd", "352x288");
    std::string b = Clip(dir, "b.mpg", "testsrc", 880, 1.6, "pal-vcd", "352x288");
    std::string ab = dir.File("ab.mpg");
    kjtest::ConvertRun run = Join({a, b}, ab);
    ASSERT_EQ(run.result, 0) << run.errorText;
    ExpectWholeAndClean({a, b}, ab);
    // Input 1 comes through unchanged (ffmpeg's Video CD files have no end code), input 2
    // takes as many bytes.
    std::vector<uint8_t> first = kjtest::ReadFileBytes(a);
    std::vector<uint8_t> out = kjtest::ReadFileBytes(ab);
    ASSERT_GT(out.size(), first.size());
    EXPECT_TRUE(std::equal(first.begin(), first.end(), out.begin()));
    EXPECT_EQ(out.size(), first.size() + kjtest::ReadFileBytes(b).size());
    // Where each input starts in the output and how long it lasts there.
    ASSERT_EQ(run.inputs.size(), 2u);
    EXPECT_NEAR(run.inputs[0].start, 0.0, 1e-6);
    EXPECT_NEAR(run.inputs[0].duration, 2.0, kFrame);
    EXPECT_NEAR(run.inputs[1].start, 2.0, kFrame);
    EXPECT_NEAR(run.inputs[1].duration, 1.6, kFrame);
    EXPECT_EQ(run.inputs[1].warning, "");
    EXPECT_EQ(run.progress.back().frame, 90);

    std::string aba = dir.File("aba.mpg");
    run = Join({a, b, a}, aba);
    ASSERT_EQ(run.result, 0) << run.errorText;
    ExpectWholeAndClean({a, b, a}, aba);
    ASSERT_EQ(run.inputs.size(), 3u);
    EXPECT_NEAR(run.inputs[2].start, 3.6, kFrame);
}

TEST_F(MpegCopyJoin, DvdHalvesWithAnOpenGopAtTheSeamKeepNavigationPacksAndSubpictures) {
    TempDir dir;
    std::string whole = Clip(dir, "whole.mpg", "testsrc2", 440, 6.0, "pal-dvd", "720x576");
    ASSERT_EQ(kjtest::DecodeErrors(whole), "");
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(whole);
    // Cut at the navigation pack nearest the middle, as a DVD title's files are cut: the second
    // half opens with a GOP whose first B pictures refer to the first half.
    std::vector<size_t> navPacks;
    for (const kjtest::WalkedUnit& u : kjtest::WalkUnits(bytes)) {
        if (u.unit.kind == PsUnitKind::kPack && u.at + 14 + 4 <= bytes.size()) {
            size_t next = u.at + u.unit.size;
            PsUnit after = ReadPsUnit(ByteReader(bytes.data() + next, bytes.size() - next));
            if (after.kind == PsUnitKind::kSystemHeader || after.code == mpegps::kPrivateStream2) {
                navPacks.push_back(u.at);
            }
        }
    }
    ASSERT_GE(navPacks.size(), 4u);
    size_t cut = navPacks[navPacks.size() / 2];
    // A pack of subpictures in each half (subpicture stream 0x20), timed at its own start.
    std::vector<uint8_t> first(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(cut));
    std::vector<uint8_t> second(bytes.begin() + static_cast<ptrdiff_t>(cut), bytes.end());
    std::vector<int64_t> scrs = Scrs(second);
    std::vector<uint8_t> sub1 = kjtest::SubpicturePack(Scrs(first)[3] + 1, 90000);
    std::vector<uint8_t> sub2 = kjtest::SubpicturePack(scrs[3] + 1, 90000 * 4);
    first.insert(first.begin() + 4 * 2048, sub1.begin(), sub1.end());
    second.insert(second.begin() + 4 * 2048, sub2.begin(), sub2.end());
    std::string a = dir.File("VTS_01_1.VOB");
    std::string b = dir.File("VTS_01_2.VOB");
    ASSERT_TRUE(kjtest::WriteFileBytes(a, first));
    ASSERT_TRUE(kjtest::WriteFileBytes(b, second));

    // ffprobe counts the pictures of a file cut in two one way or the other at the cut: the
    // halves together are the measure.
    std::string title = dir.File("title.mpg");
    std::vector<uint8_t> both = first;
    both.insert(both.end(), second.begin(), second.end());
    ASSERT_TRUE(kjtest::WriteFileBytes(title, both));
    std::string out = dir.File("title.vob");
    kjtest::ConvertRun run = Join({a, b}, out, true);
    ASSERT_EQ(run.result, 0) << run.errorText;
    ExpectWholeAndClean({title}, out);
    std::vector<uint8_t> joined = kjtest::ReadFileBytes(out);
    // Navigation packs counted from the bytes: every one of both inputs.
    EXPECT_EQ(
        CountUnits(joined, mpegps::kPrivateStream2),
        CountUnits(first, mpegps::kPrivateStream2) + CountUnits(second, mpegps::kPrivateStream2));
    EXPECT_EQ(CountUnits(joined, mpegps::kPrivateStream1, 0x20), 2);
    EXPECT_EQ(kjtest::CountPackets(out, "s:0"), 2);
    // The halves of one title: the second goes on from the first on the same clock, so the
    // join is the title itself, its open GOP at the seam untouched (its B pictures' references
    // are right there before it).
    EXPECT_EQ(joined, both);
    ASSERT_EQ(run.inputs.size(), 2u);
    EXPECT_NEAR(run.inputs[0].duration + run.inputs[1].duration, 6.0, kFrame);

    // The second half twice: the seam leads into an open GOP whose B pictures refer to pictures
    // of another place (so it is marked broken off), and into audio that opens with the end of
    // a frame cut in two (which is left out), all in packs of their own size.
    std::string twice = dir.File("twice.vob");
    run = Join({b, b}, twice, true);
    ASSERT_EQ(run.result, 0) << run.errorText;
    // The half on its own opens with that cut frame, which the decoder finds invalid; the join
    // adds no second one at the seam.
    auto invalid = [](const std::string& path) {
        std::string text = kjtest::DecodeErrors(path);
        int n = 0;
        for (size_t at = text.find("Invalid data"); at != std::string::npos;
             at = text.find("Invalid data", at + 1)) {
            ++n;
        }
        return n;
    };
    EXPECT_EQ(invalid(twice), invalid(b));
    // The AC-3 of the copy at the seam starts with a whole frame, its first access unit right
    // after the packet's pointer; the half itself starts inside one.
    auto firstAc3 = [](const std::vector<uint8_t>& bytes, size_t from) -> const uint8_t* {
        for (const kjtest::WalkedUnit& u : kjtest::WalkUnits(bytes)) {
            if (u.at >= from && u.unit.code == mpegps::kPrivateStream1 &&
                bytes[u.at + u.unit.payloadOffset] == mpegps::kFirstAc3) {
                return bytes.data() + u.at + u.unit.payloadOffset;
            }
        }
        return nullptr;
    };
    std::vector<uint8_t> out2 = kjtest::ReadFileBytes(twice);
    ASSERT_EQ(out2.size(), 2 * second.size());
    EXPECT_TRUE(std::equal(second.begin(), second.end(), out2.begin()));
    const uint8_t gop[] = {0, 0, 1, mpegps::kGopStart};
    auto seam =
        std::search(out2.begin() + static_cast<ptrdiff_t>(second.size()), out2.end(), gop, gop + 4);
    ASSERT_NE(seam, out2.end());
    EXPECT_EQ(seam[7] & mpegps::kGopBrokenLinkBit, mpegps::kGopBrokenLinkBit);
    EXPECT_EQ(CountUnits(out2, mpegps::kPrivateStream2),
              2 * CountUnits(second, mpegps::kPrivateStream2));
    const uint8_t* own = firstAc3(second, 0);
    const uint8_t* atSeam = firstAc3(out2, second.size());
    ASSERT_NE(own, nullptr);
    ASSERT_NE(atSeam, nullptr);
    EXPECT_GT((own[2] << 8) | own[3], 1);
    EXPECT_EQ((atSeam[2] << 8) | atSeam[3], 1);
    EXPECT_EQ(atSeam[4], 0x0B);
    EXPECT_EQ(atSeam[5], 0x77);
    std::vector<int64_t> packs = Scrs(out2);
    for (size_t i = 1; i < packs.size(); ++i) {
        ASSERT_GT(packs[i], packs[i - 1]) << "pack " << i;
    }
}

// A stream built byte by byte whose first GOP is open (its first pictures after the I picture
// would lean on pictures before it): joined after itself, the copy at the seam is marked broken
// off, the first is left as it is, and the clocks of the second move by the first's length.
TEST(MpegPackCopier, AnOpenGopAtASeamOfItsOwnClockGetsItsBrokenLinkSet) {
    TempDir dir;
    std::vector<uint8_t> stream;
    auto add = [&](const std::vector<uint8_t>& bytes) {
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    };
    const std::vector<uint8_t> sequence = {0,    0,    1,    0xB3, 0x16, 0x01,
                                           0x20, 0x13, 0xFF, 0xFF, 0xE0, 0x18};
    const std::vector<uint8_t> openGop = {0, 0, 1, 0xB8, 0x00, 0x08, 0x00, 0x00};
    auto picture = [](int type) {
        return std::vector<uint8_t>{
            0, 0, 1, 0x00, 0x00, static_cast<uint8_t>(type << 3), 0, 0, 1, 0x01, 0x12, 0x34, 0x56};
    };
    std::vector<uint8_t> first = sequence;
    first.insert(first.end(), openGop.begin(), openGop.end());
    std::vector<uint8_t> intra = picture(1);
    first.insert(first.end(), intra.begin(), intra.end());
    for (int i = 0; i < 3; ++i) {
        add(kjtest::Mpeg2PackHeader(1000 + 100 * i));
        add(kjtest::Mpeg2Pes(0xE0, -1, 90000 + 3600 * i, i == 0 ? first : picture(2)));
    }
    std::string path = dir.File("open.mpg");
    ASSERT_TRUE(kjtest::WriteFileBytes(path, stream));
    PsCopyInput input;
    input.path = path;
    std::string error;
    ASSERT_EQ(ScanProgramStream(path, &input.scan, nullptr, &error), 0) << error;
    EXPECT_EQ(input.scan.scan.frameCount, 3);
    EXPECT_EQ(input.scan.scan.width, 352);
    EXPECT_EQ(input.scan.scan.height, 288);
    EXPECT_EQ(input.scan.videoStart, 90000);
    EXPECT_EQ(input.scan.videoEnd, 90000 + 3 * 3600);
    std::vector<PsCopiedInput> copied;
    std::string out = dir.File("out.mpg");
    ASSERT_EQ(CopyProgramStreams({input, input}, out, nullptr, &copied, &error), 0) << error;
    std::vector<uint8_t> joined = kjtest::ReadFileBytes(out);
    ASSERT_EQ(joined.size(), 2 * stream.size());
    EXPECT_TRUE(std::equal(stream.begin(), stream.end(), joined.begin()));
    const uint8_t gop[] = {0, 0, 1, mpegps::kGopStart};
    auto seam = std::search(joined.begin() + static_cast<ptrdiff_t>(stream.size()), joined.end(),
                            gop, gop + 4);
    ASSERT_NE(seam, joined.end());
    EXPECT_EQ(seam[7], mpegps::kGopBrokenLinkBit);
    ASSERT_EQ(copied.size(), 2u);
    EXPECT_EQ(copied[1].shift, 3 * 3600);
    EXPECT_NEAR(copied[1].startSeconds, 0.12, 1e-9);
    std::vector<int64_t> scrs = Scrs(joined);
    ASSERT_EQ(scrs.size(), 6u);
    for (size_t i = 1; i < scrs.size(); ++i) {
        EXPECT_GT(scrs[i], scrs[i - 1]);
    }
}

TEST_F(MpegCopyJoin, DvdFilesOfTheirOwnClockAreShiftedSubpicturesAndNavigationToo) {
    TempDir dir;
    std::string a = Clip(dir, "a.vob", "testsrc2", 440, 2.0, "pal-dvd", "720x576");
    std::string b = Clip(dir, "b.vob", "testsrc", 660, 1.6, "pal-dvd", "720x576");
    std::vector<uint8_t> second = kjtest::ReadFileBytes(b);
    std::vector<uint8_t> sub = kjtest::SubpicturePack(Scrs(second)[2] + 1, 54000);
    second.insert(second.begin() + 3 * 2048, sub.begin(), sub.end());
    ASSERT_TRUE(kjtest::WriteFileBytes(b, second));
    std::string out = dir.File("ab.vob");
    kjtest::ConvertRun run = Join({a, b}, out, true);
    ASSERT_EQ(run.result, 0) << run.errorText;
    ExpectWholeAndClean({a, b}, out);
    std::vector<uint8_t> joined = kjtest::ReadFileBytes(out);
    // The subpicture moved with its input: 0.6 s into it.
    int64_t subPts = -1;
    for (const kjtest::WalkedUnit& u : kjtest::WalkUnits(joined)) {
        if (u.unit.code == mpegps::kPrivateStream1 && joined[u.at + u.unit.payloadOffset] == 0x20) {
            subPts = ReadTimestamp(joined.data() + u.at + u.unit.ptsOffset);
        }
    }
    ASSERT_EQ(run.inputs.size(), 2u);
    std::vector<double> firstTimes = VideoTimes(b);
    double shift = run.inputs[1].start + VideoTimes(a).front() - firstTimes.front();
    EXPECT_NEAR(subPts / 90000.0, 0.6 + shift, 1e-3);
    EXPECT_EQ(CountUnits(joined, mpegps::kPrivateStream2),
              CountUnits(kjtest::ReadFileBytes(a), mpegps::kPrivateStream2) +
                  CountUnits(second, mpegps::kPrivateStream2));
}

TEST_F(MpegCopyJoin, TwoVideoCdDatFilesGiveTheirPayloadAsOrdinaryMpeg) {
    TempDir dir;
    std::string a = Clip(dir, "a.mpg", "testsrc2", 440, 2.0, "pal-vcd", "352x288");
    std::string b = Clip(dir, "b.mpg", "testsrc", 880, 1.6, "pal-vcd", "352x288");
    std::vector<uint8_t> pa = kjtest::ReadFileBytes(a);
    std::vector<uint8_t> pb = kjtest::ReadFileBytes(b);
    // The second disc's track opens with the 30 empty sectors of the front margin.
    std::vector<uint8_t> margin(30 * kjtest::kForm2Bytes, 0);
    std::vector<uint8_t> withMargin = margin;
    withMargin.insert(withMargin.end(), pb.begin(), pb.end());
    std::string da = dir.File("AVSEQ01.DAT");
    std::string db = dir.File("AVSEQ02.DAT");
    ASSERT_TRUE(kjtest::WriteFileBytes(da, kjtest::WrapInCdxa(pa)));
    ASSERT_TRUE(kjtest::WriteFileBytes(db, kjtest::WrapInCdxa(withMargin)));

    std::string out = dir.File("disc.mpg");
    kjtest::ConvertRun run = Join({da, db}, out);
    ASSERT_EQ(run.result, 0) << run.errorText;
    ExpectWholeAndClean({a, b}, out);
    // The payload bytes, but for the clock fields of the second input.
    std::vector<uint8_t> joined = kjtest::ReadFileBytes(out);
    ASSERT_EQ(joined.size(), pa.size() + pb.size());
    EXPECT_TRUE(std::equal(pa.begin(), pa.end(), joined.begin()));
    std::vector<kjtest::WalkedUnit> units = kjtest::WalkUnits(pb);
    size_t base = pa.size();
    size_t unit = 0;
    for (size_t i = 0; i < pb.size(); ++i) {
        if (joined[base + i] == pb[i]) {
            continue;
        }
        while (unit + 1 < units.size() && units[unit + 1].at <= i) {
            ++unit;
        }
        // A clock field: in a pack header, or in a PES header before its data.
        const kjtest::WalkedUnit& u = units[unit];
        size_t limit = u.unit.kind == PsUnitKind::kPack ? u.unit.size : u.unit.payloadOffset;
        ASSERT_LT(i - u.at, limit) << "byte " << i << " of the second input changed";
    }
}

TEST_F(MpegCopyJoin, AVideoCdFileWithAFrontMarginIsScannedAndJoined) {
    TempDir dir;
    std::string a = Clip(dir, "a.mpg", "testsrc2", 440, 2.0, "pal-vcd", "352x288");
    std::vector<uint8_t> stream(30 * kjtest::kForm2Bytes, 0);
    std::vector<uint8_t> pa = kjtest::ReadFileBytes(a);
    stream.insert(stream.end(), pa.begin(), pa.end());
    std::string dat = dir.File("AVSEQ01.DAT");
    ASSERT_TRUE(kjtest::WriteFileBytes(dat, kjtest::WrapInCdxa(stream)));
    ASSERT_NE(m_module.api.MclGetFileInfo, nullptr);
    std::vector<uint8_t> record(kMclFileInfoBytes);
    ASSERT_EQ(m_module.api.MclGetFileInfo(dat.c_str(), 1, record.data(), nullptr, nullptr), 0);
    std::vector<uint8_t> plain(kMclFileInfoBytes);
    ASSERT_EQ(m_module.api.MclGetFileInfo(a.c_str(), 1, plain.data(), nullptr, nullptr), 0);
    // Frames and duration (540-551), rate and size (560-575): as for the stream without its
    // wrapper.
    EXPECT_TRUE(std::equal(record.begin() + 540, record.begin() + 552, plain.begin() + 540));
    EXPECT_TRUE(std::equal(record.begin() + 560, record.begin() + 576, plain.begin() + 560));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.data()) + 264), "MPEG-1 (VCD)");
    std::string out = dir.File("twice.mpg");
    kjtest::ConvertRun run = Join({dat, dat}, out);
    ASSERT_EQ(run.result, 0) << run.errorText;
    ExpectWholeAndClean({a, a}, out);
}

// The first pack boundary at or before `near` that lies inside a picture: cut there, the file
// decodes with a damaged last picture. 0 when none of the few tried does.
size_t PackEndInsideAPicture(const TempDir& dir, const std::vector<uint8_t>& bytes, size_t near) {
    std::vector<size_t> packs;
    for (const kjtest::WalkedUnit& u : kjtest::WalkUnits(bytes)) {
        if (u.unit.kind == PsUnitKind::kPack && u.at <= near) {
            packs.push_back(u.at);
        }
    }
    std::string probe = dir.File("pack_cut_probe.mpg");
    for (size_t tried = 0; tried < 8 && tried < packs.size(); ++tried) {
        size_t at = packs[packs.size() - 1 - tried];
        if (kjtest::WriteFileBytes(
                probe,
                std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(at))) &&
            kjtest::DecodeErrors(probe) != "") {
            return at;
        }
    }
    return 0;
}

// Cut inside a packet (the download that stopped), or at the end of a pack inside an MPEG-2
// picture (every pack whole, the last picture not). Last in the list, the input keeps every
// whole picture; first, its pictures end with its sound (which the cut leaves shorter, the
// pictures being sent ahead of their time), so that the seam has neither a gap in the sound nor
// a picture without it, and the readers play on in time.
TEST_F(MpegCopyJoin, AnInputCutShortEndsAtItsLastWholePictureAndSaysSo) {
    for (bool packEnd : {false, true}) {
        SCOPED_TRACE(packEnd ? "DVD cut at a pack's end" : "Video CD cut inside a packet");
        TempDir dir;
        const char* target = packEnd ? "pal-dvd" : "pal-vcd";
        const char* size = packEnd ? "720x576" : "352x288";
        std::string a = Clip(dir, "a.mpg", "testsrc2", 440, 4.0, target, size);
        std::string b = Clip(dir, "b.mpg", "testsrc", 880, 1.6, target, size);
        const std::vector<uint8_t> whole = kjtest::ReadFileBytes(a);
        size_t cutAt = whole.size() * 7 / 10;
        if (packEnd) {
            cutAt = PackEndInsideAPicture(dir, whole, cutAt);
            ASSERT_NE(cutAt, 0u);
        }
        std::vector<uint8_t> bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cutAt));
        std::string cut = dir.File("cut.mpg");
        ASSERT_TRUE(kjtest::WriteFileBytes(cut, bytes));
        ASSERT_NE(kjtest::DecodeErrors(cut), "");  // the input itself decodes with errors
        for (bool cutFirst : {true, false}) {
            std::string out = dir.File(cutFirst ? "cut_b.mpg" : "b_cut.mpg");
            kjtest::ConvertRun run =
                Join(cutFirst ? std::vector<std::string>{cut, b} : std::vector<std::string>{b, cut},
                     out, packEnd);
            ASSERT_EQ(run.result, 0) << run.errorText;
            EXPECT_EQ(kjtest::DecodeErrors(out), "");
            ASSERT_EQ(run.inputs.size(), 2u);
            const kjtest::InputSeen& seen = run.inputs[cutFirst ? 0 : 1];
            const int64_t whole = kjtest::CountPackets(cut, "v:0") - 1;
            const int64_t kept = std::llround(seen.duration / kFrame);
            EXPECT_EQ(kjtest::CountPackets(out, "v:0"), kept + kjtest::CountPackets(b, "v:0"));
            if (cutFirst) {
                EXPECT_LE(kept, whole);
                EXPECT_GE(kept, whole - 25);  // within a second of its last whole picture
                kjtest::SeamJudgement j = kjtest::JudgeCopyJoin({{cut, true}, {b}}, out);
                EXPECT_EQ(j.decodeAdded, "");
                EXPECT_EQ(j.seams, "");
                EXPECT_EQ(j.mpvAdded, "");
                EXPECT_EQ(j.gstFailure, "");
            } else {
                EXPECT_EQ(kept, whole);
            }
            char seconds[16];
            std::snprintf(seconds, sizeof seconds, "%.1f", seen.duration);
            EXPECT_EQ(seen.warning, std::string("cut.mpg is cut short: its first ") + seconds +
                                        " s were joined.");
            EXPECT_EQ(run.inputs[cutFirst ? 1 : 0].warning, "");
            std::vector<double> times = VideoTimes(out);
            for (size_t i = 1; i < times.size(); ++i) {
                EXPECT_NEAR(times[i] - times[i - 1], kFrame, kFrame / 2) << "picture " << i;
            }
        }
    }
}

// A title's files are split at any sector, often inside a picture, which the next file ends:
// the join puts the title together again byte for byte, and tells of no cut.
TEST_F(MpegCopyJoin, AFileSplitInsideAPictureIsWholeWithTheFileThatGoesOn) {
    TempDir dir;
    std::string whole = Clip(dir, "whole.mpg", "testsrc2", 440, 4.0, "pal-dvd", "720x576");
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(whole);
    const size_t split = PackEndInsideAPicture(dir, bytes, bytes.size() / 2);
    ASSERT_NE(split, 0u);
    std::string a = dir.File("VTS_01_1.VOB");
    std::string b = dir.File("VTS_01_2.VOB");
    ASSERT_TRUE(kjtest::WriteFileBytes(
        a, std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(split))));
    ASSERT_TRUE(kjtest::WriteFileBytes(
        b, std::vector<uint8_t>(bytes.begin() + static_cast<ptrdiff_t>(split), bytes.end())));
    std::string out = dir.File("title.vob");
    kjtest::ConvertRun run = Join({a, b}, out, true);
    ASSERT_EQ(run.result, 0) << run.errorText;
    EXPECT_EQ(kjtest::ReadFileBytes(out), bytes);
    ASSERT_EQ(run.inputs.size(), 2u);
    EXPECT_EQ(run.inputs[0].warning, "");
    EXPECT_EQ(run.inputs[1].warning, "");
    EXPECT_NEAR(run.inputs[1].start, run.inputs[0].duration, kFrame);
}

TEST_F(MpegCopyJoin, AStoppedJoinLeavesWhatWasAtTheOutput) {
    TempDir dir;
    std::string a = Clip(dir, "a.mpg", "testsrc2", 440, 3.0, "pal-vcd", "352x288");
    std::string out = dir.File("out.mpg");
    ASSERT_TRUE(kjtest::WriteFileBytes(out, {'o', 'l', 'd'}));
    kjtest::ConvertOutput settings;
    settings.onProgress = [this](MclHandle conversion, const kjtest::ProgressCall& call) {
        if (call.status == 3) {
            m_module.api.MclAbort(conversion);
        }
    };
    kjtest::ConvertRun run = kjtest::Convert(m_module, {a, a, a}, out, settings);
    EXPECT_NE(run.result, 0);
    EXPECT_EQ(kjtest::ReadFileBytes(out), (std::vector<uint8_t>{'o', 'l', 'd'}));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 2);  // the input and the old output, no part file
}

TEST_F(MpegCopyJoin, InputsThatDifferGoThroughTheEncoder) {
    TempDir dir;
    std::string a = Clip(dir, "a.mpg", "testsrc2", 440, 1.0, "pal-vcd", "352x288");
    std::string c = dir.File("c.mpg");
    ASSERT_TRUE(
        kjtest::MakeWithFfmpeg("-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i "
                               "sine=sample_rate=44100 -t 1 -target pal-vcd -s 320x240",
                               c));
    std::string out = dir.File("ac.mpg");
    kjtest::ConvertRun run = Join({a, c}, out);
    ASSERT_EQ(run.result, 0) << run.errorText;
    // Encoded: the second input's pictures take the first's size, which a copy would not give.
    EXPECT_EQ(kjtest::StreamEntry(out, "v:0", "width"), "352");
    EXPECT_EQ(kjtest::CountPackets(out, "v:0"), 50);
    // The encoder tells where each input landed as the copier does.
    ASSERT_EQ(run.inputs.size(), 2u);
    EXPECT_NEAR(run.inputs[1].start, 1.0, 0.05);
}

// The driver's own program, run as a user runs it: a copy join never loads FFmpeg; a join
// that encodes does.
TEST_F(MpegCopyJoin, FfmpegIsLoadedOnlyWhenSomethingIsEncoded) {
    TempDir dir;
    std::string a = Clip(dir, "a.mpg", "testsrc2", 440, 1.0, "pal-vcd", "352x288");
    std::string c = dir.File("c.mpg");
    ASSERT_TRUE(
        kjtest::MakeWithFfmpeg("-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i "
                               "sine=sample_rate=44100 -t 1 -target pal-vcd -s 320x240",
                               c));
    std::string mcljoin = kjtest::ShellQuote(kjtest::BinDir() + "/mcljoin");
    auto loads = [&](const std::string& second, const std::string& out) {
        kjtest::CommandResult r = kjtest::RunCommand(
            "LD_DEBUG=files timeout 120 " + mcljoin + " 1 352 288 25 - " + kjtest::ShellQuote(out) +
            " " + kjtest::ShellQuote(a) + " " + kjtest::ShellQuote(second) + " 2>&1");
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return r.output.find("libavcodec.so") != std::string::npos;
    };
    EXPECT_FALSE(loads(a, dir.File("copy.mpg")));
    EXPECT_TRUE(loads(c, dir.File("encoded.mpg")));
    EXPECT_EQ(kjtest::DecodeErrors(dir.File("copy.mpg")), "");
}

}  // namespace
