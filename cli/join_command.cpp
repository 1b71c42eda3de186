#include "cli/join_command.h"
#include "cli/probe_command.h"

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>

#include "cli/arguments.h"
#include "cli/cli_text.h"
#include "job/job_state.h"
#include "job/join_check.h"
#include "job/join_host.h"
#include "job/join_job.h"
#include "job/join_options.h"
#include "job/join_report.h"
#include "job/kind_table.h"
#include "kinds/check_facts.h"
#include "kinds/join_engines.h"
#include "kinds/list_check.h"
#include "mcljoin/mcl_api.h"
#include "platform/module.h"
#include "platform/stop_signals.h"
#include "probe/probe_media_file.h"
#include "res/resources.h"
#include "rmjoin/rm_sdk.h"
#include "wmjoin/wm_entry_points.h"

namespace {

struct JoinOptions {
    std::string output;
    bool overwrite = false;
    bool json = false;
    bool markInputs = false;
    std::vector<std::string> files;
};

// Ctrl+C, a termination request (SIGTERM) and a closed terminal (SIGHUP) ask the engine to stop,
// as the stop question answered yes does; a second one ends the program at once. Either way no
// partial output is left.
volatile sig_atomic_t g_stopSignal = 0;

void OnStopSignal(int signal) {
    g_stopSignal = signal;
    g_stopRequested = 1;
}

std::string StopCause() {
    switch (g_stopSignal) {
        case SIGINT:
            return "the join was stopped (Ctrl+C)";
        case SIGTERM:
            return "the join was stopped (terminated)";
        case SIGHUP:
            return "the join was stopped (the terminal was closed)";
        default:
            return "the join was stopped";
    }
}

// The terminal's side of the job: progress on standard error, a live line on a terminal.
class TerminalJoinHost : public JoinHost {
public:
    TerminalJoinHost(std::vector<JoinInput> inputs, FILE* err)
        : m_inputs(std::move(inputs)), m_err(err), m_live(isatty(fileno(err)) != 0) {
        // Each engine module only for a join of its kind: loading FFmpeg costs a WMV join time.
        MediaKind kind = m_inputs.empty() ? kKindAvi : m_inputs.front().info.m_nKind;
        const KindRow* row = FindKind(kind);
        if (row != nullptr && row->usesConversionModule) {
            m_conversion = Module::Load("zivuvore");
            LoadMclApi(m_conversion.get());
        }
        m_realMedia = LoadRealMediaSdk();
        m_windowsMedia = Module::Load("WMVCore");
        m_wmEntryPoints = m_windowsMedia != nullptr && LoadWmEntryPoints(*m_windowsMedia);
    }
    ~TerminalJoinHost() override {
        EndLiveLine();
        LoadMclApi(nullptr);
    }

    const std::vector<JoinInput>& Inputs() const override { return m_inputs; }
    bool WmEntryPointsLoaded() const override { return m_wmEntryPoints; }
    const Module* RealMediaModule() const override { return m_realMedia.get(); }

    void PostJoinPercent(int percent) override { Show(percent, m_status); }
    void PostJoinProgress(int percent) override { Show(percent, g_statusText); }  // lock held
    void SetStatusText(const std::string& text) override { Show(m_percent, text); }
    void SetProgress(int percent) override { Show(percent, m_status); }
    void PumpMessages() override { QCoreApplication::processEvents(); }

    void MessageBox(const std::string& text) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        EndLiveLineLocked();
        PrintMessage(m_err, text);
        m_lastMessage = text;
    }
    // The last message shown, so the final reason is not printed twice.
    std::string LastMessage() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lastMessage;
    }
    std::string ResourceString(int id) const override { return CommandLineString(id); }

    // The end of a join that succeeded: the bar at 100 %, the live line closed.
    void Completed() {
        Show(100, m_status);
        EndLiveLine();
    }

