// Test support: how a joined file is judged, always by readers that are not ours (ffmpeg,
// ffprobe, GStreamer, mpv). Each check returns what went wrong, empty when the file passes, so a
// test reads `EXPECT_EQ(kjtest::GstPlaybackFailure(out), "")` and prints the reason on failure.
// A missing reader is a failure, never a silent pass.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kjtest {

// The outside readers the judges need (ffmpeg, ffprobe, mpv, GStreamer) that are not installed,
// each with its package; empty when all are there. A test that judges by them fails without.
std::string MissingReaders();

// Plays every stream of the file through GStreamer's playbin into fake sinks, unsynchronised,
// with a time limit; empty when it runs to the end without an error.
std::string GstPlaybackFailure(const std::string& path, int timeLimitSeconds = 120);

// What mpv says at level "warn" while playing the file with no picture or sound, as fast as it
// can, without empty lines and without its notice of its own pace falling behind (which comes
// with the machine's load, not with the file); empty when nothing, "mpv is missing" when it is
// not installed.
std::string MpvWarnings(const std::string& path);

// A decode by ffmpeg from `seconds` on (seeking in the file first); what it printed at level
// "error", empty when clean.
std::string SeekDecodeErrors(const std::string& path, double seconds);

// The lines of `output` that appear in none of `inputs` (each a reader's text for one input):
// what a join added to what the inputs already make a reader say.
std::string LinesNotIn(const std::string& output, const std::vector<std::string>& inputs);

// One packet as ffprobe reads it.
struct ProbedPacket {
    double pts = 0;       // seconds; NaN when the packet has none
    double duration = 0;  // seconds; 0 when unknown
    int64_t size = 0;
    bool key = false;
    std::string md5;  // of the payload
};

// Every packet of one stream ("v:0", "a:1") in file order.
std::vector<ProbedPacket> ProbePackets(const std::string& path, const std::string& stream);

}  // namespace kjtest
