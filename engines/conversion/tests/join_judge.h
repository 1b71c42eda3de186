// Judging a joined file with ffmpeg's tools: fixtures whose second part starts with a white
// picture and a tone at the same instant, and where those two land in the output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kjtest {

// Makes a fixture with ffmpeg: a black picture and silence (`lit` false), or a white picture
// and a 1 kHz tone (`lit` true), of `seconds` at `size` and `rate`; `audio` false leaves the
// audio out. `codecArgs` chooses codecs and format ("-target pal-vcd", "-c:v mpeg4 -f avi").
bool MakeClip(const std::string& path, bool lit, bool audio, const std::string& size, int rate,
              double seconds, const std::string& codecArgs, std::string* error);

// Where the first white picture and the first loud audio sample are in `path`, in seconds on
// its own clock; negative when there is none.
struct Onsets {
    double video = -1.0;        // from the first picture's time, counting pictures
    double pictureTime = -1.0;  // the white picture's own time, where a player shows it
    double audio = -1.0;
    double videoStart = 0.0;  // the first picture's time
};
Onsets FindOnsets(const std::string& path);

// The hashes of the packets of one stream ("v:0"), in file order.
std::vector<std::string> PacketHashes(const std::string& path, const std::string& stream);

// ffprobe's value of one entry for one stream, e.g. StreamEntry(p, "v:0", "codec_name").
std::string StreamEntry(const std::string& path, const std::string& stream,
                        const std::string& entry);

}  // namespace kjtest
