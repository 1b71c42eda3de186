// Test support: a copy join judged at its seams by readers that are not ours. Every check
// compares the output with what the same readers make of the inputs, so a file's own faults
// (a cut-short input's last frame, a damaged index) are not held against the join.
#pragma once

#include <string>
#include <vector>

namespace kjtest {

struct JoinedInput {
    std::string path;
    bool cut = false;  // cut short: it may lose its last, part packet of each stream
};

// Each field empty when the join passes that check; otherwise what went wrong.
struct SeamJudgement {
    std::string decodeAdded;  // lines of a full ffmpeg decode the inputs' decodes do not print
    std::string packetsLost;  // whole packets of an input missing from the output
    std::string seams;        // seams with a gap or an overlap of more than a frame
    std::string seekErrors;   // what a decode after a seek past a seam prints that the same
                              // seek into that input alone does not
    std::string mpvAdded;     // mpv's warnings for the output that its inputs do not get
    std::string gstFailure;   // GStreamer's playback of the output
};

// Judges `output`, the join of `inputs` in that order. Streams are those ffprobe finds in the
// first input (audio and video); packets are matched by their payload's MD5.
SeamJudgement JudgeCopyJoin(const std::vector<JoinedInput>& inputs, const std::string& output);

// A reader's text with what differs from run to run (addresses of its objects) taken out, so
// that the same message from two runs reads the same.
std::string WithoutAddresses(const std::string& text);

}  // namespace kjtest
