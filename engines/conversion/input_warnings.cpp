#include "engines/conversion/input_warnings.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdio>

namespace {

// The name the user knows the file by.
std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

std::string ChannelsText(int channels) {
    return channels == 1   ? "mono"
           : channels == 2 ? "stereo"
                           : std::to_string(channels) + " channels";
}

}  // namespace

std::string CutShortSentence(const std::string& path, double joinedSeconds, double wholeSeconds) {
    std::string sentence = BaseName(path) + " is cut short: its first " + Seconds(joinedSeconds);
    if (wholeSeconds > joinedSeconds) {
        sentence += " s of " + Seconds(wholeSeconds);
    }
    return sentence + " s were joined.";
}

std::string DamagedFramesSentence(const std::string& path, int64_t frames) {
    return BaseName(path) + ": " + std::to_string(frames) +
           (frames == 1 ? " damaged frame was skipped." : " damaged frames were skipped.");
}

std::string LeftOutTrackSentence(const std::string& path, size_t number,
                                 const AVCodecParameters& track) {
    return BaseName(path) + ": its audio track " + std::to_string(number) + " (" +
           avcodec_get_name(track.codec_id) + ", " + std::to_string(track.sample_rate) + " Hz, " +
           ChannelsText(track.ch_layout.nb_channels) +
           ") was left out: this output holds one audio track.";
}
