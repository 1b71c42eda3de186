// FFmpeg's log, taken over by the module: none of it reaches the program's terminal. The lines that
// tell of a cut-off input are counted for the input being read, so the join can say what it left
// out; the last error line of each thread is kept to explain a failure whose code says little.
#pragma once

#include <atomic>
#include <string>

// Puts the module's callback in place of FFmpeg's own (once; any thread).
void InstallFfmpegLog();

// Counts what FFmpeg logs about one opened input (its demuxer context) while the watch lives.
class InputLogWatch {
public:
    explicit InputLogWatch(const void* demuxer);
    ~InputLogWatch();
    InputLogWatch(const InputLogWatch&) = delete;
    InputLogWatch& operator=(const InputLogWatch&) = delete;

    // Packets the demuxer found cut off by the end of the file.
    int TruncatedPackets() const { return m_truncated.load(); }
    const void* Demuxer() const { return m_demuxer; }
    void CountTruncated() { ++m_truncated; }

private:
    const void* m_demuxer;
    std::atomic<int> m_truncated{0};
};

// The last line FFmpeg logged at error level on the calling thread (empty when none since the
// last ClearFfmpegError).
std::string LastFfmpegError();
void ClearFfmpegError();

// What the callback does with one line, once formatted: `context` is the object that logged it,
// `format` its format text. Exposed for the tests.
void NoteFfmpegLine(const void* context, int level, const char* format, const std::string& line);
