#include "rmjoin/rm_check_facts.h"

#include <numeric>

#include "engines/realmedia/rm_codec.h"
#include "engines/realmedia/rm_reader.h"

namespace {

constexpr int64_t kRmRateOne = 65536;  // RealVideo frame rates are 16.16 fixed point

}  // namespace

void AddRmHeaderFacts(const uint8_t* data, size_t size, JoinCheckFacts& facts) {
    rm::MemorySource source(data, size);
    AddRmFacts(source, facts);
}

void AddRmFacts(rm::ByteSource& source, JoinCheckFacts& facts) {
    rm::RmHeader header;
    std::string why;
    if (FAILED(rm::ReadHeader(source, header, &why))) {
        return;
    }
    int streams = 0;
    facts.hasVideo = false;
    facts.hasAudio = false;
    facts.videoCodec.clear();
    facts.audioCodec.clear();
    facts.streamFormats.clear();
    for (const rm::MediaProperties& stream : header.streams) {
        if (stream.IsLogical()) {
            continue;  // the joined file keeps the first file's own
        }
        ++streams;
        JoinCheckFacts::StreamFormat kept;
        kept.block = stream.typeData;
        kept.video = stream.IsVideo();
        kept.audio = stream.IsAudio();
        kept.number = stream.stream;
        facts.streamFormats.push_back(std::move(kept));
        if (stream.IsVideo() && !facts.hasVideo) {
            rm::VideoFormat format;
            facts.hasVideo = true;
            if (rm::ParseVideoFormat(stream.typeData, format)) {
                facts.videoCodec = format.fourcc;
                if (format.frameRate > 0) {
                    int64_t g = std::gcd(static_cast<int64_t>(format.frameRate), kRmRateOne);
                    facts.rateNum = format.frameRate / g;
                    facts.rateDen = kRmRateOne / g;
                }
            } else {
                facts.videoCodec = stream.mime;
            }
        } else if (stream.IsAudio() && !facts.hasAudio) {
            facts.hasAudio = true;
            rm::AudioFormat format;
            if (rm::ParseAudioFormat(stream.typeData, format)) {
                facts.audioCodec = format.fourcc;
                facts.sampleRate = static_cast<int>(format.sampleRate);
                facts.channels = format.channels;
            } else {
                facts.audioCodec = stream.mime;
            }
        }
    }
    facts.streamCount = streams;
}

void ReadRmFacts(JoinCheckFacts& facts) {
    rm::FileSource source;
    if (source.Open(facts.path)) {
        AddRmFacts(source, facts);
    }
}

std::optional<CheckFinding> RmStreamSettingsRule(const JoinCheckFacts& first,
                                                 const JoinCheckFacts& other) {
    if (first.kind != kKindRealMedia || other.kind != kKindRealMedia ||
        !SameNamedFields(first, other)) {
        return std::nullopt;
    }
    for (const JoinCheckFacts::StreamFormat& mine : first.streamFormats) {
        if (!mine.video && !mine.audio) {
            continue;
        }
        for (const JoinCheckFacts::StreamFormat& theirs : other.streamFormats) {
            if (theirs.number != mine.number) {
                continue;
            }
            std::string difference = mine.video
                                         ? rm::DescribeVideoDifference(mine.block, theirs.block)
                                         : rm::DescribeAudioDifference(mine.block, theirs.block);
            if (!difference.empty()) {
                CheckFinding finding;
                finding.field = mine.video ? "video settings" : "audio settings";
                finding.value = difference;
                finding.refuses = true;
                return finding;
            }
        }
    }
    return std::nullopt;
}
