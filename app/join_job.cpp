#include "app/join_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "app/job_state.h"
#include "app/join_engines.h"
#include "app/resource_ids.h"

namespace fs = std::filesystem;

namespace {

std::mutex g_enginesMutex;
std::array<JoinEngine, 5> g_engineOverrides;

JoinEngine DefaultEngine(MediaKind kind);

}  // namespace

int CheckJoinList(const std::vector<const MediaFileInfo*>& rows) {
    if (rows.size() < 2) {
        return IDS_TOO_FEW_FILES;
    }
    MediaKind firstKind = rows.front()->m_nKind;
    for (const MediaFileInfo* row : rows) {
        if (row->m_nWidth == 0 || row->m_nHeight == 0) {
            return IDS_ZERO_GEOMETRY;
        }
        if (row->m_nKind != firstKind) {
            return IDS_MIXED_KINDS;
        }
    }
    return 0;
}

namespace {
// Where the extension of the file name starts, or npos when the name has none (a dot in a
// folder's name does not count).
size_t ExtensionDot(const std::string& path) {
    size_t dot = path.rfind('.');
    size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return std::string::npos;
    }
    return dot;
}
}  // namespace

std::string ProposedJoinName(const std::string& firstPath) {
    size_t dot = ExtensionDot(firstPath);
    if (dot == std::string::npos) {
        return firstPath + "_join";
    }
    return firstPath.substr(0, dot) + "_join" + firstPath.substr(dot);
}

std::string ProposedExtension(const std::string& firstPath) {
    size_t dot = ExtensionDot(firstPath);
    return dot == std::string::npos ? std::string() : firstPath.substr(dot + 1);
}

std::string OutputOverwritesInput(const std::vector<JoinInput>& inputs, const std::string& output) {
    std::error_code ec;
    if (!fs::exists(output, ec)) {
        return {};
    }
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (fs::equivalent(output, inputs[i].path, ec)) {
            return "The output file " + output + " is input file No." + std::to_string(i + 1) +
                   " (" + inputs[i].path +
                   "). Joining into it would destroy it: choose another name for the joined file.";
        }
    }
    return {};
}

JoinEngine EngineForKind(MediaKind kind) {
    std::lock_guard<std::mutex> lock(g_enginesMutex);
    if (kind >= 0 && kind < static_cast<MediaKind>(g_engineOverrides.size()) &&
        g_engineOverrides[static_cast<size_t>(kind)]) {
        return g_engineOverrides[static_cast<size_t>(kind)];
    }
    return DefaultEngine(kind);
}

void SetEngineForKind(MediaKind kind, JoinEngine engine) {
    std::lock_guard<std::mutex> lock(g_enginesMutex);
    if (kind >= 0 && kind < static_cast<MediaKind>(g_engineOverrides.size())) {
        g_engineOverrides[static_cast<size_t>(kind)] = std::move(engine);
    }
}

int JoinOntoOutput(const std::string& finalPath,
                   const std::function<int(const std::string& tempPath)>& engine) {
    fs::path target = fs::absolute(finalPath);
    fs::path folder = target.parent_path();
    // The temporary file keeps the output's extension: an engine may choose its format by it.
    std::string extension = target.extension().string();
    std::string pattern =
        (folder / ("." + target.stem().string() + ".kjpart-XXXXXX" + extension)).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemps(name.data(), static_cast<int>(extension.size()));
    if (fd < 0) {
        g_errorText = "Cannot write in the folder " + folder.string() + ": " +
                      std::strerror(errno) + ". Choose another folder for the joined file.";
        return 0;
    }
    // Give the new file the permissions any new file of the user would get.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    std::string tempPath(name.data());

    int result = engine(tempPath);
    if (result == 1 && g_stopRequested.load() == 0) {
        if (::rename(tempPath.c_str(), target.c_str()) == 0) {
            return 1;
        }
        g_errorText = "The joined file could not be put at " + target.string() + ": " +
                      std::strerror(errno) + ".";
    }
    std::error_code ec;
    fs::remove(tempPath, ec);
    return 0;
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

namespace {

JoinEngine DefaultEngine(MediaKind kind) {
    switch (kind) {
        case kKindAvi:
        case kKindMpeg:
        case kKindMpeg2:
            return JoinWithConversionLibrary;
        case kKindRealMedia:
            return JoinRealMediaFiles;
        case kKindWmv:
            return JoinWindowsMediaFiles;
        default:
            return [](JoinHost&, const std::string&) {
                g_errorText = "Files of this kind cannot be joined.";
                return 0;
            };
    }
}

}  // namespace
