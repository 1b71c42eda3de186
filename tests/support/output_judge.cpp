#include "tests/support/output_judge.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <set>
#include <sstream>
#include <utility>

#include "tests/support/media_fixtures.h"

namespace kjtest {

std::string MissingReaders() {
    static const std::pair<const char*, const char*> kReaders[] = {
        {"ffmpeg", "ffmpeg"},
        {"ffprobe", "ffmpeg"},
        {"mpv", "mpv"},
        {"gst-launch-1.0", "gstreamer1.0-tools"}};
    std::string missing;
    for (const auto& [program, package] : kReaders) {
        if (!HaveProgram(program)) {
            missing += std::string(program) + " is missing (install " + package + ")\n";
        }
    }
    return missing;
}

std::string GstPlaybackFailure(const std::string& path, int timeLimitSeconds) {
    if (!HaveProgram("gst-launch-1.0")) {
        return "gst-launch-1.0 is missing (install gstreamer1.0-tools)";
    }
    // playbin links every stream it finds; fake sinks without sync take the data as fast as it
    // decodes, so the whole file is played in a bounded time.
    CommandResult r = RunCommand(
        "timeout " + std::to_string(timeLimitSeconds) + " gst-launch-1.0 -q playbin uri=file://" +
        ShellQuote(path) + " video-sink='fakesink sync=false' audio-sink='fakesink sync=false'");
    if (r.exitCode == 124) {
        return "GStreamer did not finish within " + std::to_string(timeLimitSeconds) +
               " s: " + r.output;
    }
    if (r.exitCode != 0 || r.output.find("ERROR") != std::string::npos) {
        return "GStreamer exit " + std::to_string(r.exitCode) + ": " + r.output;
    }
    return "";
}

namespace {

// mpv's notice that audio and video drifted apart while it played as fast as it could, with the
// empty lines around it: it tells of the player's own pace (it comes and goes with the machine's
// load), never of the file.
bool IsPlayerPaceLine(const std::string& line) {
    static const char* const kNotice[] = {"Audio/Video desynchronisation detected!",
                                          "hardware, temporary CPU spikes",
                                          "position will not match"};
    if (line.find_first_not_of(" \t\r") == std::string::npos) {
        return true;
    }
    return std::any_of(std::begin(kNotice), std::end(kNotice),
                       [&](const char* opening) { return line.rfind(opening, 0) == 0; });
}

}  // namespace

std::string MpvWarnings(const std::string& path) {
    if (!HaveProgram("mpv")) {
        return "mpv is missing (install mpv)";
    }
    std::istringstream lines(
        RunCommand("timeout 120 mpv --no-config --vo=null --ao=null --ao-null-untimed --untimed "
                   "--msg-level=all=warn " +
                   ShellQuote(path))
            .output);
    std::string kept;
    for (std::string line; std::getline(lines, line);) {
        if (!IsPlayerPaceLine(line)) {
            kept += line + "\n";
        }
    }
    return kept;
}

std::string SeekDecodeErrors(const std::string& path, double seconds) {
    std::ostringstream at;
    at.precision(6);
    at << std::fixed << seconds;
    return RunCommand("ffmpeg -nostdin -v error -ss " + at.str() + " -i " + ShellQuote(path) +
                      " -f null -")
        .output;
}

std::string LinesNotIn(const std::string& output, const std::vector<std::string>& inputs) {
    std::set<std::string> known;
    for (const std::string& text : inputs) {
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            known.insert(line);
        }
    }
    std::string added;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (known.count(line) == 0) {
            added += line + "\n";
        }
    }
    return added;
}

namespace {

double ParseSeconds(const std::string& text, double fallback) {
    try {
        size_t used = 0;
        double value = std::stod(text, &used);
        return used == text.size() ? value : fallback;
    } catch (...) {
        return fallback;
    }
}

}  // namespace

std::vector<ProbedPacket> ProbePackets(const std::string& path, const std::string& stream) {
    CommandResult r = RunCommand(
        "ffprobe -v error -show_packets -show_data_hash MD5 -show_entries "
        "packet=pts_time,duration_time,size,flags,data_hash -of compact=p=0 -select_streams " +
        ShellQuote(stream) + " " + ShellQuote(path));
    std::vector<ProbedPacket> packets;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("data_hash=") == std::string::npos) {
            continue;  // a message of ffprobe's, not a packet
        }
        ProbedPacket packet;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '|');) {
            size_t eq = field.find('=');
            if (eq == std::string::npos) {
                continue;
            }
            std::string key = field.substr(0, eq);
            std::string value = field.substr(eq + 1);
            if (key == "pts_time") {
                packet.pts = ParseSeconds(value, std::nan(""));
            } else if (key == "duration_time") {
                packet.duration = ParseSeconds(value, 0);
            } else if (key == "size") {
                packet.size = static_cast<int64_t>(ParseSeconds(value, 0));
            } else if (key == "flags") {
                packet.key = !value.empty() && value[0] == 'K';
            } else if (key == "data_hash") {
                packet.md5 = value.substr(value.find(':') + 1);
            }
        }
        packets.push_back(packet);
    }
    return packets;
}

}  // namespace kjtest
