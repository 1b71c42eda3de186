#include "engines/conversion/tests/join_judge.h"

#include <cstdlib>
#include <sstream>

#include "tests/support/media_fixtures.h"

namespace kjtest {

namespace {

constexpr int kProbeSide = 8;      // pictures are looked at as 8x8 grey
constexpr int kBrightMean = 128;   // a white picture's mean is well above this
constexpr int kLoudSample = 2000;  // the tone's peaks are about 4000

double ToDouble(const std::string& text) {
    return text.empty() ? 0.0 : std::strtod(text.c_str(), nullptr);
}

}  // namespace

bool MakeClip(const std::string& path, bool lit, bool audio, const std::string& size, int rate,
              double seconds, const std::string& codecArgs, std::string* error) {
    std::ostringstream args;
    args << "-f lavfi -i color=c=" << (lit ? "white" : "black") << ":size=" << size
         << ":rate=" << rate << ":duration=" << seconds;
    if (audio) {
        if (lit) {
            args << " -f lavfi -i sine=frequency=1000:sample_rate=44100:duration=" << seconds;
        } else {
            args << " -f lavfi -i anullsrc=r=44100:cl=stereo -t " << seconds;
        }
    }
    args << " " << codecArgs;
    return MakeWithFfmpeg(args.str(), path, error);
}

Onsets FindOnsets(const std::string& path) {
    Onsets onsets;
    double rate = 0.0;
    {
        std::string text = StreamEntry(path, "v:0", "avg_frame_rate");
        size_t slash = text.find('/');
        double num = ToDouble(text.substr(0, slash));
        double den = slash == std::string::npos ? 1.0 : ToDouble(text.substr(slash + 1));
        rate = den > 0 ? num / den : 0.0;
    }
    onsets.videoStart = ToDouble(StreamEntry(path, "v:0", "start_time"));
    double audioStart = ToDouble(StreamEntry(path, "a:0", "start_time"));
    std::string q = ShellQuote(path);
    std::string pictures =
        RunCommand("ffmpeg -nostdin -v error -i " + q +
                   " -map 0:v:0 -vf scale=" + std::to_string(kProbeSide) + ":" +
                   std::to_string(kProbeSide) + ",format=gray -fps_mode passthrough -f rawvideo -")
            .output;
    // Each picture's own time: an AVI's empty index entries (frames that show the picture before
    // again) take time without giving a picture, which counting pictures leaves out.
    std::vector<double> times;
    bool allTimed = true;
    {
        std::istringstream lines(RunCommand("ffprobe -v error -select_streams v:0 -show_entries "
                                            "frame=best_effort_timestamp_time -of csv=p=0 " +
                                            q)
                                     .output);
        std::string line;
        while (std::getline(lines, line)) {
            if (!line.empty()) {
                allTimed = allTimed && line != "N/A";
                times.push_back(ToDouble(line));
            }
        }
    }
    const size_t frameBytes = kProbeSide * kProbeSide;
    bool timed = allTimed && times.size() * frameBytes == pictures.size();
    for (size_t k = 0; rate > 0 && (k + 1) * frameBytes <= pictures.size(); ++k) {
        int sum = 0;
        for (size_t i = 0; i < frameBytes; ++i) {
            sum += static_cast<unsigned char>(pictures[k * frameBytes + i]);
        }
        if (sum / static_cast<int>(frameBytes) > kBrightMean) {
            onsets.video = onsets.videoStart + static_cast<double>(k) / rate;
            onsets.pictureTime = timed ? times[k] : onsets.video;
            break;
        }
    }
    std::string samples =
        RunCommand("ffmpeg -nostdin -v error -i " + q + " -map 0:a:0 -ac 1 -ar 44100 -f s16le -")
            .output;
    for (size_t i = 0; i + 1 < samples.size(); i += 2) {
        auto value = static_cast<int16_t>(static_cast<unsigned char>(samples[i]) |
                                          (static_cast<unsigned char>(samples[i + 1]) << 8));
        if (std::abs(static_cast<int>(value)) > kLoudSample) {
            onsets.audio = audioStart + static_cast<double>(i / 2) / 44100.0;
            break;
        }
    }
    return onsets;
}

std::vector<std::string> PacketHashes(const std::string& path, const std::string& stream) {
    std::string text =
        RunCommand("ffprobe -v error -select_streams " + stream +
                   " -show_data_hash md5 -show_entries packet=data_hash -of csv=p=0 " +
                   ShellQuote(path))
            .output;
    std::vector<std::string> hashes;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty()) {
            hashes.push_back(line);
        }
    }
    return hashes;
}

std::string StreamEntry(const std::string& path, const std::string& stream,
                        const std::string& entry) {
    return Ffprobe(path, "stream=" + entry, stream);
}

}  // namespace kjtest
