// Loads the built WMVCore module and drives its reader the way the join does, recording what
// the callbacks see. Every wait has a time limit so that a fault shows as a failure, not a hang.
#pragma once

#include <dlfcn.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "engines/asf/tools/copy_driver.h"
#include "tests/support/media_fixtures.h"

namespace asftest {

inline const asfcopy::Factories& ModuleFactories() {
    static asfcopy::Factories f = [] {
        asfcopy::Factories out;
        void* h = dlopen((kjtest::BinDir() + "/libWMVCore.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (h != nullptr) {
            out.createReader = reinterpret_cast<WMCreateReaderFn>(dlsym(h, "WMCreateReader"));
            out.createWriter = reinterpret_cast<WMCreateWriterFn>(dlsym(h, "WMCreateWriter"));
            out.createEditor = reinterpret_cast<WMCreateEditorFn>(dlsym(h, "WMCreateEditor"));
        }
        return out;
    }();
    return f;
}

struct SampleRecord {
    WORD stream;
    QWORD time;
    QWORD duration;
    DWORD flags;
    size_t size;
    uint64_t clockBefore;  // the last clock granted when the sample came
};

// Records samples and clock steps; advances the user clock by `step` on every OnTime.
class Recorder final : public OwnedComObject<IWMReaderCallback, IWMReaderCallbackAdvanced> {
public:
    IWMReaderAdvanced* reader = nullptr;
    QWORD step = 10000000;
    QWORD clock = 0;
    bool autoAdvance = true;
    std::vector<SampleRecord> samples;
    std::vector<QWORD> times;  // OnTime arguments
    std::vector<WMT_STATUS> statuses;
    HRESULT last = S_OK;
    AutoResetEvent event;
    std::mutex mutex;

    HRESULT OnStatus(WMT_STATUS s, HRESULT hr, WMT_ATTR_DATATYPE, BYTE*, void*) override {
        {
            std::lock_guard lock(mutex);
            statuses.push_back(s);
        }
        if (s == WMT_STARTED) {
            clock = step;
            reader->DeliverTime(clock);
            return S_OK;
        }
        last = hr;
        event.Set();
        return S_OK;
    }
    HRESULT OnSample(DWORD, QWORD, QWORD, DWORD, INSSBuffer*, void*) override {
        last = E_UNEXPECTED;
        event.Set();
        return S_OK;
    }
    HRESULT OnStreamSample(WORD stream, QWORD time, QWORD duration, DWORD flags, INSSBuffer* b,
                           void*) override {
        DWORD length = 0;
        b->GetLength(&length);
        std::lock_guard lock(mutex);
        samples.push_back({stream, time, duration, flags, length, clock});
        return S_OK;
    }
    HRESULT OnTime(QWORD t, void*) override {
        {
            std::lock_guard lock(mutex);
            times.push_back(t);
        }
        if (autoAdvance) {
            clock += step;
            reader->DeliverTime(clock);
        } else {
            event.Set();
        }
        return S_OK;
    }
    HRESULT OnStreamSelection(WORD, WORD*, WMT_STREAM_SELECTION*, void*) override { return S_OK; }
    HRESULT OnOutputPropsChanged(DWORD, WM_MEDIA_TYPE*, void*) override { return S_OK; }
    HRESULT AllocateForStream(WORD, DWORD, INSSBuffer**, void*) override { return E_NOTIMPL; }
    HRESULT AllocateForOutput(DWORD, DWORD, INSSBuffer**, void*) override { return E_NOTIMPL; }

    // Waits for the next status report; false when none came in time.
    bool Wait(int seconds = 60) { return event.WaitFor(std::chrono::seconds(seconds)); }
};

// A reader opened on a file, with every stream's samples requested and the user clock on.
struct OpenReader {
    IWMReader* reader = nullptr;
    IWMReaderAdvanced* advanced = nullptr;
    Recorder recorder;
    HRESULT openResult = E_FAIL;

    explicit OpenReader(const std::string& path) {
        if (FAILED(ModuleFactories().createReader(nullptr, 0, &reader))) {
            return;
        }
        advanced = asfcopy::Query<IWMReaderAdvanced>(reader, IID_IWMReaderAdvanced);
        recorder.reader = advanced;
        std::wstring wide = asfcopy::Wide(path);
        if (FAILED(reader->Open(wide.c_str(), &recorder, nullptr)) || !recorder.Wait()) {
            return;
        }
        openResult = recorder.last;
        if (FAILED(openResult)) {
            return;
        }
        IWMProfile* profile = asfcopy::Query<IWMProfile>(reader, IID_IWMProfile);
        DWORD count = 0;
        profile->GetStreamCount(&count);
        advanced->SetManualStreamSelection(TRUE);
        for (DWORD i = 0; i < count; ++i) {
            IWMStreamConfig* config = nullptr;
            profile->GetStream(i, &config);
            WORD number = 0;
            config->GetStreamNumber(&number);
            config->Release();
            advanced->SetReceiveStreamSamples(number, TRUE);
        }
        profile->Release();
        advanced->SetUserProvidedClock(TRUE);
    }

    // Start to the end; the result of the input's end (S_OK at WMT_END_OF_FILE), E_ABORT when
    // no end came in time.
    HRESULT ReadToEnd(bool* ended = nullptr) {
        HRESULT started = reader->Start(0, 0, 1.0f, nullptr);
        if (FAILED(started)) {
            return started;
        }
        if (!recorder.Wait()) {
            return E_ABORT;
        }
        if (ended != nullptr) {
            *ended = !recorder.statuses.empty() && recorder.statuses.back() == WMT_END_OF_FILE;
        }
        HRESULT hr = recorder.last;
        reader->Stop();
        recorder.Wait();
        return hr;
    }

    template <typename T>
    T* Query(REFIID iid) {
        return asfcopy::Query<T>(reader, iid);
    }

    ~OpenReader() {
        if (reader != nullptr) {
            reader->Close();
            SafeRelease(advanced);
            reader->Release();
        }
    }
};

}  // namespace asftest
