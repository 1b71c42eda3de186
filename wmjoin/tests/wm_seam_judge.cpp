#include "wmjoin/tests/wm_seam_judge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "tests/support/media_fixtures.h"
#include "tests/support/output_judge.h"
#include "tests/support/seam_judge.h"

namespace wmtest {

namespace {

// Sample times are stored in milliseconds.
constexpr double kMs = 0.0011;

double ProbedNumber(const std::string& path, const std::string& entries) {
    std::string text = kjtest::Ffprobe(path, entries);
    return text.empty() ? std::nan("") : std::strtod(text.c_str(), nullptr);
}

// A packet's length: its own duration, else the step to the packet after it.
double Length(const std::vector<kjtest::ProbedPacket>& packets, size_t i) {
    if (packets[i].duration > 0) {
        return packets[i].duration;
    }
    if (i + 1 < packets.size()) {
        return packets[i + 1].pts - packets[i].pts;
    }
    return i > 0 ? packets[i].pts - packets[i - 1].pts : 0;
}

bool IsAudio(const std::string& stream) {
    return stream[0] == 'a';
}

}  // namespace

std::vector<std::string> ProbedStreams(const std::string& path) {
    std::string text = kjtest::RunCommand(
                           "ffprobe -v error -of csv=p=0 -show_entries "
                           "stream=codec_type:stream_disposition=attached_pic " +
                           kjtest::ShellQuote(path))
                           .output;
    std::vector<std::string> streams;
    int video = 0;
    int audio = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("video,0", 0) == 0) {
            streams.push_back("v:" + std::to_string(video));
        }
        if (line.rfind("video", 0) == 0) {
            ++video;
        } else if (line.rfind("audio", 0) == 0) {
            streams.push_back("a:" + std::to_string(audio++));
        }
    }
    return streams;
}

double InputEnd(const std::string& path) {
    double duration = ProbedNumber(path, "format=duration");
    double end = 0;
    for (const std::string& stream : ProbedStreams(path)) {
        std::vector<kjtest::ProbedPacket> packets = kjtest::ProbePackets(path, stream);
        if (packets.empty()) {
            continue;
        }
        size_t last = packets.size() - 1;
        double streamEnd = packets[last].pts + Length(packets, last);
        if (IsAudio(stream) && duration > packets[last].pts) {
            streamEnd = std::min(streamEnd, duration);
        }
        end = std::max(end, streamEnd);
    }
    return end;
}

SeamPlaces ExpectSeamlessJoin(const std::vector<SeamInput>& inputs, const std::string& output) {
    SeamPlaces places;
    const std::vector<std::string> streams = ProbedStreams(inputs.front().path);
    EXPECT_EQ(ProbedStreams(output), streams) << output;
    std::vector<std::vector<kjtest::ProbedPacket>> joined;
    for (const std::string& stream : streams) {
        joined.push_back(kjtest::ProbePackets(output, stream));
    }
    std::vector<size_t> at(streams.size(), 0);
    double previousEnd = 0;  // in the output, where the input before really ends
    double longestFrame = 0;
    for (size_t k = 0; k < inputs.size(); ++k) {
        const SeamInput& input = inputs[k];
        double shift = std::nan("");
        double start = 1e18;
        double end = 0;
        double frame = 0;
        for (size_t s = 0; s < streams.size(); ++s) {
            std::vector<kjtest::ProbedPacket> own = kjtest::ProbePackets(input.path, streams[s]);
            const std::vector<kjtest::ProbedPacket>& out = joined[s];
            size_t whole = 0;
            while (whole < own.size() && at[s] + whole < out.size() &&
                   out[at[s] + whole].md5 == own[whole].md5) {
                ++whole;
            }
            EXPECT_GE(whole + input.mayLoseAtEnd, own.size())
                << input.path << " " << streams[s] << ": packet " << whole << " of " << own.size()
                << " is not in the output where it belongs";
            if (whole == 0) {
                continue;
            }
            double offset = out[at[s]].pts - own[0].pts;
            if (std::isnan(shift)) {
                shift = offset;
            }
            for (size_t i = 0; i < whole; ++i) {
                EXPECT_NEAR(out[at[s] + i].pts - own[i].pts, shift, kMs)
                    << input.path << " " << streams[s] << " packet " << i
                    << ": the streams of an input move together";
            }
            if (k > 0) {
                EXPECT_GT(out[at[s]].pts + kMs, out[at[s] - 1].pts)
                    << input.path << " " << streams[s] << " starts before the input before";
            }
            start = std::min(start, out[at[s]].pts);
            size_t last = at[s] + whole - 1;
            // The input's own last packet: the step after it in the output is the seam's.
            double length = Length(
                std::vector<kjtest::ProbedPacket>(own.begin(), own.begin() + whole), whole - 1);
            double streamEnd = out[last].pts + length;
            frame = std::max(frame, length);
            if (IsAudio(streams[s]) && input.mayLoseAtEnd == 0) {
                double ownEnd = InputEnd(input.path);
                if (!std::isnan(ownEnd) && ownEnd + shift > out[last].pts) {
                    streamEnd = std::min(streamEnd, ownEnd + shift);
                }
            }
            end = std::max(end, streamEnd);
            at[s] += whole;
        }
        places.starts.push_back(start);
        if (k > 0) {
            EXPECT_GE(start + kMs, previousEnd) << input.path << " overlaps the input before";
            EXPECT_LE(start, previousEnd + std::max(longestFrame, kMs))
                << input.path << " leaves a gap after the input before, which ends at "
                << previousEnd;
        }
        previousEnd = end;
        longestFrame = frame;
    }
    for (size_t s = 0; s < streams.size(); ++s) {
        EXPECT_EQ(at[s], joined[s].size()) << streams[s] << ": the output has packets of its own";
    }
    return places;
}

std::string NewReaderComplaints(const std::vector<std::string>& inputs, const std::string& output) {
    std::vector<std::string> decodes;
    std::vector<std::string> plays;
    for (const std::string& input : inputs) {
        decodes.push_back(kjtest::WithoutAddresses(kjtest::DecodeErrors(input)));
        plays.push_back(kjtest::MpvWarnings(input));
    }
    return kjtest::LinesNotIn(kjtest::WithoutAddresses(kjtest::DecodeErrors(output)), decodes) +
           kjtest::LinesNotIn(kjtest::MpvWarnings(output), plays);
}

}  // namespace wmtest
