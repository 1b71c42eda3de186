#include "kinds/odd_inputs.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include "job/job_state.h"
#include "job/join_host.h"
#include "job/join_report.h"
#include "kinds/check_facts.h"
#include "mcljoin/mcl_api.h"
#include "platform/hidden_output.h"

namespace {

constexpr size_t kReasonBytes = 1024;
constexpr size_t kTimeTextBytes = 16;
// What copying a second of an input costs against encoding one, for the progress bar: a copy
// runs at the disk's pace, some twenty times the encoder's.
constexpr double kCopiedSecondCost = 0.05;

// Whether `other` differs from `first` in a way the row's join refuses.
bool Refused(const KindRow& row, const JoinCheckFacts& first, const JoinCheckFacts& other) {
    auto refuses = [&](const CheckRule& rule) {
        std::optional<CheckFinding> finding = rule(first, other);
        return finding && finding->refuses;
    };
    return std::any_of(JoinCheckRules().begin(), JoinCheckRules().end(), refuses) ||
           std::any_of(row.rules.begin(), row.rules.end(), refuses);
}

// Asks the module about every file of `facts` that the row's join would refuse: `plan` gets
// which it can encode to match the first and why not the others; `frameRates` (per input) the
// rate each one that can is encoded at, 0 for the rest.
void AskAboutOddFiles(const KindRow& row, const std::vector<JoinCheckFacts>& facts, ListPlan* plan,
                      std::vector<double>* frameRates) {
    plan->encodeInputs.assign(facts.size(), false);
    plan->whyNotEncoded.assign(facts.size(), std::string());
    frameRates->assign(facts.size(), 0.0);
    for (size_t i = 1; MclApi.MclPlanMatch != nullptr && i < facts.size(); ++i) {
        // Another kind of file is refused by the designed checks, never encoded.
        if (facts[i].kind != facts.front().kind || !Refused(row, facts.front(), facts[i])) {
            continue;
        }
        std::array<char, kReasonBytes> reason{};
        int answer = MclApi.MclPlanMatch(facts.front().path.c_str(), facts[i].path.c_str(),
                                         &(*frameRates)[i], reason.data(),
                                         static_cast<int32_t>(reason.size()));
        if (answer == 1) {
            plan->encodeInputs[i] = true;
        } else if (answer == 0) {
            plan->whyNotEncoded[i] = reason.data();
        }
    }
}

ListPlan PlanOddInputs(const KindRow& row, JoinHost& host, std::vector<JoinCheckFacts>& facts) {
    ListPlan plan = row.planList ? row.planList(host, facts) : ListPlan{};
    std::vector<double> frameRates;
    AskAboutOddFiles(row, facts, &plan, &frameRates);
    return plan;
}

// The job's host with the odd inputs read from their encoded stand-ins, and the join's progress
// on the part of the bar the encoding left.
class StandInHost : public JoinHost {
public:
    StandInHost(JoinHost& host, std::vector<JoinInput> inputs, int percentBefore)
        : m_host(host), m_inputs(std::move(inputs)), m_before(percentBefore) {}

    const std::vector<JoinInput>& Inputs() const override { return m_inputs; }
    bool WmEntryPointsLoaded() const override { return m_host.WmEntryPointsLoaded(); }
    const Module* RealMediaModule() const override { return m_host.RealMediaModule(); }
    void PostJoinPercent(int percent) override { m_host.PostJoinPercent(Scaled(percent)); }
    void PostJoinProgress(int percent) override { m_host.PostJoinProgress(Scaled(percent)); }
    void SetStatusText(const std::string& text) override { m_host.SetStatusText(text); }
    void SetProgress(int percent) override { m_host.SetProgress(Scaled(percent)); }
    void PumpMessages() override { m_host.PumpMessages(); }
    void MessageBox(const std::string& text) override { m_host.MessageBox(text); }
    std::string ResourceString(int id) const override { return m_host.ResourceString(id); }

private:
    int Scaled(int percent) const {
        return m_before + std::clamp(percent, 0, 100) * (100 - m_before) / 100;
    }