private:
    void Show(int percent, const std::string& text) {
        // One line of status: designed texts may carry Windows line ends.
        std::string status = PlainLines(text);
        std::replace(status.begin(), status.end(), '\n', ' ');
        std::lock_guard<std::mutex> lock(m_mutex);
        percent = std::clamp(percent, 0, 100);
        if (percent == m_percent && status == m_status && m_shownOnce) {
            return;
        }
        m_percent = percent;
        // Off a terminal (a log), a line for each new status text and each tenth of the way, not
        // for every step of the bar.
        bool sameLine = m_shownOnce && status == m_status && percent != 100 &&
                        percent / 10 == m_printedPercent / 10;
        if (!m_live && (sameLine || (status.empty() && percent == 0))) {
            return;
        }
        m_printedPercent = percent;
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
    int m_percent = 0;         // where the bar is
    int m_printedPercent = 0;  // where it was on the last line printed
    std::string m_status;
    std::string m_lastMessage;
    bool m_shownOnce = false;
    bool m_lineOpen = false;
    std::unique_ptr<Module> m_conversion;
    std::unique_ptr<Module> m_realMedia;
    std::unique_ptr<Module> m_windowsMedia;
    bool m_wmEntryPoints = false;
};

bool ParseOptions(const QStringList& arguments, JoinOptions& options, FILE* err) {
    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        ArgumentRole role = RoleOf(argument, optionsEnded);
        if (role == ArgumentRole::kEndOfOptions) {
            continue;
        }
        if (role == ArgumentRole::kFile) {
            options.files.push_back(argument.toStdString());
        } else if (argument == QLatin1String("-o") || argument == QLatin1String("--output")) {
            if (i + 1 >= arguments.size()) {
                std::fprintf(err, "kjoin: -o needs the output file's name (kjoin join --help)\n");
                return false;
            }
            options.output = arguments[++i].toStdString();
        } else if (argument == QLatin1String("-y") || argument == QLatin1String("--overwrite")) {
            options.overwrite = true;
        } else if (argument == QLatin1String("--json")) {
            options.json = true;
        } else if (argument == QLatin1String("--mark-inputs")) {
            options.markInputs = true;
        } else {
            std::fprintf(err, "kjoin: unknown option %s (kjoin join --help)\n",
                         qPrintable(argument));
            return false;
        }
    }
    return true;
}

int Refuse(FILE* err, const std::string& text) {
    PrintMessage(err, text);
    return 1;
}

// Why the joined file cannot be put at `output`, or empty: a folder is not a file name, and the
// folder it goes in must exist and take new files.
std::string OutputPlaceProblem(const std::string& output) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (output.back() == '/' || fs::is_directory(output, ec)) {
        return output + (fs::exists(output, ec) ? " is a folder" : " names a folder") +
               ": give -o the name of the joined file (for example -o " +
               (fs::path(output) / "joined.wmv").lexically_normal().string() + ").";
    }
    fs::path folder = fs::absolute(output, ec).parent_path();
    if (!fs::exists(folder, ec)) {
        return "the folder " + folder.string() + " of " + output +
               " does not exist: create it, or choose another folder for the joined file.";
    }
    if (!fs::is_directory(folder, ec)) {
        return folder.string() + " is not a folder: choose another place for the joined file.";
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return "cannot write in the folder " + folder.string() + ": " + std::strerror(errno) +
               ". Choose another folder for the joined file.";
    }
    return {};
}

std::string SecondsText(double seconds) {
    char text[48];
    int minutes = static_cast<int>(seconds / 60);
    std::snprintf(text, sizeof text, "%d:%06.3f", minutes, seconds - 60.0 * minutes);
    return text;
}

