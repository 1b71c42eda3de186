// The sentences that tell the user what a join left out of an input, in one wording for the
// encoder and the pack copier alike.
#pragma once

#include <cstdint>
#include <string>

struct AVCodecParameters;

// "a.avi is cut short: its first 10.6 s of 16.0 s were joined." (`wholeSeconds` 0 or less when
// the file does not say how long it was meant to be: "... its first 10.6 s were joined.")
std::string CutShortSentence(const std::string& path, double joinedSeconds, double wholeSeconds);

// "a.avi: 2 damaged frames were skipped."
std::string DamagedFramesSentence(const std::string& path, int64_t frames);

// "b.avi: its audio track 2 (ac3, 44100 Hz, stereo) was left out: this output holds one audio
// track."
std::string LeftOutTrackSentence(const std::string& path, size_t number,
                                 const AVCodecParameters& track);
