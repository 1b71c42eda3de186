// The WMVCore module through its exported factories, on files made by ffmpeg and judged by
// ffprobe, a full ffmpeg decode and GStreamer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <cwchar>
#include <random>
#include <set>
#include <sstream>

#include "engines/asf/tests/asf_bytes.h"
#include "engines/asf/tests/module_fixture.h"
#include "engines/asf/wm_read_damage.h"
#include "tests/support/output_judge.h"

using namespace asftest;
using kjtest::CountPackets;
using kjtest::Ffprobe;
using kjtest::TempDir;

namespace {

const char kVideoArgs[] = "-f lavfi -i testsrc=size=176x144:rate=25 ";
const char kAudioArgs[] = "-f lavfi -i sine=frequency=440:sample_rate=22050 ";

std::string Make(const TempDir& dir, const std::string& name, const std::string& args) {
    std::string path = dir.File(name);
    std::string error;
    EXPECT_TRUE(kjtest::MakeWithFfmpeg(args, path, &error)) << error;
    return path;
}

std::string MakeWmv2(const TempDir& dir, const std::string& name = "in.wmv",
                     const std::string& extra = "") {
    return Make(dir, name,
                std::string(kVideoArgs) + kAudioArgs +
                    "-t 4.3 -c:v wmv2 -g 25 -c:a wmav2 -metadata title=Hello "
                    "-metadata author=Anna " +
                    extra);
}

std::vector<int64_t> FfprobeTimesMs(const std::string& path, const std::string& stream) {
    std::istringstream in(Ffprobe(path, "packet=pts_time", stream));
    std::vector<int64_t> out;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) {
            out.push_back(std::llround(std::stod(line) * 1000));
        }
    }
    return out;
}

std::vector<int64_t> TimesMs(const std::vector<SampleRecord>& samples, WORD stream) {
    std::vector<int64_t> out;
    for (const auto& s : samples) {
        if (s.stream == stream) {
            out.push_back(static_cast<int64_t>(s.time / 10000));
        }
    }
    return out;
}

double ProbeDuration(const std::string& path) {
    return std::stod(Ffprobe(path, "format=duration"));
}

std::wstring W(const std::string& s) {
    return asfcopy::Wide(s);
}

std::string AttributeString(IWMHeaderInfo* info, const wchar_t* name, WORD stream = 0) {
    WMT_ATTR_DATATYPE type;
    WORD length = 0;
    if (FAILED(info->GetAttributeByName(&stream, name, &type, nullptr, &length))) {
        return "<missing>";
    }
    std::vector<BYTE> value(length);
    if (FAILED(info->GetAttributeByName(&stream, name, &type, value.data(), &length)) ||
        type != WMT_TYPE_STRING) {
        return "<bad>";
    }
    std::wstring w(reinterpret_cast<const wchar_t*>(value.data()));
    return std::string(w.begin(), w.end());
}

template <typename T>
T AttributeValue(IWMHeaderInfo* info, const wchar_t* name, WMT_ATTR_DATATYPE expected,
                 WORD stream = 0) {
    WMT_ATTR_DATATYPE type;
    T value{};
    WORD length = sizeof value;
    HRESULT hr =
        info->GetAttributeByName(&stream, name, &type, reinterpret_cast<BYTE*>(&value), &length);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(type, expected);
    EXPECT_EQ(length, sizeof value);
    return value;
}

Bytes MediaTypeBlock(IWMProfile* profile, DWORD index) {
    IWMStreamConfig* config = nullptr;
    EXPECT_EQ(profile->GetStream(index, &config), S_OK);
    auto* props = asfcopy::Query<IWMMediaProps>(config, IID_IWMMediaProps);
    DWORD size = 0;
    EXPECT_EQ(props->GetMediaType(nullptr, &size), S_OK);
    Bytes block(size);
    DWORD small = size - 1;
    EXPECT_EQ(props->GetMediaType(reinterpret_cast<WM_MEDIA_TYPE*>(block.data()), &small),
              ASF_E_BUFFERTOOSMALL);
    EXPECT_EQ(props->GetMediaType(reinterpret_cast<WM_MEDIA_TYPE*>(block.data()), &size), S_OK);
    props->Release();
    config->Release();
    return block;
}

// The format bytes of a block (pbFormat points into the caller's copy, so compare bytes).
Bytes FormatOf(const Bytes& block) {
    const auto* mt = reinterpret_cast<const WM_MEDIA_TYPE*>(block.data());
    return Bytes(block.begin() + sizeof(WM_MEDIA_TYPE),
                 block.begin() + static_cast<long>(sizeof(WM_MEDIA_TYPE) + mt->cbFormat));
}

HRESULT Copy(const std::string& in, const std::string& out) {
    return asfcopy::CopyFile(ModuleFactories(), in, out);
}

}  // namespace

TEST(AsfModule, ExportsTheThreeFactories) {
    const auto& f = ModuleFactories();
    ASSERT_NE(f.createReader, nullptr);
    ASSERT_NE(f.createWriter, nullptr);
    ASSERT_NE(f.createEditor, nullptr);
    auto r = kjtest::RunCommand("nm -D --defined-only " + kjtest::BinDir() +
                                "/libWMVCore.so | grep ' T '");
    EXPECT_EQ(r.output.find("asf"), std::string::npos) << "engine internals are exported";
}

class AsfReaderOnFfmpegFiles : public ::testing::TestWithParam<std::string> {};

TEST_P(AsfReaderOnFfmpegFiles, DeliversEveryPacketAtFfprobesTimesUnderTheUserClock) {
    TempDir dir;
    std::string path =
        Make(dir, "in.wmv", std::string(kVideoArgs) + kAudioArgs + "-t 4.3 -g 12 " + GetParam());
    OpenReader r(path);
    ASSERT_EQ(r.openResult, S_OK);
    bool ended = false;
    ASSERT_EQ(r.ReadToEnd(&ended), S_OK);
    EXPECT_TRUE(ended);
    const auto& samples = r.recorder.samples;
    EXPECT_EQ(TimesMs(samples, 1), FfprobeTimesMs(path, "v:0"));
    EXPECT_EQ(TimesMs(samples, 2), FfprobeTimesMs(path, "a:0"));

    // Every sample came under a clock at or above its time, and after the clock before it.
    int keyFrames = 0;
    std::set<WORD> seen;
    for (const auto& s : samples) {
        EXPECT_LE(s.time, s.clockBefore);
        if (s.clockBefore > 10000000) {
            EXPECT_GT(s.time + 10000000, s.clockBefore);  // not held back a step too long
        }
        EXPECT_EQ((s.flags & WM_SF_DISCONTINUITY) != 0, seen.insert(s.stream).second);
        keyFrames += s.stream == 1 && (s.flags & WM_SF_CLEANPOINT) != 0;
    }
    std::string flags = Ffprobe(path, "packet=flags", "v:0");
    EXPECT_EQ(keyFrames, std::count(flags.begin(), flags.end(), 'K'));
    // OnTime came once for each whole second before the end, in order.
    EXPECT_EQ(r.recorder.times, (std::vector<QWORD>{10000000, 20000000, 30000000, 40000000}));
}