std::string JsonNumber(double value) {
    if (value < 0) {
        return "null";
    }
    char text[48];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

// The join's account on standard output: the output and where each input is in it.
void PrintJoinJson(FILE* out, const std::string& output, const std::vector<JoinInput>& inputs) {
    std::vector<InputReport> reports = InputReports();
    std::string text = "{\"output\": " + JsonString(output) + ", \"inputs\": [";
    for (size_t i = 0; i < inputs.size(); ++i) {
        InputReport report = i < reports.size() ? reports[i] : InputReport{};
        text += (i == 0 ? "" : ", ");
        text += "{\"path\": " + JsonString(inputs[i].path) +
                ", \"start\": " + JsonNumber(report.startSeconds) +
                ", \"duration\": " + JsonNumber(report.durationSeconds) +
                ", \"encoded\": " + (report.encoded ? "true" : "false") + ", \"warnings\": [";
        for (size_t w = 0; w < report.warnings.size(); ++w) {
            text += (w == 0 ? "" : ", ") + JsonString(report.warnings[w]);
        }
        text += "]}";
    }
    text += "]}";
    std::fprintf(out, "%s\n", text.c_str());
}

// Where each input starts, for a person at a terminal.
void PrintStartTimes(FILE* out, const std::vector<JoinInput>& inputs) {
    std::vector<InputReport> reports = InputReports();
    for (size_t i = 0; i < inputs.size() && i < reports.size(); ++i) {
        if (reports[i].startSeconds >= 0) {
            std::fprintf(out, "  %s  %s\n", SecondsText(reports[i].startSeconds).c_str(),
                         CheckFileName(inputs[i].path).c_str());
        }
    }
}

}  // namespace

int RunJoinCommand(const QStringList& arguments, FILE* out, FILE* err) {
    JoinOptions options;
    if (!ParseOptions(arguments, options, err)) {
        return 1;
    }
    if (!options.output.empty()) {
        std::string problem = OutputPlaceProblem(options.output);
        if (!problem.empty()) {
            return Refuse(err, problem);
        }
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
        probeModules.PrepareFor(file);
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
    if (CheckJoinList(rows) != 0) {
        // The designed refusal, then every odd file the check finds.
        ListCheckHost listHost(inputs, [](int id) { return CommandLineString(id); });
        return Refuse(err, CheckListBeforeJoin(listHost, CommandLineString).text);
    }

    std::string output =
        options.output.empty() ? ProposedJoinName(inputs.front().path) : options.output;
    std::string overwritesInput = OutputOverwritesInput(inputs, output);
    if (!overwritesInput.empty()) {
        return Refuse(err, overwritesInput);
    }
    if (std::string problem = OutputPlaceProblem(output); !problem.empty()) {
        return Refuse(err, problem);
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
    g_stopSignal = 0;
    g_markInputs = options.markInputs;
    ResetInputReports(host.Inputs().size());
    bool outputExisted = std::filesystem::exists(output, ec);
    {
        StopSignalHandlers stopSignals(OnStopSignal);
        JoinEngine engine = EngineForKind(kind);
        g_joinResult =
            JoinOntoOutput(output, [&](const std::string& target) { return engine(host, target); });
    }

    if (g_joinResult == 0) {
        if (g_stopRequested != 0) {
            return Refuse(err, StopCause() + "; " + output +
                                   (outputExisted ? " was not changed." : " was not written."));
        }
        std::string reason = g_errorText.empty() ? std::string("the join failed.") : g_errorText;
        if (CopiesPackets(kind)) {
            // A packet copy refuses files that differ: name every one of them, not the first.
            std::vector<JoinCheckFacts> facts;
            CheckResult check = CheckInputs(host, &facts);
            if (!check.findings.empty()) {
                return Refuse(err, RefusalWithFindings(reason, check, facts));
            }
        }
        if (!g_errorText.empty() && PlainLines(g_errorText) == PlainLines(host.LastMessage())) {
            return 1;
        }
        return Refuse(err, reason);
    }
    host.Completed();
    for (const std::string& warning : InputWarnings()) {
        std::fprintf(err, "kjoin: warning: %s\n", warning.c_str());
    }
    // Standard output names only the output; how the inputs went in is said beside it.
    if (std::string how = CopiedAndEncodedText(); !how.empty() && !options.json) {
        std::fprintf(err, "kjoin: %s.\n", how.c_str());
    }
    if (options.json) {
        PrintJoinJson(out, output, host.Inputs());
        return 0;
    }
    if (isatty(fileno(out)) != 0) {
        std::fprintf(out, "Where each input starts:\n");
        PrintStartTimes(out, host.Inputs());
    }
    std::fprintf(out, "%s\n", output.c_str());
    return 0;
}
