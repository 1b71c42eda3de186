#include "tests/support/seam_judge.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <regex>
#include <sstream>

#include "tests/support/media_fixtures.h"
#include "tests/support/output_judge.h"

namespace kjtest {

namespace {

// How far ahead in the output a packet of an input is looked for: packets the join changed
// (a part-frame made padding) or added stand between.
constexpr size_t kLookahead = 16;
// Times ffprobe prints are rounded to the container's clock (1 ms for Real Media).
constexpr double kClockSlack = 0.0015;
// A seek lands this far into the input after a seam.
constexpr double kSeekPastSeam = 0.25;

// "v:0", "a:0", "a:1" ... for the audio and video streams ffprobe finds in `path`.
std::vector<std::string> StreamSelectors(const std::string& path) {
    CommandResult r = RunCommand("ffprobe -v quiet -of csv=p=0 -show_entries stream=codec_type " +
                                 ShellQuote(path));
    std::vector<std::string> selectors;
    int audio = 0;
    int video = 0;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("audio", 0) == 0) {
            selectors.push_back("a:" + std::to_string(audio++));
        } else if (line.rfind("video", 0) == 0) {
            selectors.push_back("v:" + std::to_string(video++));
        }
    }
    return selectors;
}

struct Span {
    double start = INFINITY;
    double end = -INFINITY;
    double longestFrame = 0;
    double ownStart = INFINITY;  // on the input's own clock
};

// One stream: each input's packets found in the output in order; what is missing is reported,
// and each input's span in the output is widened by the packets found.
void MatchStream(const std::vector<JoinedInput>& inputs, const std::string& output,
                 const std::string& selector, std::vector<Span>& spans, std::string& lost) {
    const std::vector<ProbedPacket> out = ProbePackets(output, selector);
    size_t cursor = 0;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const std::vector<ProbedPacket> in = ProbePackets(inputs[i].path, selector);
        for (const ProbedPacket& p : in) {
            if (!std::isnan(p.pts)) {
                spans[i].ownStart = std::min(spans[i].ownStart, p.pts);
            }
        }
        for (size_t k = 0; k < in.size(); ++k) {
            const size_t stop = std::min(out.size(), cursor + kLookahead);
            size_t j = cursor;
            while (j < stop && out[j].md5 != in[k].md5) {
                ++j;
            }
            if (j == stop) {
                const bool partPacket = inputs[i].cut && k + 1 == in.size();
                if (!partPacket) {
                    lost += "input " + std::to_string(i + 1) + " " + selector + " packet " +
                            std::to_string(k) + " of " + std::to_string(in.size()) + "\n";
                }
                continue;
            }
            cursor = j + 1;
            const ProbedPacket& p = out[j];
            if (std::isnan(p.pts)) {
                continue;
            }
            Span& s = spans[i];
            s.start = std::min(s.start, p.pts);
            s.end = std::max(s.end, p.pts + p.duration);
            s.longestFrame = std::max(s.longestFrame, p.duration);
        }
    }
}

// `text` without empty lines, the lines that begin with one of `openings`, and the "Last
// message repeated" lines that follow those.
std::string WithoutLines(const std::string& text, const std::vector<std::string>& openings) {
    std::string kept;
    bool dropped = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (dropped && line.find("Last message repeated") != std::string::npos) {
            continue;
        }
        dropped = std::any_of(openings.begin(), openings.end(),
                              [&](const std::string& o) { return line.rfind(o, 0) == 0; });
        if (!dropped && !line.empty()) {
            kept += line + "\n";
        }
    }
    return kept;
}

// What ffmpeg prints after a seek that is not about the file's data: the null muxer's view of
// the timestamps a seek hands on, and the Real Media demuxer's search by time, which say the
// same after a seek into files ffmpeg wrote itself.
std::string SeekMessagesOfTheFile(const std::string& text) {
    return WithoutLines(text, {"[null @ 0x]", "[rm @ 0x] read_timestamp() failed in the middle"});
}

std::string Seconds(double s) {
    std::ostringstream text;
    text.precision(3);
    text << std::fixed << s;
    return text.str();
}

}  // namespace

std::string WithoutAddresses(const std::string& text) {
    static const std::regex address(" @ 0x[0-9a-fA-F]+");
    return std::regex_replace(text, address, " @ 0x");
}

SeamJudgement JudgeCopyJoin(const std::vector<JoinedInput>& inputs, const std::string& output) {
    SeamJudgement j;
    if (inputs.empty()) {
        j.packetsLost = "no inputs";
        return j;
    }
    std::vector<Span> spans(inputs.size());
    for (const std::string& selector : StreamSelectors(inputs.front().path)) {
        MatchStream(inputs, output, selector, spans, j.packetsLost);
    }
    double longestFrame = 0;
    for (const Span& s : spans) {
        longestFrame = std::max(longestFrame, s.longestFrame);
    }
    for (size_t i = 0; i + 1 < inputs.size(); ++i) {
        const double gap = spans[i + 1].start - spans[i].end;
        if (!std::isfinite(gap) || std::fabs(gap) > longestFrame + kClockSlack) {
            j.seams += "seam " + std::to_string(i + 1) + ": input ends at " +
                       Seconds(spans[i].end) + " s, the next starts at " +
                       Seconds(spans[i + 1].start) + " s (a frame is " + Seconds(longestFrame) +
                       " s)\n";
        }
        if (std::isfinite(spans[i + 1].start) && std::isfinite(spans[i + 1].ownStart)) {
            // A seek lands inside whatever packet is there: the same seek into the input on its
            // own says what that costs without a seam.
            const std::string alone = SeekMessagesOfTheFile(WithoutAddresses(
                SeekDecodeErrors(inputs[i + 1].path, spans[i + 1].ownStart + kSeekPastSeam)));
            const std::string joined = SeekMessagesOfTheFile(
                WithoutAddresses(SeekDecodeErrors(output, spans[i + 1].start + kSeekPastSeam)));
            j.seekErrors += LinesNotIn(joined, {alone});
        }
    }
    std::map<std::string, std::pair<std::string, std::string>> readings;  // decode, mpv
    std::vector<std::string> decodes;
    std::vector<std::string> warnings;
    for (const JoinedInput& in : inputs) {
        auto [it, fresh] = readings.try_emplace(in.path);
        if (fresh) {
            it->second = {WithoutAddresses(DecodeErrors(in.path)),
                          WithoutAddresses(MpvWarnings(in.path))};
        }
        decodes.push_back(it->second.first);
        warnings.push_back(it->second.second);
    }
    j.decodeAdded = LinesNotIn(WithoutAddresses(DecodeErrors(output)), decodes);
    j.mpvAdded = LinesNotIn(WithoutAddresses(MpvWarnings(output)), warnings);
    j.gstFailure = GstPlaybackFailure(output);
    return j;
}

}  // namespace kjtest
