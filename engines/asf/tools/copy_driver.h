// Copies one ASF file into another through the module's interfaces the way the Windows Media
// join does: a reader on a user-provided clock advanced a second at a time hands compressed
// samples to a writer under the reader's own profile, with header attributes, codec entries and
// scripts carried over before writing and markers through an editor after it.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engines/asf/wmsdk.h"
#include "platform/auto_event.h"

namespace asfcopy {

struct Factories {
    WMCreateReaderFn createReader = nullptr;
    WMCreateWriterFn createWriter = nullptr;
    WMCreateEditorFn createEditor = nullptr;
};

class CopyCallback final : public OwnedComObject<IWMReaderCallback, IWMReaderCallbackAdvanced> {
public:
    IWMReaderAdvanced* reader = nullptr;
    IWMWriterAdvanced* writer = nullptr;
    QWORD clock = 0;
    QWORD shift = 0;  // added to every sample time (the inputs before this one)
    HRESULT status = S_OK;
    HRESULT writeError = S_OK;
    uint64_t samples = 0;
    AutoResetEvent event;

    HRESULT OnStatus(WMT_STATUS s, HRESULT hr, WMT_ATTR_DATATYPE, BYTE*, void*) override {
        switch (s) {
            case WMT_STARTED:
                clock = 10000000;
                reader->DeliverTime(clock);
                break;
            case WMT_OPENED:
            case WMT_END_OF_FILE:
            case WMT_ERROR:
            case WMT_STOPPED:
            case WMT_CLOSED:
                status = hr;
                event.Set();
                break;
            default:
                break;
        }
        return S_OK;
    }
    HRESULT OnSample(DWORD, QWORD, QWORD, DWORD, INSSBuffer*, void*) override {
        status = E_UNEXPECTED;
        event.Set();
        return S_OK;
    }
    HRESULT OnStreamSample(WORD stream, QWORD time, QWORD duration, DWORD flags, INSSBuffer* sample,
                           void*) override {
        ++samples;
        HRESULT hr = writer->WriteStreamSample(stream, shift + time, 0, duration, flags, sample);
        if (FAILED(hr) && SUCCEEDED(writeError)) {
            writeError = hr;
            status = hr;
            event.Set();
        }
        return hr;
    }
    HRESULT OnTime(QWORD, void*) override {
        clock += 10000000;
        reader->DeliverTime(clock);
        return S_OK;
    }
    HRESULT OnStreamSelection(WORD, WORD*, WMT_STREAM_SELECTION*, void*) override { return S_OK; }
    HRESULT OnOutputPropsChanged(DWORD, WM_MEDIA_TYPE*, void*) override { return S_OK; }
    HRESULT AllocateForStream(WORD, DWORD, INSSBuffer**, void*) override { return E_NOTIMPL; }
    HRESULT AllocateForOutput(DWORD, DWORD, INSSBuffer**, void*) override { return E_NOTIMPL; }
};

inline std::wstring Wide(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

template <typename T>
T* Query(IUnknown* from, REFIID iid) {
    void* p = nullptr;
    return SUCCEEDED(from->QueryInterface(iid, &p)) ? static_cast<T*>(p) : nullptr;
}

inline HRESULT CopyHeader(IWMHeaderInfo3* from, IWMHeaderInfo3* to) {
    WORD count = 0;
    HRESULT hr = from->GetAttributeCountEx(0, &count);
    for (WORD i = 0; SUCCEEDED(hr) && i < count; ++i) {
        WORD nameLen = 0;
        DWORD valueLen = 0;
        WMT_ATTR_DATATYPE type;
        WORD lang = 0;
        hr = from->GetAttributeByIndexEx(0, i, nullptr, &nameLen, &type, &lang, nullptr, &valueLen);
        if (FAILED(hr)) {
            break;
        }
        std::vector<WCHAR> name(nameLen);
        std::vector<BYTE> value(valueLen + 1);
        hr = from->GetAttributeByIndexEx(0, i, name.data(), &nameLen, &type, &lang, value.data(),
                                         &valueLen);
        if (SUCCEEDED(hr)) {
            hr = to->SetAttribute(0, name.data(), type, value.data(), static_cast<WORD>(valueLen));
        }
    }
    DWORD codecs = 0;
    if (SUCCEEDED(hr)) {
        hr = from->GetCodecInfoCount(&codecs);
    }
    for (DWORD i = 0; SUCCEEDED(hr) && i < codecs; ++i) {
        WORD nameLen = 0, descLen = 0, infoLen = 0;
        WMT_CODEC_INFO_TYPE type;
        hr = from->GetCodecInfo(i, &nameLen, nullptr, &descLen, nullptr, &type, &infoLen, nullptr);
        std::vector<WCHAR> name(nameLen + 1), desc(descLen + 1);
        std::vector<BYTE> info(infoLen + 1);
        if (SUCCEEDED(hr)) {
            hr = from->GetCodecInfo(i, &nameLen, name.data(), &descLen, desc.data(), &type,
                                    &infoLen, info.data());
        }
        if (SUCCEEDED(hr)) {
            hr = to->AddCodecInfo(name.data(), desc.data(), type, infoLen, info.data());
        }
    }
    WORD scripts = 0;
    if (SUCCEEDED(hr)) {
        hr = from->GetScriptCount(&scripts);
    }
    for (WORD i = 0; SUCCEEDED(hr) && i < scripts; ++i) {
        WORD typeLen = 0, cmdLen = 0;
        QWORD time = 0;
        hr = from->GetScript(i, nullptr, &typeLen, nullptr, &cmdLen, &time);
        std::vector<WCHAR> type(typeLen), cmd(cmdLen);
        if (SUCCEEDED(hr)) {
            hr = from->GetScript(i, type.data(), &typeLen, cmd.data(), &cmdLen, &time);
        }
        if (SUCCEEDED(hr)) {
            hr = to->AddScript(type.data(), cmd.data(), time);
        }
    }
    return hr;
}

inline HRESULT CopyMarkers(IWMHeaderInfo* from, IWMHeaderInfo* to) {
    WORD count = 0;
    HRESULT hr = from->GetMarkerCount(&count);
    for (WORD i = 0; SUCCEEDED(hr) && i < count; ++i) {
        WORD len = 0;
        QWORD time = 0;
        hr = from->GetMarker(i, nullptr, &len, &time);
        std::vector<WCHAR> name(len);
        if (SUCCEEDED(hr)) {
            hr = from->GetMarker(i, name.data(), &len, &time);
        }
        if (SUCCEEDED(hr)) {
            hr = to->AddMarker(name.data(), time);
        }
    }
    return hr;
}

// Copies `input` to `output`; the failing step's result, S_OK when the copy is complete.
// `beforeWriting` may add header items through the writer's header before writing begins.
inline HRESULT CopyFile(const Factories& f, const std::string& input, const std::string& output,
                        uint64_t* samplesOut = nullptr,
                        const std::function<HRESULT(IWMHeaderInfo3*)>& beforeWriting = {}) {
    IWMReader* reader = nullptr;
    IWMWriter* writer = nullptr;
    HRESULT hr = f.createReader(nullptr, 0, &reader);
    if (FAILED(hr)) {
        return hr;
    }
    hr = f.createWriter(nullptr, &writer);
    if (FAILED(hr)) {
        reader->Release();
        return hr;
    }
    CopyCallback cb;
    cb.reader = Query<IWMReaderAdvanced>(reader, IID_IWMReaderAdvanced);
    cb.writer = Query<IWMWriterAdvanced>(writer, IID_IWMWriterAdvanced);
    std::wstring in = Wide(input), out = Wide(output);
    IWMProfile* profile = nullptr;
    IWMHeaderInfo3* fromInfo = nullptr;
    IWMHeaderInfo3* toInfo = nullptr;
    hr = reader->Open(in.c_str(), &cb, nullptr);
    if (SUCCEEDED(hr)) {
        cb.event.Wait();
        hr = cb.status;
    }
    if (SUCCEEDED(hr)) {
        profile = Query<IWMProfile>(reader, IID_IWMProfile);
        hr = profile ? S_OK : E_NOINTERFACE;
    }
    DWORD streams = 0;
    if (SUCCEEDED(hr)) {
        hr = profile->GetStreamCount(&streams);
    }
    if (SUCCEEDED(hr)) {
        hr = cb.reader->SetManualStreamSelection(TRUE);
    }
    for (DWORD i = 0; SUCCEEDED(hr) && i < streams; ++i) {
        IWMStreamConfig* config = nullptr;
        hr = profile->GetStream(i, &config);
        WORD number = 0;
        if (SUCCEEDED(hr)) {
            hr = config->GetStreamNumber(&number);
            config->Release();
        }
        if (SUCCEEDED(hr)) {
            hr = cb.reader->SetReceiveStreamSamples(number, TRUE);
        }
    }
    if (SUCCEEDED(hr)) {
        hr = cb.reader->SetUserProvidedClock(TRUE);
    }
    if (SUCCEEDED(hr)) {
        hr = writer->SetProfile(profile);
    }
    if (SUCCEEDED(hr)) {
        hr = writer->SetOutputFilename(out.c_str());
    }
    DWORD inputs = 0;
    if (SUCCEEDED(hr)) {
        hr = writer->GetInputCount(&inputs);
    }
    for (DWORD i = 0; SUCCEEDED(hr) && i < inputs; ++i) {
        hr = writer->SetInputProps(i, nullptr);
    }
    if (SUCCEEDED(hr)) {
        fromInfo = Query<IWMHeaderInfo3>(reader, IID_IWMHeaderInfo3);
        toInfo = Query<IWMHeaderInfo3>(writer, IID_IWMHeaderInfo3);
        hr = fromInfo && toInfo ? CopyHeader(fromInfo, toInfo) : E_NOINTERFACE;
    }
    if (SUCCEEDED(hr) && beforeWriting) {
        hr = beforeWriting(toInfo);
    }
    if (SUCCEEDED(hr)) {
        hr = writer->BeginWriting();
    }
    if (SUCCEEDED(hr)) {
        hr = reader->Start(0, 0, 1.0f, nullptr);
    }
    if (SUCCEEDED(hr)) {
        cb.event.Wait();
        hr = cb.status;
        HRESULT stop = reader->Stop();
        if (SUCCEEDED(stop)) {
            cb.event.Wait();
        }
    }
    if (SUCCEEDED(hr)) {
        hr = writer->EndWriting();
    }
    if (SUCCEEDED(hr) && f.createEditor != nullptr) {
        IWMMetadataEditor* editor = nullptr;
        hr = f.createEditor(&editor);
        if (SUCCEEDED(hr)) {
            hr = editor->Open(out.c_str());
            IWMHeaderInfo* edInfo =
                SUCCEEDED(hr) ? Query<IWMHeaderInfo>(editor, IID_IWMHeaderInfo) : nullptr;
            if (edInfo != nullptr) {
                hr = CopyMarkers(fromInfo, edInfo);
                edInfo->Release();
                HRESULT closed = editor->Close();
                hr = FAILED(hr) ? hr : closed;
            }
            editor->Release();
        }
    }
    if (samplesOut != nullptr) {
        *samplesOut = cb.samples;
    }
    reader->Close();
    SafeRelease(fromInfo);
    SafeRelease(toInfo);
    SafeRelease(profile);
    SafeRelease(cb.reader);
    SafeRelease(cb.writer);
    writer->Release();
    reader->Release();
    return hr;
}

// Joins inputs of one layout end to end through one writer: input n starts at the sum of the
// final clocks (whole seconds) of the inputs before it, a plain placement for trying the
// writer (the Windows Media join places inputs where the samples before them end); the first
// input's profile and header go to the output. Stream numbers must be the same in every input.
inline HRESULT JoinFiles(const Factories& f, const std::vector<std::string>& inputs,
                         const std::string& output) {
    IWMWriter* writer = nullptr;
    HRESULT hr = f.createWriter(nullptr, &writer);
    if (FAILED(hr)) {
        return hr;
    }
    auto* writerAdvanced = Query<IWMWriterAdvanced>(writer, IID_IWMWriterAdvanced);
    std::wstring out = Wide(output);
    QWORD shift = 0;
    for (size_t n = 0; SUCCEEDED(hr) && n < inputs.size(); ++n) {
        IWMReader* reader = nullptr;
        hr = f.createReader(nullptr, 0, &reader);
        if (FAILED(hr)) {
            break;
        }
        CopyCallback cb;
        cb.reader = Query<IWMReaderAdvanced>(reader, IID_IWMReaderAdvanced);
        cb.writer = writerAdvanced;
        cb.shift = shift;
        std::wstring in = Wide(inputs[n]);
        hr = reader->Open(in.c_str(), &cb, nullptr);
        if (SUCCEEDED(hr)) {
            cb.event.Wait();
            hr = cb.status;
        }
        IWMProfile* profile = SUCCEEDED(hr) ? Query<IWMProfile>(reader, IID_IWMProfile) : nullptr;
        DWORD streams = 0;
        if (SUCCEEDED(hr)) {
            hr = profile->GetStreamCount(&streams);
        }
        for (DWORD i = 0; SUCCEEDED(hr) && i < streams; ++i) {
            IWMStreamConfig* config = nullptr;
            WORD number = 0;
            hr = profile->GetStream(i, &config);
            if (SUCCEEDED(hr)) {
                config->GetStreamNumber(&number);
                config->Release();
                hr = cb.reader->SetReceiveStreamSamples(number, TRUE);
            }
        }
        if (SUCCEEDED(hr)) {
            hr = cb.reader->SetUserProvidedClock(TRUE);
        }
        if (SUCCEEDED(hr) && n == 0) {
            hr = writer->SetProfile(profile);
            if (SUCCEEDED(hr)) {
                hr = writer->SetOutputFilename(out.c_str());
            }
            auto* from = Query<IWMHeaderInfo3>(reader, IID_IWMHeaderInfo3);
            auto* to = Query<IWMHeaderInfo3>(writer, IID_IWMHeaderInfo3);
            if (SUCCEEDED(hr)) {
                hr = CopyHeader(from, to);
            }
            SafeRelease(from);
            SafeRelease(to);
            if (SUCCEEDED(hr)) {
                hr = writer->BeginWriting();
            }
        }
        if (SUCCEEDED(hr)) {
            hr = reader->Start(0, 0, 1.0f, nullptr);
        }
        if (SUCCEEDED(hr)) {
            cb.event.Wait();
            hr = cb.status;
            if (SUCCEEDED(reader->Stop())) {
                cb.event.Wait();
            }
        }
        shift += cb.clock;
        reader->Close();
        SafeRelease(profile);
        SafeRelease(cb.reader);
        reader->Release();
    }
    if (SUCCEEDED(hr)) {
        hr = writer->EndWriting();
    }
    SafeRelease(writerAdvanced);
    writer->Release();
    return hr;
}

}  // namespace asfcopy
