// Calls in the wrong state or with wrong arguments get failure codes, and the quieter paths of
// the interfaces (no user clock, no advanced callback, an editor closed unchanged) behave.
#include <gtest/gtest.h>

#include "engines/asf/tests/module_fixture.h"

using namespace asftest;

namespace {

std::string MakeSmall(const kjtest::TempDir& dir) {
    std::string path = dir.File("small.wmv");
    std::string error;
    EXPECT_TRUE(kjtest::MakeWithFfmpeg(
        "-f lavfi -i testsrc=size=96x64:rate=10 -f lavfi -i sine=sample_rate=8000 -t 2.2 "
        "-c:v wmv2 -c:a wmav2",
        path, &error))
        << error;
    return path;
}

// A callback with only the basic interface.
class PlainCallback final : public OwnedComObject<IWMReaderCallback> {
public:
    AutoResetEvent event;
    HRESULT last = S_OK;
    HRESULT OnStatus(WMT_STATUS, HRESULT hr, WMT_ATTR_DATATYPE, BYTE*, void*) override {
        last = hr;
        event.Set();
        return S_OK;
    }
    HRESULT OnSample(DWORD, QWORD, QWORD, DWORD, INSSBuffer*, void*) override { return S_OK; }
};

}  // namespace

TEST(AsfApi, ReaderWithoutUserClockDeliversEverythingAndNoClockReports) {
    kjtest::TempDir dir;
    std::string path = MakeSmall(dir);
    OpenReader r(path);
    ASSERT_EQ(r.openResult, S_OK);
    ASSERT_EQ(r.advanced->SetUserProvidedClock(FALSE), S_OK);
    bool ended = false;
    ASSERT_EQ(r.ReadToEnd(&ended), S_OK);
    EXPECT_TRUE(ended);
    EXPECT_EQ(static_cast<int64_t>(r.recorder.samples.size()),
              kjtest::CountPackets(path, "v:0") + kjtest::CountPackets(path, "a:0"));
    EXPECT_TRUE(r.recorder.times.empty());
    // Stream 2 switched off: only video arrives on the next run.
    WORD number = 2;
    WMT_STREAM_SELECTION off = WMT_OFF;
    ASSERT_EQ(r.advanced->SetStreamsSelected(1, &number, &off), S_OK);
    r.recorder.samples.clear();
    ASSERT_EQ(r.ReadToEnd(), S_OK);
    EXPECT_EQ(static_cast<int64_t>(r.recorder.samples.size()), kjtest::CountPackets(path, "v:0"));
}

TEST(AsfApi, ReaderRefusesWhatItCannotDo) {
    kjtest::TempDir dir;
    std::string path = MakeSmall(dir);
    IWMReader* reader = nullptr;
    ASSERT_EQ(ModuleFactories().createReader(nullptr, 0, &reader), S_OK);
    auto* advanced = asfcopy::Query<IWMReaderAdvanced>(reader, IID_IWMReaderAdvanced);
    EXPECT_EQ(reader->Start(0, 0, 1.0f, nullptr), NS_E_INVALID_REQUEST);  // not open
    EXPECT_EQ(reader->Close(), NS_E_INVALID_REQUEST);
    EXPECT_EQ(reader->Open(nullptr, nullptr, nullptr), E_INVALIDARG);
    void* none = nullptr;
    EXPECT_EQ(reader->QueryInterface(IID_IWMProfile, &none), E_NOINTERFACE);  // nothing open yet
    PlainCallback plain;
    std::wstring w = asfcopy::Wide(path);
    ASSERT_EQ(reader->Open(w.c_str(), &plain, nullptr), S_OK);
    ASSERT_TRUE(plain.event.WaitFor(std::chrono::seconds(30)));
    ASSERT_EQ(plain.last, S_OK);
    EXPECT_EQ(reader->Open(w.c_str(), &plain, nullptr), NS_E_INVALID_REQUEST);  // already open
    // Compressed samples need IWMReaderCallbackAdvanced, which this callback does not offer.
    EXPECT_EQ(advanced->SetReceiveStreamSamples(1, TRUE), E_NOINTERFACE);
    EXPECT_EQ(advanced->SetReceiveStreamSamples(9, TRUE), E_INVALIDARG);
    EXPECT_EQ(reader->Start(0, 0, -1.0f, nullptr), NS_E_INVALID_REQUEST);
    EXPECT_EQ(advanced->DeliverTime(10000000), E_UNEXPECTED);  // no user clock
    ASSERT_EQ(reader->Close(), S_OK);
    advanced->Release();
    reader->Release();
}

