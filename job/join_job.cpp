#include "job/join_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "job/job_state.h"
#include "res/resource_ids.h"

namespace fs = std::filesystem;

bool JoinsAudioOnly(MediaKind kind) {
    return kind == kKindWmv || kind == kKindRealMedia;
}

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

// The engine's file while the join runs: an unnamed file in the output's folder where the file
// system offers one (nothing to leave behind, whatever ends the process), else a hidden named
// file beside the output.
struct TempOutput {
    int fd = -1;             // the unnamed file; -1 for a named one
    std::string enginePath;  // what the engine opens
};

std::string HiddenName(const fs::path& target, const std::string& unique) {
    return (target.parent_path() /
            ("." + target.stem().string() + ".kjpart-" + unique + target.extension().string()))
        .string();
}

std::string RandomTag() {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device device;
    std::string tag(6, 'x');
    for (char& c : tag) {
        c = kChars[device() % (sizeof(kChars) - 1)];
    }
    return tag;
}

// An unnamed file in `folder`, reachable by the engine through its descriptor's path.
bool OpenUnnamed(const fs::path& folder, TempOutput& out) {
    if (!g_allowUnnamed) {
        return false;
    }
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;  // the file system refuses unnamed files (or the folder is not usable)
    }
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    struct stat viaFd {
    }, viaPath{};
    // Without /proc the engine could not reach the file and it could not be named later.
    if (::fstat(fd, &viaFd) != 0 || ::stat(path.c_str(), &viaPath) != 0 ||
        viaFd.st_dev != viaPath.st_dev || viaFd.st_ino != viaPath.st_ino) {
        ::close(fd);
        return false;
    }
    out.fd = fd;
    out.enginePath = std::move(path);
    return true;
}

bool OpenNamed(const fs::path& target, TempOutput& out) {
    std::string extension = target.extension().string();
    std::string pattern = HiddenName(target, "XXXXXX");
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemps(name.data(), static_cast<int>(extension.size()));
    if (fd < 0) {
        return false;
    }
    // Give the new file the permissions any new file of the user would get.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    out.enginePath = name.data();
    return true;
}

void SyncFolder(const fs::path& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Gives the finished unnamed file the output's name. A file already there is replaced in one
// step: the new file is first linked under a hidden name, then renamed over the old one.
bool NameUnnamed(const TempOutput& temp, const fs::path& target) {
    if (::linkat(AT_FDCWD, temp.enginePath.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) ==
        0) {
        return true;
    }
    if (errno != EEXIST) {
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string hidden = HiddenName(target, RandomTag());
        if (::linkat(AT_FDCWD, temp.enginePath.c_str(), AT_FDCWD, hidden.c_str(),
                     AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST) {
                continue;
            }
            return false;
        }
        if (::rename(hidden.c_str(), target.c_str()) == 0) {
            return true;
        }
        int error = errno;
        ::unlink(hidden.c_str());
        errno = error;
        return false;
    }
    errno = EEXIST;
    return false;
}

}  // namespace

void AllowUnnamedOutput(bool allow) {
    g_allowUnnamed = allow;
}

int JoinOntoOutput(const std::string& finalPath,
                   const std::function<int(const std::string& tempPath)>& engine) {
    fs::path target = fs::absolute(finalPath);
    fs::path folder = target.parent_path();
    TempOutput temp;
    if (!OpenUnnamed(folder, temp) && !OpenNamed(target, temp)) {
        g_errorText = "Cannot write in the folder " + folder.string() + ": " +
                      std::strerror(errno) + ". Choose another folder for the joined file.";
        return 0;
    }

    int result = engine(temp.enginePath);
    bool placed = false;
    if (result == 1 && g_stopRequested.load() == 0) {
        if (temp.fd >= 0) {
            // The data first, then the name: after a power cut the output is whole or absent.
            ::fsync(temp.fd);
            placed = NameUnnamed(temp, target);
        } else {
            placed = ::rename(temp.enginePath.c_str(), target.c_str()) == 0;
        }
        if (placed) {
            SyncFolder(folder);
        } else {
            g_errorText = "The joined file could not be put at " + target.string() + ": " +
                          std::strerror(errno) + ".";
        }
    }
    if (temp.fd >= 0) {
        ::close(temp.fd);  // an unnamed file that was not given a name goes with its descriptor
    } else if (!placed) {
        std::error_code ec;
        fs::remove(temp.enginePath, ec);
    }
    return placed ? 1 : 0;
}
