#include "job/join_job.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "job/job_state.h"
#include "job/kind_table.h"
#include "platform/hidden_output.h"
#include "res/resource_ids.h"

namespace fs = std::filesystem;

int CheckJoinList(const std::vector<const MediaFileInfo*>& rows, size_t* namedRow) {
    if (rows.size() < 2) {
        return IDS_TOO_FEW_FILES;
    }
    MediaKind firstKind = rows.front()->m_nKind;
    bool anyVideo = false;
    for (const MediaFileInfo* row : rows) {
        anyVideo = anyVideo || row->HasVideo();
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        const MediaFileInfo* row = rows[i];
        if (row->IsAudioOnly()) {
            // Sound cannot be put between pictures: the output has one stream layout.
            if (anyVideo) {
                if (namedRow != nullptr) {
                    *namedRow = i;
                }
                return IDS_AUDIO_ONLY_WITH_VIDEO;
            }
            if (!JoinsAudioOnly(row->m_nKind)) {
                return IDS_ZERO_GEOMETRY;
            }
        } else if (row->m_nWidth == 0 || row->m_nHeight == 0) {
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

namespace {
std::atomic<bool> g_allowUnnamed{true};
}  // namespace

void AllowUnnamedOutput(bool allow) {
    g_allowUnnamed = allow;
}

int JoinOntoOutput(const std::string& finalPath,
                   const std::function<int(const std::string& tempPath)>& engine) {
    HiddenOutput temp;
    if (int error = temp.Open(finalPath, g_allowUnnamed)) {
        g_errorText = "Cannot write in the folder " + temp.Folder() + ": " + std::strerror(error) +
                      ". Choose another folder for the joined file.";
        return 0;
    }
    int result = engine(temp.WritePath());
    if (result != 1 || g_stopRequested.load() != 0) {
        return 0;  // the temporary file goes with `temp`
    }
    if (int error = temp.Commit()) {
        g_errorText = "The joined file could not be put at " + fs::absolute(finalPath).string() +
                      ": " + std::strerror(error) + ".";
        return 0;
    }
    return 1;
}