INSTANTIATE_TEST_SUITE_P(Codecs, AsfReaderOnFfmpegFiles,
                         ::testing::Values("-c:v wmv2 -c:a wmav2", "-c:v wmv1 -c:a wmav1"));

TEST(AsfReader, ProfileAndMediaTypesComeFromTheStreamHeaders) {
    TempDir dir;
    std::string a = MakeWmv2(dir, "a.wmv");
    std::string b = MakeWmv2(dir, "b.wmv", "-ss 1");  // other content, same settings
    std::string c = Make(
        dir, "c.wmv",
        std::string(kVideoArgs) + "-f lavfi -i sine=sample_rate=44100 -t 2 -c:v wmv2 -c:a wmav2");
    OpenReader ra(a), rb(b), rc(c);
    ASSERT_EQ(ra.openResult, S_OK);
    ASSERT_EQ(rb.openResult, S_OK);
    ASSERT_EQ(rc.openResult, S_OK);
    IWMProfile* pa = ra.Query<IWMProfile>(IID_IWMProfile);
    IWMProfile* pb = rb.Query<IWMProfile>(IID_IWMProfile);
    IWMProfile* pc = rc.Query<IWMProfile>(IID_IWMProfile);
    DWORD count = 0;
    ASSERT_EQ(pa->GetStreamCount(&count), S_OK);
    ASSERT_EQ(count, 2u);

    Bytes video = MediaTypeBlock(pa, 0);
    const auto* vt = reinterpret_cast<const WM_MEDIA_TYPE*>(video.data());
    EXPECT_EQ(vt->majortype, WMMEDIATYPE_Video);
    EXPECT_EQ(vt->subtype, WMMEDIASUBTYPE_WMV2);
    EXPECT_EQ(vt->formattype, WMFORMAT_VideoInfo);
    EXPECT_TRUE(vt->bTemporalCompression);
    ASSERT_GE(vt->cbFormat, sizeof(VIDEOINFOHEADER));
    EXPECT_EQ(vt->pbFormat, video.data() + sizeof(WM_MEDIA_TYPE));
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(vt->pbFormat);
    EXPECT_EQ(vih->bmiHeader.biWidth, 176);
    EXPECT_EQ(vih->bmiHeader.biHeight, 144);
    EXPECT_EQ(vih->bmiHeader.biCompression, MakeFourcc("WMV2"));
    EXPECT_EQ(vt->cbFormat, 48 + vih->bmiHeader.biSize);

    Bytes audio = MediaTypeBlock(pa, 1);
    const auto* at = reinterpret_cast<const WM_MEDIA_TYPE*>(audio.data());
    EXPECT_EQ(at->majortype, WMMEDIATYPE_Audio);
    EXPECT_EQ(at->subtype, WMMEDIASUBTYPE_WMAudioV2);
    EXPECT_EQ(at->formattype, WMFORMAT_WaveFormatEx);
    const auto* wfx = reinterpret_cast<const WAVEFORMATEX*>(at->pbFormat);
    EXPECT_EQ(wfx->nSamplesPerSec, 22050u);
    EXPECT_EQ(at->cbFormat, 18u + wfx->cbSize);

    // Same settings: the same blocks, byte for byte; another sample rate: another block.
    EXPECT_EQ(FormatOf(video), FormatOf(MediaTypeBlock(pb, 0)));
    EXPECT_EQ(FormatOf(audio), FormatOf(MediaTypeBlock(pb, 1)));
    EXPECT_EQ(FormatOf(audio), FormatOf(MediaTypeBlock(pa, 1)));
    EXPECT_NE(FormatOf(audio), FormatOf(MediaTypeBlock(pc, 1)));

    // Buffer windows: the preroll without Extended Stream Properties; changed by ReconfigStream.
    IWMStreamConfig* config = nullptr;
    ASSERT_EQ(pa->GetStreamByNumber(2, &config), S_OK);
    DWORD window = 0;
    ASSERT_EQ(config->GetBufferWindow(&window), S_OK);
    EXPECT_EQ(window, 3100u);
    ASSERT_EQ(config->SetBufferWindow(8000), S_OK);
    ASSERT_EQ(pa->ReconfigStream(config), S_OK);
    config->Release();
    ASSERT_EQ(pa->GetStreamByNumber(2, &config), S_OK);
    config->GetBufferWindow(&window);
    EXPECT_EQ(window, 8000u);
    config->Release();
    EXPECT_EQ(pa->GetStreamByNumber(9, &config), E_INVALIDARG);
    EXPECT_EQ(config, nullptr);

    // _VBRENABLED: ffmpeg files declare no variable bit rate.
    ASSERT_EQ(pa->GetStreamByNumber(1, &config), S_OK);
    auto* vault = asfcopy::Query<IWMPropertyVault>(config, IID_IWMPropertyVault);
    ASSERT_NE(vault, nullptr);
    WMT_ATTR_DATATYPE type;
    BOOL vbr = TRUE;
    DWORD size = sizeof vbr;
    ASSERT_EQ(vault->GetPropertyByName(L"_VBRENABLED", &type, reinterpret_cast<BYTE*>(&vbr), &size),
              S_OK);
    EXPECT_EQ(type, WMT_TYPE_BOOL);
    EXPECT_EQ(vbr, FALSE);
    vault->Release();
    config->Release();
    pa->Release();
    pb->Release();
    pc->Release();
}

