// The pack copier: joins MPEG program streams (MPEG-1 system streams, MPEG-2 program streams,
// the payload of Video CD files) end to end without decoding. Every pack and every stream is
// kept as it is (system headers, padding, private streams, DVD navigation packs, subpictures);
// each input's clock fields (SCR, PTS, DTS, ESCR, the navigation packs' own times) move by one
// shift, so that it starts where the input before it ends; program end codes between inputs
// are left out; an open GOP at a seam gets its broken_link set; an input cut short ends at its
// last whole picture. No FFmpeg.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engines/conversion/mpeg_ps_scan.h"

struct PsCopyInput {
    std::string path;
    PsScan scan;
};

struct PsCopiedInput {
    double startSeconds = 0;     // where the input begins in the output
    double durationSeconds = 0;  // how long its pictures last there
    int64_t frames = 0;          // pictures written
    int64_t shift = 0;           // the shift of its times, in 90 kHz ticks
};

// Called now and then with the pictures copied so far (over all inputs); returns false to stop.
using PsCopyProgress = std::function<bool(int64_t frames)>;

// Joins `inputs` into `outputPath`, which gets the file only when it is whole (see OutputWriter):
// a failed or stopped join leaves what was there. 0, 1 when stopped, or a negative errno with a
// readable reason.
int CopyProgramStreams(const std::vector<PsCopyInput>& inputs, const std::string& outputPath,
                       const PsCopyProgress& progress, std::vector<PsCopiedInput>* copied,
                       std::string* error);

// The shift of each input's times, by the seam rule: input n starts where input n-1's pictures
// end, unless it goes on from it on the same clock (then its shift is that input's).
std::vector<int64_t> SeamShifts(const std::vector<PsCopyInput>& inputs);

// Where each input ends, by what follows it: one cut between packs inside its last picture,
// which the next input goes on from (the files of a title split at any sector), is whole (its
// picture ends in the next file); one cut short before an input on a clock of its own ends as its
// seam ending has it, its sound as long as its pictures.
void PlanInputEnds(std::vector<PsCopyInput>* inputs);
