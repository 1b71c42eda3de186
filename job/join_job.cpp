#include "job/join_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "job/job_state.h"
#include "res/resource_ids.h"

namespace fs = std::filesystem;

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