TEST(AsfReader, HeaderInfoAnswersStoredAndComputedAttributes) {
    TempDir dir;
    std::string path = MakeWmv2(dir);
    OpenReader r(path);
    ASSERT_EQ(r.openResult, S_OK);
    IWMHeaderInfo* info = r.Query<IWMHeaderInfo>(IID_IWMHeaderInfo);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(AttributeString(info, L"Title"), "Hello");
    EXPECT_EQ(AttributeString(info, L"Author"), "Anna");
    QWORD duration = AttributeValue<QWORD>(info, L"Duration", WMT_TYPE_QWORD);
    EXPECT_NEAR(duration / 1e7, ProbeDuration(path), 0.1);
    EXPECT_EQ(AttributeValue<BOOL>(info, L"Is_Protected", WMT_TYPE_BOOL), FALSE);
    EXPECT_EQ(AttributeValue<BOOL>(info, L"HasVideo", WMT_TYPE_BOOL), TRUE);
    EXPECT_EQ(AttributeValue<BOOL>(info, L"Seekable", WMT_TYPE_BOOL), TRUE);

    WORD stream = 0;
    WMT_ATTR_DATATYPE type;
    WORD length = 99;
    EXPECT_EQ(info->GetAttributeByName(&stream, L"WM/AlbumTitle", &type, nullptr, &length),
              ASF_E_NOTFOUND);
    EXPECT_EQ(length, 0);
    length = 2;
    BYTE small[2];
    EXPECT_EQ(info->GetAttributeByName(&stream, L"Title", &type, small, &length),
              ASF_E_BUFFERTOOSMALL);
    EXPECT_EQ(length, 6 * sizeof(WCHAR));
    // A reader's header is read-only.
    EXPECT_TRUE(FAILED(
        info->SetAttribute(0, L"Title", WMT_TYPE_STRING, reinterpret_cast<const BYTE*>(L"x"), 8)));
    info->Release();
}

TEST(AsfReader, StopAndCloseInTheMiddleEndCleanly) {
    TempDir dir;
    std::string path = MakeWmv2(dir);
    OpenReader r(path);
    ASSERT_EQ(r.openResult, S_OK);
    r.recorder.autoAdvance = false;  // the first OnTime signals instead of advancing
    ASSERT_EQ(r.reader->Start(0, 0, 1.0f, nullptr), S_OK);
    ASSERT_TRUE(r.recorder.Wait());
    ASSERT_EQ(r.recorder.times.size(), 1u);
    for (const auto& s : r.recorder.samples) {
        EXPECT_LE(s.time, 10000000u);
    }
    ASSERT_EQ(r.reader->Stop(), S_OK);
    ASSERT_TRUE(r.recorder.Wait());
    EXPECT_EQ(r.recorder.statuses.back(), WMT_STOPPED);
    // DeliverTime outside a run is refused rather than ignored.
    EXPECT_EQ(r.advanced->DeliverTime(50000000), E_UNEXPECTED);
    // Close reports WMT_CLOSED before it returns.
    ASSERT_EQ(r.reader->Close(), S_OK);
    EXPECT_EQ(r.recorder.statuses.back(), WMT_CLOSED);
}

TEST(AsfReader, StartAtATimeBeginsAtTheKeyFrameTheIndexNames) {
    TempDir dir;
    std::string in = MakeWmv2(dir);  // a key frame each second
    std::string copy = dir.File("indexed.wmv");
    ASSERT_EQ(Copy(in, copy), S_OK);  // our writer adds a Simple Index
    OpenReader r(copy);
    ASSERT_EQ(r.openResult, S_OK);
    r.recorder.step = 100000000;  // one clock step covers the rest
    ASSERT_EQ(r.reader->Start(25000000, 0, 1.0f, nullptr), S_OK);
    ASSERT_TRUE(r.recorder.Wait());
    ASSERT_EQ(r.recorder.statuses.back(), WMT_END_OF_FILE);
    const SampleRecord* first = nullptr;
    size_t video = 0;
    for (const auto& s : r.recorder.samples) {
        if (s.stream == 1) {
            first = first ? first : &s;
            ++video;
        }
    }
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->flags & WM_SF_CLEANPOINT);
    EXPECT_LE(first->time, 25000000u);
    EXPECT_GE(first->time, 10000000u);
    EXPECT_LT(video, static_cast<size_t>(CountPackets(in, "v:0")));
    r.reader->Stop();
    r.recorder.Wait();
}

struct RoundTripCase {
    const char* name;
    const char* args;
    std::vector<std::string> streams;
};

class AsfRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(AsfRoundTrip, OtherReadersAcceptTheCopyWithEveryPacket) {
    TempDir dir;
    std::string in = Make(dir, "in.wmv", GetParam().args);
    std::string out = dir.File("out.wmv");
    ASSERT_EQ(Copy(in, out), S_OK);
    for (const auto& s : GetParam().streams) {
        EXPECT_EQ(CountPackets(out, s), CountPackets(in, s)) << s;
        EXPECT_EQ(Ffprobe(out, "stream=codec_name,width,height,sample_rate,channels", s),
                  Ffprobe(in, "stream=codec_name,width,height,sample_rate,channels", s));
        EXPECT_EQ(Ffprobe(out, "packet=pts_time,size", s), Ffprobe(in, "packet=pts_time,size", s));
    }
    EXPECT_NEAR(ProbeDuration(out), ProbeDuration(in), 0.1);
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
    EXPECT_EQ(kjtest::GstPlaybackFailure(out), "");
    if (GetParam().streams[0] == "v:0") {
        // A seek into the middle lands on the same frame as in the source.
        auto frame = [](const std::string& p) {
            return kjtest::RunCommand("ffmpeg -v error -ss 2.5 -i " + kjtest::ShellQuote(p) +
                                      " -map 0:v:0 -frames:v 1 -f framemd5 -")
                .output;
        };
        EXPECT_EQ(frame(out), frame(in));
        EXPECT_NE(frame(out), "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, AsfRoundTrip,
    ::testing::Values(
        RoundTripCase{"wmv2_wmav2",
                      "-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i "
                      "sine=sample_rate=44100 -t 5.2 -c:v wmv2 -b:v 800k -c:a wmav2",
                      {"v:0", "a:0"}},
        RoundTripCase{"wmv1_wmav1",
                      "-f lavfi -i testsrc=size=176x144:rate=15 -f lavfi -i "
                      "sine=sample_rate=22050 -t 4.7 -c:v wmv1 -c:a wmav1",
                      {"v:0", "a:0"}},
        RoundTripCase{"video_only",
                      "-f lavfi -i testsrc=size=320x240:rate=30 -t 3.4 -c:v wmv2 -b:v 2M",
                      {"v:0"}},
        RoundTripCase{
            "audio_only", "-f lavfi -i sine=sample_rate=44100 -t 3.9 -c:a wmav2", {"a:0"}},
        RoundTripCase{"two_audio",
                      "-f lavfi -i sine=frequency=300 -f lavfi -i sine=frequency=900:sample_rate="
                      "22050 -t 3 -map 0 -map 1 -c:a wmav2",
                      {"a:0", "a:1"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AsfWriter, InputsWrittenOneAfterAnotherMakeOneWholeFile) {
    TempDir dir;
    std::string a = Make(
        dir, "a.wmv", std::string(kVideoArgs) + kAudioArgs + "-t 3.4 -g 25 -c:v wmv2 -c:a wmav2");
    std::string b = Make(dir, "b.wmv",
                         "-f lavfi -i testsrc2=size=176x144:rate=25 " + std::string(kAudioArgs) +
                             "-t 2.6 -g 25 -c:v wmv2 -c:a wmav2");
    std::string out = dir.File("joined.wmv");
    ASSERT_EQ(asfcopy::JoinFiles(ModuleFactories(), {a, b, a}, out), S_OK);
    for (const char* s : {"v:0", "a:0"}) {
        EXPECT_EQ(CountPackets(out, s), 2 * CountPackets(a, s) + CountPackets(b, s)) << s;
    }
    // Input 1's clock ends at 4 s and input 2's at 3 s: input 3 starts at 7 s.
    EXPECT_NEAR(ProbeDuration(out), 7 + ProbeDuration(a), 0.1);
    std::vector<int64_t> times = FfprobeTimesMs(out, "v:0");
    std::vector<int64_t> first = FfprobeTimesMs(a, "v:0");
    ASSERT_FALSE(times.empty());
    EXPECT_EQ(times.back(), 7000 + first.back());
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
    EXPECT_EQ(kjtest::GstPlaybackFailure(out), "");
    // A seek into the second input lands on its frames.
    auto frame = [](const std::string& p, const char* at) {
        return kjtest::RunCommand("ffmpeg -v error -ss " + std::string(at) + " -i " +
                                  kjtest::ShellQuote(p) + " -map 0:v:0 -frames:v 1 -f framemd5 -")
            .output;
    };
    auto hashOf = [](const std::string& md5) { return md5.substr(md5.rfind(',') + 1); };
    EXPECT_EQ(hashOf(frame(out, "5")), hashOf(frame(b, "1")));
}

TEST(AsfWriter, HeaderItemsOfEveryTypeAndEditorMarkersReadBackEqual) {
    TempDir dir;
    std::string in =
        Make(dir, "in.wmv", std::string(kVideoArgs) + kAudioArgs + "-t 3 -c:v wmv2 -c:a wmav2");
    std::string out = dir.File("out.wmv");
    const wchar_t title[] = L"T\u00e9st title";
    DWORD dword = 7;
    QWORD qword = 0x0123456789ABCDEFull;
    WORD word = 0xBEEF;
    BOOL yes = TRUE;
    BYTE blob[5] = {9, 8, 7, 6, 5};
    GUID guid = GuidFromString("01234567-89AB-CDEF-0123-456789ABCDEF");
    auto setItems = [&](IWMHeaderInfo3* info) {
        auto set = [&](WORD stream, const wchar_t* name, WMT_ATTR_DATATYPE type, const void* v,
                       WORD n) {
            EXPECT_EQ(info->SetAttribute(stream, name, type, static_cast<const BYTE*>(v), n), S_OK)
                << std::string(name, name + wcslen(name));
        };
        set(0, L"Title", WMT_TYPE_STRING, title, sizeof title);
        set(0, L"Author", WMT_TYPE_STRING, L"Bo", 3 * sizeof(WCHAR));
        set(0, L"WM/Track", WMT_TYPE_DWORD, &dword, 4);
        set(0, L"Q", WMT_TYPE_QWORD, &qword, 8);
        set(0, L"W", WMT_TYPE_WORD, &word, 2);
        set(0, L"B", WMT_TYPE_BOOL, &yes, 4);
        set(0, L"WM/MCDI", WMT_TYPE_BINARY, blob, 5);
        set(0, L"G", WMT_TYPE_GUID, &guid, 16);
        set(2, L"_MyAttribute", WMT_TYPE_DWORD, &dword, 4);
        EXPECT_EQ(info->SetAttribute(0, L"Bad", WMT_TYPE_DWORD, blob, 3), E_INVALIDARG);
        EXPECT_EQ(info->AddScript(L"URL", L"http://example.org/", 15000000), S_OK);
        EXPECT_EQ(info->AddScript(L"FILENAME", L"next.wmv", 5000000), S_OK);
        const BYTE tag[2] = {0x61, 0x01};
        EXPECT_EQ(
            info->AddCodecInfo(L"Windows Media Audio 8", L"22 kHz", WMT_CODECINFO_AUDIO, 2, tag),
            S_OK);
        EXPECT_EQ(info->AddMarker(L"early", 0), E_NOTIMPL);  // markers go in through an editor
        return S_OK;
    };
    ASSERT_EQ(asfcopy::CopyFile(ModuleFactories(), in, out, nullptr, setItems), S_OK);

    IWMMetadataEditor* editor = nullptr;
    ASSERT_EQ(ModuleFactories().createEditor(&editor), S_OK);
    std::wstring wout = W(out);
    ASSERT_EQ(editor->Open(wout.c_str()), S_OK);
    auto* ed = asfcopy::Query<IWMHeaderInfo3>(editor, IID_IWMHeaderInfo3);
    ASSERT_EQ(ed->AddMarker(L"Chapter 2", 20000000), S_OK);
    ASSERT_EQ(ed->AddMarker(L"Chapter 1", 10000000), S_OK);
    ed->Release();
    auto sizeBefore = kjtest::ReadFileBytes(out).size();
    ASSERT_EQ(editor->Close(), S_OK);
    editor->Release();
    EXPECT_EQ(kjtest::ReadFileBytes(out).size(), sizeBefore);  // saved in place, in the padding

    OpenReader r(out);
    ASSERT_EQ(r.openResult, S_OK);
    auto* back = r.Query<IWMHeaderInfo3>(IID_IWMHeaderInfo3);
    ASSERT_NE(back, nullptr);
    {
        WORD stream = 0;
        WMT_ATTR_DATATYPE type;
        WORD length = 0;
        ASSERT_EQ(back->GetAttributeByName(&stream, L"Title", &type, nullptr, &length), S_OK);
        std::vector<BYTE> v(length);
        ASSERT_EQ(back->GetAttributeByName(&stream, L"Title", &type, v.data(), &length), S_OK);
        EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(v.data())), title);
    }
    EXPECT_EQ(AttributeString(back, L"Author"), "Bo");
    EXPECT_EQ(AttributeValue<DWORD>(back, L"WM/Track", WMT_TYPE_DWORD), 7u);
    EXPECT_EQ(AttributeValue<QWORD>(back, L"Q", WMT_TYPE_QWORD), qword);
    EXPECT_EQ(AttributeValue<WORD>(back, L"W", WMT_TYPE_WORD), 0xBEEF);
    EXPECT_EQ(AttributeValue<BOOL>(back, L"B", WMT_TYPE_BOOL), TRUE);
    EXPECT_EQ(AttributeValue<GUID>(back, L"G", WMT_TYPE_GUID), guid);
    EXPECT_EQ(AttributeValue<DWORD>(back, L"_MyAttribute", WMT_TYPE_DWORD, 2), 7u);
    // The source's per-stream aspect ratio came along with the profile.
    EXPECT_EQ(AttributeValue<DWORD>(back, L"AspectRatioX", WMT_TYPE_DWORD, 1), 1u);
    {
        WORD stream = 0;
        WMT_ATTR_DATATYPE type;
        BYTE v[8];
        WORD length = sizeof v;
        ASSERT_EQ(back->GetAttributeByName(&stream, L"WM/MCDI", &type, v, &length), S_OK);
        EXPECT_EQ(type, WMT_TYPE_BINARY);
        EXPECT_EQ(Bytes(v, v + length), Bytes(blob, blob + 5));
    }
    WORD scripts = 0;
    ASSERT_EQ(back->GetScriptCount(&scripts), S_OK);
    ASSERT_EQ(scripts, 2);
    WCHAR type[16], command[64];
    WORD typeLen = 16, commandLen = 64;
    QWORD time = 0;
    ASSERT_EQ(back->GetScript(0, type, &typeLen, command, &commandLen, &time), S_OK);
    EXPECT_EQ(std::wstring(type), L"FILENAME");  // kept in time order
    EXPECT_EQ(time, 5000000u);
    typeLen = 16;
    commandLen = 64;
    ASSERT_EQ(back->GetScript(1, type, &typeLen, command, &commandLen, &time), S_OK);
    EXPECT_EQ(std::wstring(type), L"URL");
    EXPECT_EQ(std::wstring(command), L"http://example.org/");
    EXPECT_EQ(typeLen, 4);
    EXPECT_EQ(time, 15000000u);
    WORD markers = 0;
    ASSERT_EQ(back->GetMarkerCount(&markers), S_OK);
    ASSERT_EQ(markers, 2);
    WCHAR name[32];
    WORD nameLen = 32;
    ASSERT_EQ(back->GetMarker(0, name, &nameLen, &time), S_OK);
    EXPECT_EQ(std::wstring(name), L"Chapter 1");
    EXPECT_EQ(time, 10000000u);
    DWORD codecs = 0;
    ASSERT_EQ(back->GetCodecInfoCount(&codecs), S_OK);
    ASSERT_EQ(codecs, 3u);  // ffmpeg's two entries, copied, and the one added
    WORD cn = 0, cd = 0, ci = 0;
    WMT_CODEC_INFO_TYPE ct;
    ASSERT_EQ(back->GetCodecInfo(2, &cn, nullptr, &cd, nullptr, &ct, &ci, nullptr), S_OK);
    EXPECT_EQ(ct, WMT_CODECINFO_AUDIO);
    EXPECT_EQ(cn, 22);
    EXPECT_EQ(ci, 2);
    back->Release();
    EXPECT_EQ(Ffprobe(out, "format_tags=title"), "T\xc3\xa9st title");
    EXPECT_EQ(Ffprobe(out, "format_tags=artist"), "Bo");
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
    EXPECT_EQ(CountPackets(out, "v:0"), CountPackets(in, "v:0"));
}

TEST(AsfEditor, AHeaderThatOutgrowsItsPaddingRewritesTheFileIntact) {
    TempDir dir;
    std::string in = MakeWmv2(dir);
    std::string out = dir.File("out.wmv");
    ASSERT_EQ(Copy(in, out), S_OK);
    IWMMetadataEditor* editor = nullptr;
    ASSERT_EQ(ModuleFactories().createEditor(&editor), S_OK);
    std::wstring wout = W(out);
    ASSERT_EQ(editor->Open(wout.c_str()), S_OK);
    auto* ed = asfcopy::Query<IWMHeaderInfo>(editor, IID_IWMHeaderInfo);
    std::wstring longName(200, L'm');
    for (int i = 0; i < 60; ++i) {
        ASSERT_EQ(ed->AddMarker(longName.c_str(), QWORD(i) * 500000), S_OK);
    }
    ed->Release();
    auto sizeBefore = kjtest::ReadFileBytes(out).size();
    ASSERT_EQ(editor->Close(), S_OK);
    editor->Release();
    EXPECT_GT(kjtest::ReadFileBytes(out).size(), sizeBefore + 20000);
    EXPECT_EQ(CountPackets(out, "v:0"), CountPackets(in, "v:0"));
    EXPECT_EQ(CountPackets(out, "a:0"), CountPackets(in, "a:0"));
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
    OpenReader r(out);
    ASSERT_EQ(r.openResult, S_OK);
    auto* back = r.Query<IWMHeaderInfo>(IID_IWMHeaderInfo);
    WORD markers = 0;
    back->GetMarkerCount(&markers);
    EXPECT_EQ(markers, 60);
    back->Release();
    ASSERT_EQ(r.ReadToEnd(), S_OK);

    // Released without Close: nothing is saved.
    ASSERT_EQ(ModuleFactories().createEditor(&editor), S_OK);
    ASSERT_EQ(editor->Open(wout.c_str()), S_OK);
    ed = asfcopy::Query<IWMHeaderInfo>(editor, IID_IWMHeaderInfo);
    ed->AddMarker(L"dropped", 0);
    ed->Release();
    auto bytes = kjtest::ReadFileBytes(out);
    editor->Release();
    EXPECT_EQ(kjtest::ReadFileBytes(out), bytes);
}

// ---- Damaged and hand-made files ----

namespace {

// A small file built byte by byte: one video stream, `packets` single-payload packets.
Bytes HandMadeFile(const std::vector<Bytes>& extraHeaderObjects, int packets = 3) {
    std::vector<Bytes> children = {FileProperties(256, packets, 3000 * 10000ull + 1200000, 3000),
                                   VideoStream(1, 16, 16, "WMV2")};
    children.insert(children.end(), extraHeaderObjects.begin(), extraHeaderObjects.end());
    Bytes file = HeaderObject(children);
    Bytes data = DataObjectHeader(packets, 256);
    file.insert(file.end(), data.begin(), data.end());
    for (int i = 0; i < packets; ++i) {
        Bytes p = SinglePayloadPacket(256, 1, static_cast<uint8_t>(i), 3000 + 40 * i,
                                      Bytes(100, static_cast<uint8_t>(i)), i == 0);
        file.insert(file.end(), p.begin(), p.end());
    }
    return file;
}

HRESULT ReadResult(const std::string& path, size_t* samples = nullptr) {
    OpenReader r(path);
    if (FAILED(r.openResult)) {
        return r.openResult;
    }
    HRESULT hr = r.ReadToEnd();
    if (samples != nullptr) {
        *samples = r.recorder.samples.size();
    }
    return hr;
}

}  // namespace

TEST(AsfHandMade, ReadsAndSeesProtection) {
    TempDir dir;
    std::string plain = dir.File("plain.asf");
    ASSERT_TRUE(kjtest::WriteFileBytes(plain, HandMadeFile({})));
    size_t samples = 0;
    EXPECT_EQ(ReadResult(plain, &samples), S_OK);
    EXPECT_EQ(samples, 3u);

    ByteWriter enc;
    enc.LE32(0).LE32(4).Text("DRM").U8(0).LE32(0).LE32(0);
    std::string drm = dir.File("drm.asf");
    ASSERT_TRUE(
        kjtest::WriteFileBytes(drm, HandMadeFile({Object(asf::kContentEncryption, enc.bytes())})));
    IWMMetadataEditor* editor = nullptr;
    ASSERT_EQ(ModuleFactories().createEditor(&editor), S_OK);
    std::wstring w = W(drm);
    ASSERT_EQ(editor->Open(w.c_str()), S_OK);
    auto* info = asfcopy::Query<IWMHeaderInfo>(editor, IID_IWMHeaderInfo);
    EXPECT_EQ(AttributeValue<BOOL>(info, L"Is_Protected", WMT_TYPE_BOOL), TRUE);
    info->Release();
    editor->Release();
}

TEST(AsfHandMade, StartAtATimeWithoutAnIndexLeavesOutWhatComesBefore) {
    // Six frames 40 ms apart, key frames at 0 and 120 ms, no Simple Index.
    std::vector<Bytes> children = {FileProperties(256, 6, 3000 * 10000ull + 2400000, 3000),
                                   VideoStream(1, 16, 16, "WMV2")};
    Bytes file = HeaderObject(children);
    Bytes data = DataObjectHeader(6, 256);
    file.insert(file.end(), data.begin(), data.end());
    for (int i = 0; i < 6; ++i) {
        Bytes p = SinglePayloadPacket(256, 1, static_cast<uint8_t>(i), 3000 + 40 * i,
                                      Bytes(60, static_cast<uint8_t>(i)), i % 3 == 0);
        file.insert(file.end(), p.begin(), p.end());
    }
    TempDir dir;
    std::string path = dir.File("noindex.asf");
    ASSERT_TRUE(kjtest::WriteFileBytes(path, file));
    OpenReader r(path);
    ASSERT_EQ(r.openResult, S_OK);
    ASSERT_EQ(r.reader->Start(500000, 0, 1.0f, nullptr), S_OK);  // 50 ms
    ASSERT_TRUE(r.recorder.Wait());
    ASSERT_EQ(r.recorder.statuses.back(), WMT_END_OF_FILE);
    ASSERT_EQ(r.recorder.samples.size(), 3u);  // from the key frame at 120 ms
    EXPECT_EQ(r.recorder.samples[0].time, 1200000u);
    EXPECT_TRUE(r.recorder.samples[0].flags & WM_SF_CLEANPOINT);
    r.reader->Stop();
    r.recorder.Wait();
}

TEST(AsfHandMade, PayloadExtensionDataGivesDurationsAndSurvivesACopy) {
    // Stream 1 declares a pixel-aspect-ratio extension (2 bytes) and then a sample-duration
    // one (2 bytes), as WM encoders do; every payload carries 8 + 4 replicated bytes.
    const GUID kAspect = GuidFromString("1B1EE554-F9EA-4BC8-821A-376B74E4C4B8");
    Bytes esp =
        ExtendedStreamProps(1, 4500, 400000, {{kAspect, 2}, {asf::kPayloadExtSampleDuration, 2}});
    std::vector<Bytes> children = {FileProperties(512, 4, 3000 * 10000ull + 1600000, 3000),
                                   VideoStream(1, 16, 16, "WMV2"), HeaderExtension({esp})};
    Bytes file = HeaderObject(children);
    Bytes data = DataObjectHeader(4, 512);
    file.insert(file.end(), data.begin(), data.end());
    for (int i = 0; i < 4; ++i) {
        Bytes ext = {0x08, 0x09, 40, 0};  // aspect 8:9, 40 ms
        Bytes p = SinglePayloadPacket(512, 1, static_cast<uint8_t>(i), 3000 + 40 * i,
                                      Bytes(100, static_cast<uint8_t>(i)), i == 0, ext);
        file.insert(file.end(), p.begin(), p.end());
    }
    TempDir dir;
    std::string in = dir.File("ext.asf");
    ASSERT_TRUE(kjtest::WriteFileBytes(in, file));
    {
        OpenReader r(in);
        ASSERT_EQ(r.openResult, S_OK);
        ASSERT_EQ(r.ReadToEnd(), S_OK);
        ASSERT_EQ(r.recorder.samples.size(), 4u);
        EXPECT_EQ(r.recorder.samples[1].duration, 400000u);  // from the payload, not the ESP
        IWMProfile* profile = r.Query<IWMProfile>(IID_IWMProfile);
        IWMStreamConfig* config = nullptr;
        ASSERT_EQ(profile->GetStreamByNumber(1, &config), S_OK);
        DWORD window = 0;
        config->GetBufferWindow(&window);
        EXPECT_EQ(window, 4500u);  // the stream's own buffer size
        config->Release();
        profile->Release();
    }
    std::string out = dir.File("copy.asf");
    ASSERT_EQ(Copy(in, out), S_OK);
    Bytes copied = kjtest::ReadFileBytes(out);
    size_t first = static_cast<size_t>(ByteReader(copied).LE64(16)) + 50;
    // Our packets: 14 bytes of packet header, then stream, object, offset, replicated length.
    ASSERT_GT(copied.size(), first + 40);
    EXPECT_EQ(copied[first + 14 + 6], 12);
    EXPECT_EQ(Bytes(copied.begin() + static_cast<long>(first) + 29,
                    copied.begin() + static_cast<long>(first) + 33),
              (Bytes{0x08, 0x09, 40, 0}));
}

// Files as other encoders write them: every kind of error-correction data in front of the
// packets, N+1 parity packets between them, markers padded after their descriptions.
TEST(AsfOtherEncoders, ErrorCorrectionParityPacketsAndPaddedMarkersAreRead) {
    TempDir dir;
    const std::vector<Bytes> ecs = {{0x82, 0, 0}, {}, {0x81, 7}, {0x85, 1, 2, 3, 4, 5}};
    const int packets = 6;
    std::vector<Bytes> children = {FileProperties(256, packets, 3000 * 10000ull + 1600000, 3000),
                                   VideoStream(1, 16, 16, "WMV2"),
                                   MarkerObject({{40000000, u"Start"}, {42000000, u"Next"}}, 2)};
    Bytes file = HeaderObject(children);
    Bytes data = DataObjectHeader(packets, 256);
    file.insert(file.end(), data.begin(), data.end());
    int frames = 0;
    for (int i = 0; i < packets; ++i) {
        Bytes p;
        if (i == 3) {
            p.assign(256, 0xA5);  // parity over the packets before: no payloads
            p[0] = 0x92;
            p[1] = 0x92;
            p[2] = 0x01;
        } else {
            p = WithErrorCorrection(
                SinglePayloadPacket(256, 1, static_cast<uint8_t>(frames), 3000 + 40 * frames,
                                    Bytes(90 + static_cast<size_t>(frames), 0x11), frames == 0),
                ecs[static_cast<size_t>(frames) % ecs.size()]);
            ++frames;
        }
        file.insert(file.end(), p.begin(), p.end());
    }
    std::string path = dir.File("older.asf");
    ASSERT_TRUE(kjtest::WriteFileBytes(path, file));

    OpenReader r(path);
    ASSERT_EQ(r.openResult, S_OK);
    ASSERT_EQ(r.ReadToEnd(), S_OK);
    ASSERT_EQ(r.recorder.samples.size(), static_cast<size_t>(frames));
    for (size_t i = 0; i < r.recorder.samples.size(); ++i) {
        EXPECT_EQ(r.recorder.samples[i].time, 400000u * i);
        EXPECT_EQ(r.recorder.samples[i].size, 90 + i);
    }

    IWMMetadataEditor* editor = nullptr;
    ASSERT_EQ(ModuleFactories().createEditor(&editor), S_OK);
    std::wstring w = W(path);
    ASSERT_EQ(editor->Open(w.c_str()), S_OK);
    auto* info = asfcopy::Query<IWMHeaderInfo>(editor, IID_IWMHeaderInfo);
    EXPECT_EQ(AttributeValue<BOOL>(info, L"Is_Protected", WMT_TYPE_BOOL), FALSE);
    WORD count = 0;
    ASSERT_EQ(info->GetMarkerCount(&count), S_OK);
    ASSERT_EQ(count, 2);
    WCHAR name[16] = {};
    WORD length = 16;
    QWORD time = 0;
    ASSERT_EQ(info->GetMarker(1, name, &length, &time), S_OK);
    EXPECT_EQ(std::wstring(name), L"Next");
    EXPECT_EQ(time, 12000000u);
    info->Release();
    editor->Release();
}

TEST(AsfOtherEncoders, PacketsThatDoNotParseFailTheOpen) {
    TempDir dir;
    Bytes file = HandMadeFile({}, 3);
    // Every packet's error-correction flags claim a length type that does not exist.
    size_t first = file.size() - 3 * 256;
    for (size_t at = first; at < file.size(); at += 256) {
        file[at] = 0xE2;
    }
    std::string path = dir.File("unreadable.asf");
    ASSERT_TRUE(kjtest::WriteFileBytes(path, file));
    OpenReader r(path);
    EXPECT_EQ(r.openResult, ASF_E_BADDATAUNIT);
    IWMMetadataEditor* editor = nullptr;
    ASSERT_EQ(ModuleFactories().createEditor(&editor), S_OK);
    std::wstring w = W(path);
    EXPECT_EQ(editor->Open(w.c_str()), ASF_E_BADDATAUNIT);
    editor->Release();
}

TEST(AsfDamaged, CutOrOverwrittenHeadersEndWithAFailure) {
    TempDir dir;
    std::string in = MakeWmv2(dir);
    std::string good = dir.File("good.wmv");
    ASSERT_EQ(Copy(in, good), S_OK);  // our own layout: header, 3200-byte packets
    Bytes bytes = kjtest::ReadFileBytes(good);
    uint64_t headerSize = ByteReader(bytes).LE64(16);
    size_t firstPacket = static_cast<size_t>(headerSize) + 50;

    auto check = [&](const std::string& name, const Bytes& damaged) {
        std::string path = dir.File(name);
        kjtest::WriteFileBytes(path, damaged);
        EXPECT_TRUE(FAILED(ReadResult(path))) << name;
        IWMMetadataEditor* editor = nullptr;
        ModuleFactories().createEditor(&editor);
        std::wstring w = W(path);
        HRESULT hr = editor->Open(w.c_str());
        if (SUCCEEDED(hr)) {
            editor->Close();
        }
        editor->Release();
    };
    check("cut_header.wmv", Bytes(bytes.begin(), bytes.begin() + 300));
    // Cut before the first whole packet: nothing to read.
    check("cut_first_packet.wmv", Bytes(bytes.begin(), bytes.begin() + firstPacket + 100));
    check("not_asf.wmv", Bytes(4000, 0x47));
    check("empty.wmv", Bytes{});
    EXPECT_TRUE(FAILED(ReadResult(dir.File("missing.wmv"))));

    // Every header-length cut of a real file, and bytes overwritten all over its header.
    for (size_t n = 0; n < firstPacket; n += 97) {
        std::string path = dir.File("cut.wmv");
        kjtest::WriteFileBytes(path, Bytes(bytes.begin(), bytes.begin() + static_cast<long>(n)));
        EXPECT_TRUE(FAILED(ReadResult(path))) << n;
    }
    for (size_t n = 24; n < firstPacket; n += 41) {
        Bytes m = bytes;
        m[n] ^= 0xFF;
        m[n + 1] ^= 0x5A;
        std::string path = dir.File("flip.wmv");
        kjtest::WriteFileBytes(path, m);
        ReadResult(path);  // any result, as long as it ends
    }
}

// Read to the end; the reader's account of what it left out.
KJ_READER_DAMAGE ReadDamage(const std::string& path, HRESULT* result, size_t* samples) {
    KJ_READER_DAMAGE damage;
    OpenReader r(path);
    *result = r.openResult;
    if (FAILED(r.openResult)) {
        return damage;
    }
    *result = r.ReadToEnd();
    *samples = r.recorder.samples.size();
    auto* report = asfcopy::Query<IKjReaderDamage>(r.reader, IID_IKjReaderDamage);
    if (report != nullptr) {
        report->GetDamage(&damage);
        report->Release();
    }
    return damage;
}

TEST(AsfDamaged, DataCutShortOrOverwrittenIsReadPastAndAccountedFor) {
    TempDir dir;
    std::string in = MakeWmv2(dir);
    std::string good = dir.File("good.wmv");
    ASSERT_EQ(Copy(in, good), S_OK);  // our own layout: header, 3200-byte packets
    const Bytes bytes = kjtest::ReadFileBytes(good);
    const size_t firstPacket = static_cast<size_t>(ByteReader(bytes).LE64(16)) + 50;
    const size_t kPacket = 3200;
    const size_t total = (bytes.size() - firstPacket) / kPacket;
    HRESULT hr = E_FAIL;
    size_t all = 0;
    KJ_READER_DAMAGE clean = ReadDamage(good, &hr, &all);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(clean.cutShort, FALSE);
    EXPECT_EQ(clean.damagedPackets, 0u);
    ASSERT_GT(clean.packets, 8u);

    // Cut 100 bytes into packet 5: five whole packets, fewer samples.
    std::string path = dir.File("cut_data.wmv");
    kjtest::WriteFileBytes(
        path,
        Bytes(bytes.begin(), bytes.begin() + static_cast<long>(firstPacket + kPacket * 5 + 100)));
    size_t samples = 0;
    KJ_READER_DAMAGE cut = ReadDamage(path, &hr, &samples);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(cut.cutShort, TRUE);
    EXPECT_EQ(cut.packets, 5u);
    EXPECT_EQ(cut.damagedPackets, 0u);
    EXPECT_GT(samples, 0u);
    EXPECT_LT(samples, all);

    // Packet 3's head overwritten, and packet 2's first payload running past its packet: each
    // is skipped, counted, and the rest read.
    Bytes overwritten = bytes;
    std::fill(overwritten.begin() + static_cast<long>(firstPacket + kPacket * 3),
              overwritten.begin() + static_cast<long>(firstPacket + kPacket * 3 + 40), 0xFF);
    size_t at = firstPacket + kPacket * 2 + 14 + 15;
    overwritten[at] = 0xF0;
    overwritten[at + 1] = 0xFF;
    path = dir.File("overwritten.wmv");
    kjtest::WriteFileBytes(path, overwritten);
    KJ_READER_DAMAGE hit = ReadDamage(path, &hr, &samples);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(hit.cutShort, FALSE);
    EXPECT_EQ(hit.packets, total);
    EXPECT_EQ(hit.damagedPackets, 2u);
    EXPECT_LT(samples, all);
    EXPECT_GT(samples, all / 2);

    // All but the first three packets overwritten: refused at the end, with its reason.
    Bytes most = bytes;
    std::fill(most.begin() + static_cast<long>(firstPacket + kPacket * 3), most.end(), 0xFF);
    path = dir.File("most.wmv");
    kjtest::WriteFileBytes(path, most);
    ReadDamage(path, &hr, &samples);
    EXPECT_EQ(hr, KJ_E_MOSTLY_DAMAGED);
}

TEST(AsfDamaged, RandomDamageAnywhereEndsInAResult) {
    TempDir dir;
    std::string in = Make(dir, "in.wmv",
                          "-f lavfi -i testsrc=size=96x64:rate=10 -f lavfi -i "
                          "sine=sample_rate=8000 -t 2 -c:v wmv2 -c:a wmav2");
    std::string good = dir.File("good.wmv");
    ASSERT_EQ(Copy(in, good), S_OK);
    Bytes bytes = kjtest::ReadFileBytes(good);
    std::mt19937 rng(2024);
    std::string path = dir.File("damaged.wmv");
    int failures = 0;
    for (int round = 0; round < 150; ++round) {
        Bytes m = bytes;
        for (int k = 0; k < 6; ++k) {
            m[rng() % m.size()] = static_cast<uint8_t>(rng());
        }
        if (round % 10 == 0) {
            m.resize(rng() % m.size());
        }
        ASSERT_TRUE(kjtest::WriteFileBytes(path, m));
        OpenReader r(path);  // every wait inside has a time limit
        if (SUCCEEDED(r.openResult)) {
            HRESULT hr = r.ReadToEnd();
            ASSERT_NE(hr, E_ABORT) << "no end reported in round " << round;
            failures += FAILED(hr);
        } else {
            ++failures;
        }
    }
    EXPECT_GT(failures, 0);  // the damage was seen at least somewhere
}

TEST(AsfCopyTool, PeakMemoryDoesNotGrowWithTheFile) {
    if (!kjtest::HaveProgram("/usr/bin/time")) {
        GTEST_SKIP() << "no /usr/bin/time";
    }
    TempDir dir;
    auto peakKb = [&](const std::string& seconds) {
        // Close to a megabyte a second, so that a few seconds fill every read and write block.
        std::string in = Make(dir, "in" + seconds + ".wmv",
                              "-f lavfi -i testsrc2=size=640x480:rate=25 -f lavfi -i "
                              "sine=sample_rate=44100 -t " +
                                  seconds + " -c:v wmv2 -q:v 1 -c:a wmav2");
        // A sanitizer build holds freed memory back for a while; that is not the copy's memory.
        auto r =
            kjtest::RunCommand("ASAN_OPTIONS=quarantine_size_mb=0 /usr/bin/time -f 'peak %M' " +
                               kjtest::BinDir() + "/asfcopy " + kjtest::ShellQuote(in) + " " +
                               kjtest::ShellQuote(dir.File("out" + seconds + ".wmv")));
        EXPECT_EQ(r.exitCode, 0) << r.output;
        size_t at = r.output.rfind("peak ");
        return at == std::string::npos ? -1L : std::stol(r.output.substr(at + 5));
    };
    long small = peakKb("12");
    long large = peakKb("36");  // three times the data, some 24 MB more
    ASSERT_GT(small, 0);
    // A block or two more may be in flight on a busy machine; growth with the file would be tens
    // of megabytes.
    EXPECT_LT(large, small + 4096) << small << " KB for 12 s, " << large << " KB for 36 s";
}
