// Test support: temporary folders, external commands and media fixtures made by ffmpeg.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kjtest {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

struct CommandResult {
    int exitCode = -1;
    std::string output;  // standard output and standard error together
};

// Runs a shell command line and collects what it prints.
CommandResult RunCommand(const std::string& commandLine);

// Single-quotes a string for the shell.
std::string ShellQuote(const std::string& text);

// True when the named program is on the PATH.
bool HaveProgram(const std::string& name);

// Runs `ffmpeg -y -v error <args> <output>`; false (and the reason in *error) on failure.
bool MakeWithFfmpeg(const std::string& args, const std::string& output,
                    std::string* error = nullptr);

// ffprobe -v error -of default=nw=1:nk=1 -show_entries <entries> [-select_streams <streams>]
std::string Ffprobe(const std::string& path, const std::string& entries,
                    const std::string& selectStreams = "");

// Number of packets ffprobe counts in one stream ("v:0", "a:0").
int64_t CountPackets(const std::string& path, const std::string& stream);

// A full decode by ffmpeg; returns what it printed at level "error" (empty when clean).
std::string DecodeErrors(const std::string& path);

// Whole-file helpers.
// The names of the entries of `folder`, sorted (what a join left beside its output).
std::vector<std::string> Listing(const std::string& folder);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// Overwrites bytes [from, to) with noise that is the same on every run for one `seed`.
void Scramble(std::vector<uint8_t>& bytes, size_t from, size_t to, uint32_t seed);

// A file that carries only the RealMedia signature and a header size, `pad` zero bytes longer
// than the smallest: enough for a list row of kind "Real Media". Returns `path`.
std::string WriteRealMediaSignature(const std::string& path, size_t pad = 0);

// The folder that holds the built programs and modules (build/bin).
std::string BinDir();

}  // namespace kjtest
