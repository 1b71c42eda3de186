#include "cli/check_command.h"

#include <memory>

#include "cli/arguments.h"
#include "cli/cli_text.h"
#include "cli/probe_command.h"
#include "kinds/check_facts.h"
#include "kinds/kinds.h"
#include "kinds/list_check.h"
#include "platform/module.h"
#include "probe/probe_media_file.h"

int RunCheckCommand(const QStringList& arguments, FILE* out, FILE* err) {
    bool json = false;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (const QString& argument : arguments) {
        ArgumentRole role = RoleOf(argument, optionsEnded);
        if (role == ArgumentRole::kOption && argument == QLatin1String("--json")) {
            json = true;
        } else if (role == ArgumentRole::kOption) {
            std::fprintf(err, "kjoin: unknown option %s (kjoin check --help)\n",
                         qPrintable(argument));
            return 1;
        } else if (role == ArgumentRole::kFile) {
            files.push_back(argument.toStdString());
        }
    }
    if (files.empty()) {
        std::fprintf(err, "kjoin: check needs the files to compare (kjoin check --help)\n");
        return 1;
    }
    InstallKinds();  // the probe reads each file with its kind's reader
    ProbeModules probeModules;
    std::vector<JoinInput> inputs;
    for (const std::string& file : files) {
        probeModules.PrepareFor(file);
        ProbeError error;
        std::unique_ptr<MediaFileInfo> record = ProbeMediaFile(file, &error);
        if (record == nullptr) {
            PrintMessage(err, file + ": " + error.reason);
            return 1;
        }
        inputs.push_back({record->m_strPath, *record});
    }
    probeModules.PrepareForKind(inputs.front().info.m_nKind);
    ListCheckHost host(std::move(inputs), [](int id) { return CommandLineString(id); });
    std::vector<JoinCheckFacts> facts;
    CheckResult result = CheckInputs(host, &facts);
    if (json) {
        std::fprintf(out, "%s\n", CheckReportJson(result, facts).c_str());
    } else {
        if (result.refusal != 0 && result.findings.empty()) {
            PrintMessage(out, CommandLineString(result.refusal));
        }
        std::fputs(CheckReport(result, facts).c_str(), out);
    }
    return result.Joinable() ? 0 : 1;
}
