#include "rmjoin/rm_join.h"

#include <cstdio>

#include "job/job_state.h"
#include "job/join_host.h"
#include "job/join_report.h"
#include "platform/module.h"
#include "rmjoin/rm_input_report.h"
#include "rmjoin/rm_progress_sink.h"

std::string RmErrorText(HRESULT code) {
    struct Entry {
        uint32_t code;
        const char* text;
    };
    static constexpr Entry kTable[] = {
        {0x80040009u, "Unexpected error"},
        {0x8004000Eu, "Unsupport video format"},
        {0x8004000Fu, "Unsupport audio format"},
        {0x800403C7u, "The audio stream of the source files are mismatch"},
        {0x800403C8u, "The video stream of the source files are mismatch"},
        {0x800403D4u, "There is no data in the input file."},
        {0x800403D5u, "The video or audio stream is empty"},
        {0x800403D6u, "The file is read only"},
        {0x800403D7u, "Can't find matched audio stream in the source files"},
        {0x800403D8u, "Can't find matched video stream in the source files"},
        {0x800403D9u, "Source Video has been encrypted."},
    };
    const char* description = "Unknown error";
    for (const Entry& e : kTable) {
        if (e.code == static_cast<uint32_t>(code)) {
            description = e.text;
        }
    }
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "error code:->%X; ", static_cast<uint32_t>(code));
    return std::string(prefix) + description;
}

namespace {
// The interfaces of one edit object, released together.
struct EditInterfaces {
    IUnknown* created = nullptr;
    IRMAEdit* edit = nullptr;
    IRMAEdit2* second = nullptr;
    IRMAEditProgressAdvise* advise = nullptr;
    ~EditInterfaces() {
        SafeRelease(created);
        SafeRelease(edit);
        SafeRelease(second);
        SafeRelease(advise);
    }
};

int EngineNotStarted(const std::string& why) {
    g_errorText = "The Real Media engine could not be started: " + why + ".";
    return 0;
}
}  // namespace

int JoinRealMediaFiles(JoinHost& host, const std::string& outputPath) {
    RmProgressSink sink(host);
    const Module* module = host.RealMediaModule();
    if (module == nullptr) {
        g_errorText = "Failed to load rm related dll.";
        host.MessageBox(g_errorText);
        return 0;
    }
    auto create = module->ResolveAs<RMACreateRMEditFn>("RMACreateRMEdit");
    if (create == nullptr) {
        return EngineNotStarted("its module has no \"RMACreateRMEdit\"");
    }
    EditInterfaces it;
    HRESULT hr = create(&it.created);
    if (FAILED(hr) || it.created == nullptr) {
        return EngineNotStarted("the edit object was not created " + HresultHex(hr));
    }
    hr = it.created->QueryInterface(IID_IRMAEdit, reinterpret_cast<void**>(&it.edit));
    if (FAILED(hr) || it.edit == nullptr) {
        it.edit = nullptr;
        return EngineNotStarted("the edit object has no edit interface " + HresultHex(hr));
    }
    hr = it.created->QueryInterface(IID_IRMAEdit2, reinterpret_cast<void**>(&it.second));
    if (FAILED(hr)) {
        it.second = nullptr;
    }
    if (SUCCEEDED(hr) || hr == E_NOINTERFACE) {
        if (FAILED(it.created->QueryInterface(IID_IRMAEditProgressAdvise,
                                              reinterpret_cast<void**>(&it.advise)))) {
            it.advise = nullptr;
        }
    }

    const std::vector<JoinInput>& inputs = host.Inputs();
    if (inputs.empty()) {
        g_errorText = RmErrorText(RMEDIT_E_UNEXPECTED);
        return 0;
    }
    it.edit->SetInputFile(inputs.front().path.c_str(), RMEDIT_FIRST_INPUT);
    for (size_t i = 1; i < inputs.size(); ++i) {
        it.edit->AppendInputFile(inputs[i].path.c_str());
    }
    it.edit->SetOutputFile(outputPath.c_str());
    if (it.advise != nullptr) {
        it.advise->AddProgressSink(&sink);
    }
    hr = it.edit->Run();
    int result = 1;
    if (FAILED(hr)) {
        // Not a success: the engine's own account, or the designed text for its code.
        char text[1024] = {};
        it.edit->GetErrorText(hr, text, sizeof text);
        g_errorText = text[0] != '\0' ? std::string(text) : RmErrorText(hr);
        result = 0;
    } else {
        ReportRmInputs(it.created, inputs);
    }
    if (it.advise != nullptr) {
        it.advise->RemoveProgressSink(&sink);
    }
    return result;
}

void RmNotifyProgress(JoinHost& host, uint32_t percent) {
    if (percent % 3 != 0) {
        return;
    }
    host.SetProgress(static_cast<int>(percent));
    char text[64];
    std::snprintf(text, sizeof text, "%d of the video has been joined...",
                  static_cast<int>(percent));
    host.SetStatusText(text);
    host.PumpMessages();
}

void RmNotifyStart(JoinHost& host) {
    host.SetProgress(0);
    host.SetStatusText("Starting...");
    host.PumpMessages();
}

void RmNotifyComplete(JoinHost& host) {
    host.SetProgress(100);
    host.SetStatusText("Mission Completed...");
    host.PumpMessages();
}
