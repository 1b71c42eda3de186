#include "cli/join_command.h"
#include "cli/probe_command.h"

#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <memory>
#include <mutex>

#include "job/job_state.h"
#include "job/join_host.h"
#include "job/join_engines.h"
#include "job/join_job.h"
#include "mcljoin/mcl_api.h"
#include "platform/module.h"
#include "probe/probe_media_file.h"
#include "res/resources.h"
#include "rmjoin/rm_sdk.h"
#include "wmjoin/wm_entry_points.h"

namespace {

struct JoinOptions {
    std::string output;
    bool overwrite = false;
    std::vector<std::string> files;
};

// Ctrl+C asks the engine to stop, as the stop question answered yes does; a second one ends
// the program at once.
void OnInterrupt(int) {
    g_stopRequested = 1;
    std::signal(SIGINT, SIG_DFL);
}

// The terminal's side of the job: progress on standard error, a live line on a terminal.
class TerminalJoinHost : public JoinHost {
public:
    TerminalJoinHost(std::vector<JoinInput> inputs, FILE* err)
        : m_inputs(std::move(inputs)), m_err(err), m_live(isatty(fileno(err)) != 0) {
        m_hConversion = Module::Load("zivuvore");
        LoadMclApi(m_hConversion.get());
        m_hRealMedia = LoadRealMediaSdk();
        m_hWindowsMedia = Module::Load("WMVCore");
        m_bWmEntryPoints = m_hWindowsMedia != nullptr && LoadWmEntryPoints(*m_hWindowsMedia);
    }
    ~TerminalJoinHost() override {
        EndLiveLine();
        LoadMclApi(nullptr);
    }

    const std::vector<JoinInput>& Inputs() const override { return m_inputs; }
    bool WmEntryPointsLoaded() const override { return m_bWmEntryPoints; }
    const Module* RealMediaModule() const override { return m_hRealMedia.get(); }

    void PostJoinPercent(int percent) override { Show(percent, m_status); }
    void PostJoinProgress(int percent) override { Show(percent, JobStatusText()); }
    void SetStatusText(const std::string& text) override { Show(m_percent, text); }
    void SetProgress(int percent) override { Show(percent, m_status); }
    void PumpMessages() override { QCoreApplication::processEvents(); }

    void MessageBox(const std::string& text) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        EndLiveLineLocked();
        std::fprintf(m_err, "kjoin: %s\n", text.c_str());
        m_lastMessage = text;
    }
    // The last message shown, so the final reason is not printed twice.
    std::string LastMessage() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lastMessage;
    }
    std::string ResourceString(int id) const override { return res::String(id).toStdString(); }

private:
    void Show(int percent, const std::string& status) {
        std::lock_guard<std::mutex> lock(m_mutex);
        percent = std::clamp(percent, 0, 100);
        if (percent == m_percent && status == m_status && m_shownOnce) {
            return;
        }
        m_percent = percent;
        m_status = status;
        m_shownOnce = true;
        if (m_live) {
            std::fprintf(m_err, "\r\033[K[%3d%%] %s", percent, status.c_str());
            m_lineOpen = true;
        } else {
            std::fprintf(m_err, "%d%% %s\n", percent, status.c_str());
        }
        std::fflush(m_err);
    }
    void EndLiveLine() {
        std::lock_guard<std::mutex> lock(m_mutex);
        EndLiveLineLocked();
    }
    void EndLiveLineLocked() {
        if (m_lineOpen) {
            std::fputc('\n', m_err);
            m_lineOpen = false;
        }
    }

    std::vector<JoinInput> m_inputs;
    FILE* m_err;
    bool m_live;
    std::mutex m_mutex;
    int m_percent = 0;
    std::string m_status;
    std::string m_lastMessage;
    bool m_shownOnce = false;
    bool m_lineOpen = false;
    std::unique_ptr<Module> m_hConversion;
    std::unique_ptr<Module> m_hRealMedia;
    std::unique_ptr<Module> m_hWindowsMedia;
    bool m_bWmEntryPoints = false;
};

bool ParseOptions(const QStringList& arguments, JoinOptions& options, FILE* err) {
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("-o") || argument == QLatin1String("--output")) {
            if (i + 1 >= arguments.size()) {
                std::fprintf(err, "kjoin join: -o needs the output file's name\n");
                return false;
            }
            options.output = arguments[++i].toStdString();
        } else if (argument == QLatin1String("-y") || argument == QLatin1String("--overwrite")) {
            options.overwrite = true;
        } else if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            std::fprintf(err, "kjoin join: unknown option %s (kjoin join --help)\n",
                         qPrintable(argument));
            return false;
        } else {
            options.files.push_back(argument.toStdString());
        }
    }
    return true;
}

int Refuse(FILE* err, const std::string& text) {
    std::fprintf(err, "kjoin: %s\n", text.c_str());
    return 1;
}

}  // namespace

int RunJoinCommand(const QStringList& arguments, FILE* out, FILE* err) {
    JoinOptions options;
    if (!ParseOptions(arguments, options, err)) {
        return 1;
    }
    auto resources = Module::Load("rvkhelper");
    if (resources == nullptr) {
        return Refuse(err, "cannot load the resource module " + ModuleFileName("rvkhelper") +
                               " (looked in " + ModuleFolder() + "). Reinstall Kelvane Joiner.");
    }

    // Probe every file in order, as adding them to the list does.
    ProbeModules probeModules;
    std::vector<JoinInput> inputs;
    std::vector<std::unique_ptr<MediaFileInfo>> records;
    for (const std::string& file : options.files) {
        ProbeError error;
        std::unique_ptr<MediaFileInfo> record = ProbeMediaFile(file, &error);
        if (record == nullptr) {
            return Refuse(err, file + ": " + error.reason);
        }
        records.push_back(std::move(record));
    }
    std::vector<const MediaFileInfo*> rows;
    for (const auto& record : records) {
        rows.push_back(record.get());
        inputs.push_back({record->m_strPath, *record});
    }
    if (int refusal = CheckJoinList(rows)) {
        return Refuse(err, res::String(refusal).toStdString());
    }

    std::string output =
        options.output.empty() ? ProposedJoinName(inputs.front().path) : options.output;
    std::string overwritesInput = OutputOverwritesInput(inputs, output);
    if (!overwritesInput.empty()) {
        return Refuse(err, overwritesInput);
    }
    std::error_code ec;
    if (!options.overwrite && std::filesystem::exists(output, ec)) {
        return Refuse(err, output + " already exists; add -y to replace it.");
    }

    MediaKind kind = inputs.front().info.m_nKind;
    TerminalJoinHost host(std::move(inputs), err);
    g_outputPath = output;
    g_errorText.clear();
    g_stopRequested = 0;
    g_firstRowKind = kind;
    g_joinResult = 0;
    auto previousHandler = std::signal(SIGINT, OnInterrupt);
    JoinEngine engine = EngineForKind(kind);
    g_joinResult =
        JoinOntoOutput(output, [&](const std::string& target) { return engine(host, target); });
    std::signal(SIGINT, previousHandler);

    if (g_joinResult == 0) {
        if (g_stopRequested != 0) {
            return Refuse(err, "the join was stopped; " + output + " was not changed.");
        }
        if (!g_errorText.empty() && g_errorText == host.LastMessage()) {
            return 1;
        }
        return Refuse(err, g_errorText.empty() ? std::string("the join failed.") : g_errorText);
    }
    std::fprintf(out, "%s\n", output.c_str());
    return 0;
}
