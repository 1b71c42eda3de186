// kjoin: the command-line front end of Kelvane Joiner.
#include <QCoreApplication>
#include <cstdio>
#include <cstring>

#include "cli/arguments.h"
#include "cli/check_command.h"
#include "cli/join_command.h"
#include "cli/probe_command.h"
#include "kinds/kinds.h"
#include "platform/vfw.h"

namespace {

constexpr char kUsage[] =
    "Usage: kjoin COMMAND [OPTIONS] [--] FILE...\n"
    "\n"
    "Joins video files of one kind (AVI, MPEG, Real Media, WMV/ASF) end to end, with the same\n"
    "checks and engines as the Kelvane Joiner window.\n"
    "\n"
    "Commands:\n"
    "  probe [--json] FILE...   show what Kelvane Joiner sees in each file: the list's columns\n"
    "                           and information line, or with --json every field of its record\n"
    "  check [--json] FILE...   compare every file with the first, field by field, as a join\n"
    "                           would, and say what a join would do\n"
    "  join [-o OUT] [-y] [--json] [--mark-inputs] FILE...\n"
    "                           join the files, in the order given, into one (see kjoin join "
    "--help)\n"
    "\n"
    "  --version                print kjoin's version\n"
    "\n"
    "Options end at \"--\": every argument after it is a file, even one that begins with \"-\".\n"
    "\n"
    "Exit status: 0 on success, 1 when a file could not be probed or a command failed.\n";

constexpr char kProbeUsage[] =
    "Usage: kjoin probe [--json] [--] FILE...\n"
    "\n"
    "Recognises each file by its content and prints the texts of its row in the join list\n"
    "(Width/Height, Type, Freq., File Size(KB)) and its information line. With --json, prints a\n"
    "JSON array with one object per file holding every field of its record, or the path and an\n"
    "error for a file that gave none. Exit status 0 when every file gave a record, 1 otherwise.\n";

constexpr char kCheckUsage[] =
    "Usage: kjoin check [--json] [--] FILE...\n"
    "\n"
    "Compares every file with the first, with the checks of a join: kind, stream count, video\n"
    "codec, picture size, frame rate, audio codec, sample rate and channels, and for AVI and MPEG\n"
    "files whether each stream would be copied or encoded again. Prints one line for each field\n"
    "that differs, naming the file and both values, then what a join would do. With --json,\n"
    "prints the same as one JSON object. Exit status 0 when the files can be joined (losslessly\n"
    "or by encoding again), 1 when they cannot.\n";

constexpr char kJoinUsage[] =
    "Usage: kjoin join [-o OUT] [-y] [--json] [--mark-inputs] [--] FILE...\n"
    "\n"
    "Joins the files, in the order given, into one file, with the engine of the first file's "
    "kind:\n"
    "Windows Media and Real Media files by copying their packets, AVI and MPEG files by "
    "converting\n"
    "them into one stream. The files are checked as the window checks its list: at least two, all\n"
    "of the first file's kind, every picture size known.\n"
    "\n"
    "  -o, --output OUT   the joined file (default: the first file's name with _join before its\n"
    "                     extension)\n"
    "  -y, --overwrite    replace OUT when it exists (it is never one of the inputs)\n"
    "  --json             print one JSON object on standard output: the output path and, for\n"
    "                     each input, its path, its start and duration in the output (seconds)\n"
    "                     and its warnings\n"
    "  --mark-inputs      WMV/ASF: add a marker at each input's start, named after its file\n"
    "\n"
    "Progress goes to standard error, as a live line on a terminal. Ctrl+C, SIGTERM and SIGHUP\n"
    "stop the join; a file that was at OUT before stays as it was after a failed, stopped or\n"
    "killed join, and no partial file is left. Exit status 0 with the output path printed on\n"
    "success; 1 with the reason on standard error on any refusal, failure or stop.\n";

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty() || arguments.first() == QLatin1String("--help") ||
        arguments.first() == QLatin1String("-h")) {
        std::fputs(kUsage, arguments.isEmpty() ? stderr : stdout);
        return arguments.isEmpty() ? 1 : 0;
    }
    if (arguments.first() == QLatin1String("--version")) {
        std::printf("kjoin %s\n", KJ_VERSION);
        return 0;
    }
    QString command = arguments.takeFirst();
    AVIFileInit();
    InstallKinds();
    int status = 1;
    if (command == QLatin1String("probe")) {
        if (AsksForHelp(arguments)) {
            std::fputs(kProbeUsage, stdout);
            status = 0;
        } else {
            status = RunProbeCommand(arguments, stdout, stderr);
        }
    } else if (command == QLatin1String("check")) {
        if (AsksForHelp(arguments)) {
            std::fputs(kCheckUsage, stdout);
            status = 0;
        } else {
            status = RunCheckCommand(arguments, stdout, stderr);
        }
    } else if (command == QLatin1String("join")) {
        if (AsksForHelp(arguments)) {
            std::fputs(kJoinUsage, stdout);
            status = 0;
        } else {
            status = RunJoinCommand(arguments, stdout, stderr);
        }
    } else {
        std::fprintf(stderr, "kjoin: unknown command '%s' (kjoin --help)\n", qPrintable(command));
    }
    AVIFileExit();
    return status;
}
