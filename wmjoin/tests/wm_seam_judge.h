// How a Windows Media join is judged at its seams, by ffprobe, ffmpeg and mpv: every whole packet
// of every input in order (by its hash), each input moved by one shift for all its streams,
// each input starting where the one before it really ends (within one frame of its longest
// stream, never before), and no reader saying of the output what it does not say of the inputs.
#pragma once

#include <string>
#include <vector>

namespace wmtest {

struct SeamInput {
    std::string path;
    // Packets at the end of this input that the join may leave out: the input was cut inside
    // them (its last, partial data packet).
    size_t mayLoseAtEnd = 0;
};

// Where each input starts in the output (seconds), as the judge found it.
struct SeamPlaces {
    std::vector<double> starts;
};

// The streams ffprobe shows in the first input ("v:0", "a:0" ...).
std::vector<std::string> ProbedStreams(const std::string& path);

// Where an input's sound really ends (seconds, on its own clock): the end of its last packet,
// or the file's duration where that comes first (a last payload padded to a whole block).
double InputEnd(const std::string& path);

// Every check above; failures are reported through gtest. Returns where the inputs start.
SeamPlaces ExpectSeamlessJoin(const std::vector<SeamInput>& inputs, const std::string& output);

// What readers say of the output that they do not say of any input: ffmpeg's full decode and
// mpv's warnings, empty when nothing.
std::string NewReaderComplaints(const std::vector<std::string>& inputs, const std::string& output);

}  // namespace wmtest
