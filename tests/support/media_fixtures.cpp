#include "tests/support/media_fixtures.h"

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace kjtest {

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path() / ("kjtest-" + std::to_string(rd()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            m_path = candidate.string();
            return;
        }
    }
    std::abort();
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

CommandResult RunCommand(const std::string& commandLine) {
    CommandResult result;
    std::string full = commandLine + " 2>&1";
    FILE* pipe = popen(full.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> buffer{};
    size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        result.output.append(buffer.data(), n);
    }
    int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

bool HaveProgram(const std::string& name) {
    return RunCommand("command -v " + ShellQuote(name) + " >/dev/null").exitCode == 0;
}

bool MakeWithFfmpeg(const std::string& args, const std::string& output, std::string* error) {
    CommandResult r = RunCommand("ffmpeg -nostdin -y -v error " + args + " " + ShellQuote(output));
    if (r.exitCode != 0 && error != nullptr) {
        *error = r.output;
    }
    return r.exitCode == 0;
}

std::string Ffprobe(const std::string& path, const std::string& entries,
                    const std::string& selectStreams) {
    std::string cmd = "ffprobe -v error -of default=nw=1:nk=1 -show_entries " + ShellQuote(entries);
    if (!selectStreams.empty()) {
        cmd += " -select_streams " + ShellQuote(selectStreams);
    }
    CommandResult r = RunCommand(cmd + " " + ShellQuote(path));
    while (!r.output.empty() && (r.output.back() == '\n' || r.output.back() == '\r')) {
        r.output.pop_back();
    }
    return r.output;
}

int64_t CountPackets(const std::string& path, const std::string& stream) {
    std::string cmd = "ffprobe -v error -count_packets -of default=nw=1:nk=1 -select_streams " +
                      ShellQuote(stream) + " -show_entries stream=nb_read_packets " +
                      ShellQuote(path);
    CommandResult r = RunCommand(cmd);
    try {
        return std::stoll(r.output);
    } catch (...) {
        return -1;
    }
}

std::string DecodeErrors(const std::string& path) {
    return RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -f null -").output;
}

std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

void Scramble(std::vector<uint8_t>& bytes, size_t from, size_t to, uint32_t seed) {
    for (size_t i = from; i < to && i < bytes.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>(seed >> 16);
    }
}

std::string BinDir() {
    const char* dir = std::getenv("KJ_BIN_DIR");
    return dir != nullptr ? dir : KJ_BUILD_BIN_DIR;
}

std::string WriteRealMediaSignature(const std::string& path, size_t pad) {
    std::vector<uint8_t> bytes(18 + pad, 0);
    const uint8_t head[] = {'.', 'R', 'M', 'F', 0, 0, 0, 18};
    std::copy(std::begin(head), std::end(head), bytes.begin());
    WriteFileBytes(path, bytes);
    return path;
}

}  // namespace kjtest