TEST(AsfApi, WriterAndEditorRefuseCallsOutOfOrder) {
    kjtest::TempDir dir;
    std::string path = MakeSmall(dir);
    IWMWriter* writer = nullptr;
    ASSERT_EQ(ModuleFactories().createWriter(nullptr, &writer), S_OK);
    auto* advanced = asfcopy::Query<IWMWriterAdvanced>(writer, IID_IWMWriterAdvanced);
    INSSBuffer* sample = nullptr;
    ASSERT_EQ(writer->AllocateSample(16, &sample), S_OK);
    ASSERT_EQ(sample->SetLength(16), S_OK);
    EXPECT_EQ(sample->SetLength(17), E_INVALIDARG);
    EXPECT_EQ(writer->BeginWriting(), NS_E_INVALID_REQUEST);  // no profile, no file name
    EXPECT_EQ(advanced->WriteStreamSample(1, 0, 0, 0, 0, sample), NS_E_INVALID_REQUEST);
    EXPECT_EQ(writer->EndWriting(), NS_E_INVALID_REQUEST);
    DWORD inputs = 0;
    EXPECT_EQ(writer->GetInputCount(&inputs), NS_E_INVALID_REQUEST);
    {
        OpenReader r(path);
        ASSERT_EQ(r.openResult, S_OK);
        IWMProfile* profile = r.Query<IWMProfile>(IID_IWMProfile);
        ASSERT_EQ(writer->SetProfile(profile), S_OK);
        profile->Release();
    }
    std::string out = dir.File("out.wmv");
    std::wstring wout = asfcopy::Wide(out);
    ASSERT_EQ(writer->SetOutputFilename(wout.c_str()), S_OK);
    ASSERT_EQ(writer->GetInputCount(&inputs), S_OK);
    EXPECT_EQ(inputs, 2u);
    EXPECT_EQ(writer->SetInputProps(2, nullptr), E_INVALIDARG);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    EXPECT_EQ(writer->BeginWriting(), NS_E_INVALID_REQUEST);
    EXPECT_EQ(advanced->WriteStreamSample(5, 0, 0, 0, 0, sample), E_INVALIDARG);  // no stream 5
    EXPECT_EQ(advanced->WriteStreamSample(1, 0, 0, 0, WM_SF_CLEANPOINT, nullptr), E_POINTER);
    ASSERT_EQ(advanced->WriteStreamSample(1, 0, 0, 1000000, WM_SF_CLEANPOINT, sample), S_OK);
    ASSERT_EQ(writer->EndWriting(), S_OK);
    EXPECT_EQ(writer->EndWriting(), NS_E_INVALID_REQUEST);
    sample->Release();
    advanced->Release();
    writer->Release();
    // A one-sample file is still a file other readers take.
    EXPECT_EQ(kjtest::CountPackets(out, "v:0"), 1);

    // An editor closed without changes leaves the file as it was; a second Close is refused.
    auto before = kjtest::ReadFileBytes(out);
    IWMMetadataEditor* editor = nullptr;
    ASSERT_EQ(ModuleFactories().createEditor(&editor), S_OK);
    EXPECT_EQ(editor->Close(), NS_E_INVALID_REQUEST);
    ASSERT_EQ(editor->Open(wout.c_str()), S_OK);
    EXPECT_EQ(editor->Open(wout.c_str()), NS_E_INVALID_REQUEST);
    ASSERT_EQ(editor->Flush(), S_OK);
    EXPECT_EQ(editor->Close(), NS_E_INVALID_REQUEST);
    editor->Release();
    EXPECT_EQ(kjtest::ReadFileBytes(out), before);
}
