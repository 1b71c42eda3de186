// The fast scan of an MPEG program stream: one pass over its packs with bounded reads, picture
// start codes counted in the video stream's bytes (a memchr-style search, no decoding and no
// FFmpeg), the streams' parameters from their first headers, and what a copy join needs to know
// of each input: its times, its streams, and where its last whole picture ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engines/conversion/media_scan.h"
#include "engines/conversion/mpeg_ps_audio_frames.h"

struct PsAudioStream {
    uint16_t key = 0;  // stream id << 8, or 0xBD << 8 | sub id for private stream 1
    std::string codec;
    int sampleRate = 0;
    int channels = 0;
    bool operator==(const PsAudioStream&) const = default;
};

// Where an input cut short can end so that its sound lasts as long as its pictures, for a seam
// into an input on a clock of its own: a cut leaves the sound shorter than the pictures, which
// the muxer sends ahead of their time. The pictures end before a reference picture (so that
// every one kept is shown), the sound goes on past that place in the file to the end of its last
// whole frame before the pictures' end (and before the sound of the input that follows starts).
struct PsSeamEnding {
    uint64_t videoCutAt = 0;  // stream offset of the first picture left out
    int64_t videoEnd = -1;
    int64_t frames = 0;  // pictures kept
    // Places each audio stream can end, with the times they end at (-1: a stream whose frames'
    // times are not known, ending where the pictures' cut is).
    std::vector<PsTimedAudioCut> audioCuts;
};

struct PsScan {
    MediaScan scan;
    bool mpeg2Packs = false;
    uint8_t videoId = 0;               // the first video stream's id
    int aspectCode = 0;                // aspect_ratio_information of the first sequence header
    int frameRateCode = 0;             // frame_rate_code of the first sequence header
    int64_t frameTicks = 3600;         // one frame in 90 kHz ticks
    std::vector<PsAudioStream> audio;  // in the order first seen
    // Times in 90 kHz ticks; -1 when the stream holds none.
    int64_t firstScr = -1;
    int64_t lastScr = -1;
    int64_t videoStart = -1;  // the earliest picture shown
    int64_t audioStart = -1;  // the earliest time of the first audio stream
    int64_t videoEnd = -1;    // the end of the last picture shown (of the kept ones when cut)
    int64_t pictures = 0;     // picture start codes (frameCount counts the kept ones)
    // The stream breaks off inside a pack, or inside its last picture: only the pictures before
    // the last one are whole.
    bool cutShort = false;
    bool cutBetweenPacks = false;  // every pack whole, the last picture not

    uint64_t cutAt = 0;                 // stream offset where the last (incomplete) picture begins
    int64_t fullEnd = -1;               // the end of all pictures, the incomplete one included
    std::vector<PsAudioCut> audioCuts;  // when cut short: where each audio stream ends
    std::optional<PsSeamEnding> seamEnding;  // when cut short, and one is found
    // The input ends as its seam ending has it: its sound is copied past cutAt.
    bool audioPastCut = false;
    // Audio streams whose data ends inside a frame: where their last whole frame ends.
    std::vector<PsAudioCut> audioTails;
    int endCodes = 0;  // program end codes
    uint64_t lastEndCodeAt = 0;
    uint64_t lastPackAt = 0;   // stream offset of the last pack header
    int64_t lastMuxRate = 0;   // its mux rate (50 bytes per second)
    uint64_t streamBytes = 0;  // bytes of the stream (the payload of a Video CD file)
};

// Scans `path` (a program stream, or a Video CD file holding one). 0, or a negative code with a
// readable reason in *error.
int ScanProgramStream(const std::string& path, PsScan* scan, const ScanProgress& progress,
                      std::string* error);

// The same, remembered per file (size and modification time), as ScanMediaCached does.
int ScanProgramStreamCached(const std::string& path, PsScan* scan, const ScanProgress& progress,
                            std::string* error);

// The MPEG video frame rate of a frame_rate_code (0 when unknown): numerator and denominator.
bool MpegFrameRate(int code, int* num, int* den);