    JoinHost& m_host;
    std::vector<JoinInput> m_inputs;
    int m_before;
};

// The encoding's progress, for the module's callback (one join runs at a time).
struct EncodingProgress {
    std::mutex mutex;
    JoinHost* host = nullptr;
    std::string name;          // of the file being encoded
    int32_t totalFrames = 0;   // of that file at the first file's rate
    double percentBefore = 0;  // of the bar, at this file's start
    double percentOfFile = 0;  // of the bar this file takes
    int lastPercent = -1;
    double rate = 0;  // frames a second the module counts in
};
EncodingProgress g_encoding;

void EncodingProgressCallback(MclHandle conversion, int32_t status, int32_t frame, int32_t) {
    std::lock_guard<std::mutex> lock(g_encoding.mutex);
    if (g_encoding.host != nullptr && status == 3 && g_encoding.totalFrames > 0) {
        frame = std::min(frame, g_encoding.totalFrames);
        double share = static_cast<double>(frame) / g_encoding.totalFrames;
        int percent = static_cast<int>(g_encoding.percentBefore + share * g_encoding.percentOfFile);
        // A line for each step of the bar, not for every frame.
        if (percent != g_encoding.lastPercent) {
            g_encoding.lastPercent = percent;
            std::array<char, kTimeTextBytes> left{};
            MclApi.MclMakeTimeStr(MclApi.MclGetRemainingTime(conversion, g_encoding.totalFrames, 0),
                                  left.data());
            left.back() = '\0';
            char text[512];
            double rate = g_encoding.rate > 0 ? g_encoding.rate : 1.0;
            std::snprintf(text, sizeof text,
                          "Encoding %s to match the first file: %.1f s of %.1f s, Time Left: %s",
                          g_encoding.name.c_str(), frame / rate, g_encoding.totalFrames / rate,
                          left.data());
            std::lock_guard<std::mutex> jobLock(g_jobLock);
            g_statusText = text;
            g_encoding.host->PostJoinProgress(percent);
        }
    }
    if (g_stopRequested != 0) {
        MclApi.MclAbort(conversion);
    }
}

std::string ModuleErrorText() {
    std::array<char, kReasonBytes> text{};
    if (MclApi.MclGetErrorText != nullptr) {
        MclApi.MclGetErrorText(text.data(), static_cast<int32_t>(text.size()));
    }
    return text.data();
}

// Encodes input `index` of `inputs` to match the first into `file`: 1, or 0 with the reason in
// g_errorText.
int EncodeStandIn(const std::vector<JoinInput>& inputs, size_t index, const HiddenOutput& file) {
    MclHandle conversion = MclApi.MclAlloc();
    MclApi.MclAssignProgress(conversion, EncodingProgressCallback);
    int32_t result = MclApi.MclEncodeToMatch(conversion, inputs.front().path.c_str(),
                                             inputs[index].path.c_str(), file.WritePath().c_str());
    std::string why = result != 0 ? ModuleErrorText() : std::string();
    MclApi.MclFree(conversion);
    if (result == 0) {
        return 1;
    }
    g_errorText = g_stopRequested != 0
                      ? std::string("Abort by user request")
                      : "Cannot encode " + CheckFileName(inputs[index].path) +
                            " to match the first file: " +
                            (why.empty() ? "error " + std::to_string(result) : why);
    return 0;
}

int JoinWithOddInputsEncoded(const KindRow& row, JoinHost& host, const std::string& outputPath) {
    // The files the check found odd, asked about again: the list may have changed on the disk
    // since, and the encode needs each one's rate.
    std::vector<JoinCheckFacts> facts;
    for (const JoinInput& input : host.Inputs()) {
        facts.push_back(ReadCheckFacts(input.info));
    }
    ListPlan plan;
    std::vector<double> frameRates;
    AskAboutOddFiles(row, facts, &plan, &frameRates);
    const std::vector<bool>& encode = plan.encodeInputs;
    if (MclApi.MclEncodeToMatch == nullptr ||
        std::find(encode.begin(), encode.end(), true) == encode.end()) {
        return row.engine(host, outputPath);
    }
    std::vector<JoinInput> inputs = host.Inputs();
    // The bar: each encoded second counts 1, each second of the join that follows a twentieth.
    double encodedSeconds = 0;
    double allSeconds = 0;
    for (size_t i = 0; i < inputs.size(); ++i) {
        double seconds = std::max(0.0, static_cast<double>(inputs[i].info.m_fDuration));
        allSeconds += seconds;
        encodedSeconds += i < encode.size() && encode[i] ? seconds : 0;
    }
    double units = encodedSeconds + kCopiedSecondCost * allSeconds;

    std::vector<std::unique_ptr<HiddenOutput>> standIns;
    std::map<size_t, std::string> originals;
    // Beside the output, so that they take no other disk's room.
    std::filesystem::path folder = HiddenOutput::FolderOf(outputPath);
    std::string extension = std::filesystem::path(inputs.front().path).extension().string();
    double percentBefore = 0;
    for (size_t i = 1; i < inputs.size(); ++i) {
        if (i >= encode.size() || !encode[i]) {
            continue;
        }
        auto file = std::make_unique<HiddenOutput>();
        if (int failure = file->Open((folder / (".kjoin-match" + extension)).string())) {
            g_errorText = "Cannot make a file in " + folder.string() + " to encode " +
                          CheckFileName(inputs[i].path) + " in: " + std::strerror(failure);
            return 0;
        }
        double seconds = std::max(0.0, static_cast<double>(inputs[i].info.m_fDuration));
        double rate = frameRates[i];
        {
            std::lock_guard<std::mutex> lock(g_encoding.mutex);
            g_encoding.host = &host;
            g_encoding.lastPercent = -1;
            g_encoding.rate = rate;
            g_encoding.name = CheckFileName(inputs[i].path);
            g_encoding.totalFrames = static_cast<int32_t>(std::lround(seconds * rate));
            g_encoding.percentBefore = percentBefore;
            g_encoding.percentOfFile = units > 0 ? 100.0 * seconds / units : 0;
        }
        int encoded = EncodeStandIn(inputs, i, *file);
        {
            std::lock_guard<std::mutex> lock(g_encoding.mutex);
            g_encoding.host = nullptr;
            percentBefore += g_encoding.percentOfFile;
        }
        if (encoded == 0) {
            return 0;
        }
        originals[i] = inputs[i].path;
        inputs[i].path = file->WritePath();
        inputs[i].info.m_strPath = file->WritePath();
        standIns.push_back(std::move(file));
    }
    host.SetStatusText(std::string());  // the join says its own, or nothing
    StandInHost standInHost(host, std::move(inputs), static_cast<int>(percentBefore));
    int joined = row.engine(standInHost, outputPath);
    // What the join says names the user's files, not the stand-ins.
    for (const auto& [index, own] : originals) {
        const std::string& standIn = standInHost.Inputs()[index].path;
        for (size_t at = g_errorText.find(standIn); at != std::string::npos;
             at = g_errorText.find(standIn, at + 1)) {
            // "/proc/self/fd/1" is also the start of "/proc/self/fd/12".
            size_t after = at + standIn.size();
            if (after < g_errorText.size() &&
                std::isdigit(static_cast<unsigned char>(g_errorText[after]))) {
                continue;
            }
            g_errorText.replace(at, standIn.size(), own);
        }
        if (joined != 0) {
            ReportInputEncoded(index);
        }
    }
    return joined;
}

}  // namespace

KindRow WithOddInputsEncoded(const KindRow& row) {
    KindRow decorated = row;
    decorated.usesConversionModule = true;
    decorated.planList = [row](JoinHost& host, std::vector<JoinCheckFacts>& facts) {
        return PlanOddInputs(row, host, facts);
    };
    decorated.engine = [row](JoinHost& host, const std::string& outputPath) {
        return JoinWithOddInputsEncoded(row, host, outputPath);
    };
    return decorated;
}
