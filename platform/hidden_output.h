// A joined file that is hidden until it is whole. It is written into a file without a name in
// the output's folder where the file system offers one (nothing is left behind, whatever ends
// the process), else into a hidden ".NAME.kjpart-XXXXXX.EXT" beside the output. Only Commit
// gives it the output's name, after its bytes are on the disk, and then syncs the folder so that
// the name is too: after a power cut the output is whole or absent. A file already at the output
// path stays as it was until Commit replaces it in one step; without a Commit the temporary file
// goes when this object does.
//
// A path "/proc/self/fd/N" names a file that is hidden already (the job made it and names it on
// success): it is written in place and Commit leaves the naming to its owner.
// Header-only, so that every engine module can use it without linking the platform library.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

class HiddenOutput {
public:
    HiddenOutput() = default;
    ~HiddenOutput() { Discard(); }
    HiddenOutput(const HiddenOutput&) = delete;
    HiddenOutput& operator=(const HiddenOutput&) = delete;

    static bool IsOpenDescriptorPath(const std::string& path) {
        return path.rfind("/proc/self/fd/", 0) == 0;
    }

    // The folder a file written through `path` is in: for an open descriptor's path, the folder
    // of the file it names (hidden or not); the system's temporary folder where that cannot be
    // told. Files made beside an output go there, on the output's own disk.
    static std::filesystem::path FolderOf(const std::string& path) {
        std::error_code ec;
        if (!IsOpenDescriptorPath(path)) {
            std::filesystem::path folder = std::filesystem::absolute(path, ec).parent_path();
            return folder.empty() ? std::filesystem::path(".") : folder;
        }
        std::string target = std::filesystem::read_symlink(path, ec).string();
        const std::string deleted = " (deleted)";
        if (target.size() > deleted.size() &&
            target.compare(target.size() - deleted.size(), deleted.size(), deleted) == 0) {
            target.resize(target.size() - deleted.size());
        }
        std::filesystem::path folder = std::filesystem::path(target).parent_path();
        if (!ec && std::filesystem::is_directory(folder, ec)) {
            return folder;
        }
        return std::filesystem::temp_directory_path(ec);
    }

    // Makes the temporary file for `finalPath`: 0 or an errno value. `allowUnnamed` false takes
    // the hidden named file even where the file system has unnamed ones (the tests run both).
    int Open(const std::string& finalPath, bool allowUnnamed = true) {
        Discard();
        if (finalPath.empty()) {
            return EINVAL;
        }
        if (IsOpenDescriptorPath(finalPath)) {
            m_kind = Kind::InPlace;
            m_writePath = finalPath;
            return 0;
        }
        std::error_code ec;
        m_target = std::filesystem::absolute(finalPath, ec);
        if (ec) {
            return ec.value();
        }
        if (allowUnnamed && OpenUnnamed()) {
            return 0;
        }
        return OpenNamed();
    }

    bool IsOpen() const { return m_kind != Kind::None; }
    // The path the output is written through; the engine may open it again by this path.
    const std::string& WritePath() const { return m_writePath; }
    // The folder the output goes in, for messages.
    std::string Folder() const { return m_target.parent_path().string(); }

    // Puts the finished file at the output path: 0 or an errno value (the temporary file then
    // goes with this object and what was at the output path stays). The caller has closed its
    // own descriptors of the file.
    int Commit() {
        int error = 0;
        switch (m_kind) {
            case Kind::None:
                return EBADF;
            case Kind::InPlace:
                break;
            case Kind::Unnamed:
                // The data first, then the name.
                if (::fsync(m_fd) != 0) {
                    return errno;
                }
                error = NameUnnamed();
                break;
            case Kind::Named:
                error = SyncPath(m_writePath);
                if (error == 0 && ::rename(m_writePath.c_str(), m_target.c_str()) != 0) {
                    error = errno;
                }
                break;
        }
        if (error != 0) {
            return error;
        }
        if (m_kind != Kind::InPlace) {
            SyncPath(m_target.parent_path().string());
        }
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
        m_kind = Kind::None;
        m_writePath.clear();
        return 0;
    }

    // Drops an unfinished file; the output path is not touched.
    void Discard() {
        if (m_kind == Kind::Named) {
            ::unlink(m_writePath.c_str());
        }
        if (m_fd >= 0) {
            ::close(m_fd);  // an unnamed file that was not given a name goes with its descriptor
            m_fd = -1;
        }
        m_kind = Kind::None;
        m_writePath.clear();
    }

private:
    enum class Kind { None, InPlace, Unnamed, Named };

    std::string HiddenName(const std::string& unique) const {
        return (m_target.parent_path() / ("." + m_target.stem().string() + ".kjpart-" + unique +
                                          m_target.extension().string()))
            .string();
    }

    static std::string RandomTag() {
        static constexpr char kChars[] =
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        std::random_device device;
        std::string tag(6, 'x');
        for (char& c : tag) {
            c = kChars[device() % (sizeof(kChars) - 1)];
        }
        return tag;
    }

    static int SyncPath(const std::string& path) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return errno;
        }
        int error = ::fsync(fd) == 0 ? 0 : errno;
        ::close(fd);
        return error;
    }

    // An unnamed file in the output's folder, reachable through its descriptor's path.
    bool OpenUnnamed() {
        int fd = ::open(m_target.parent_path().c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (fd < 0) {
            return false;  // the file system refuses unnamed files (or the folder is not usable)
        }
        std::string path = "/proc/self/fd/" + std::to_string(fd);
        struct stat viaFd {
        }, viaPath{};
        // Without /proc the file could not be reached by path nor named later.
        if (::fstat(fd, &viaFd) != 0 || ::stat(path.c_str(), &viaPath) != 0 ||
            viaFd.st_dev != viaPath.st_dev || viaFd.st_ino != viaPath.st_ino) {
            ::close(fd);
            return false;
        }
        m_fd = fd;
        m_kind = Kind::Unnamed;
        m_writePath = std::move(path);
        return true;
    }

    int OpenNamed() {
        std::string extension = m_target.extension().string();
        std::string pattern = HiddenName("XXXXXX");
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        int fd = ::mkstemps(name.data(), static_cast<int>(extension.size()));
        if (fd < 0) {
            return errno;
        }
        // The permissions any new file of the user gets, not mkstemps' private ones.
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
        ::close(fd);
        m_kind = Kind::Named;
        m_writePath = name.data();
        return 0;
    }

    // A file already at the output path is replaced in one step: the new file is first linked
    // under a hidden name, then renamed over the old one.
    int NameUnnamed() {
        if (::linkat(AT_FDCWD, m_writePath.c_str(), AT_FDCWD, m_target.c_str(),
                     AT_SYMLINK_FOLLOW) == 0) {
            return 0;
        }
        if (errno != EEXIST) {
            return errno;
        }
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string hidden = HiddenName(RandomTag());
            if (::linkat(AT_FDCWD, m_writePath.c_str(), AT_FDCWD, hidden.c_str(),
                         AT_SYMLINK_FOLLOW) != 0) {
                if (errno == EEXIST) {
                    continue;
                }
                return errno;
            }
            if (::rename(hidden.c_str(), m_target.c_str()) == 0) {
                return 0;
            }
            int error = errno;
            ::unlink(hidden.c_str());
            return error;
        }
        return EEXIST;
    }

    Kind m_kind = Kind::None;
    int m_fd = -1;  // the unnamed file
    std::filesystem::path m_target;
    std::string m_writePath;
};
