#include "job/check_facts.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "engines/asf/asf_format.h"
#include "engines/asf/asf_header_parser.h"
#include "engines/realmedia/rm_codec.h"
#include "engines/realmedia/rm_reader.h"
#include "job/job_state.h"
#include "job/join_job.h"
#include "mcljoin/mcl_api.h"
#include "mcljoin/mcl_join.h"
#include "platform/bytes.h"
#include "probe/format_tags.h"
#include "probe/header_file.h"

namespace {

// A header object larger than this is not read for the check (real ones are a few kilobytes).
constexpr uint64_t kMaxAsfHeaderBytes = 16u << 20;
constexpr size_t kAsfObjectHead = 24;  // GUID and 64-bit size
constexpr uint64_t kAsfTicksPerSecond = 10'000'000;
constexpr size_t kBitmapCompression = 16;  // within BITMAPINFOHEADER
constexpr size_t kWaveChannels = 2;        // within WAVEFORMATEX
constexpr size_t kWaveSamplesPerSec = 4;
constexpr int64_t kRmRateOne = 65536;  // RealVideo frame rates are 16.16 fixed point

std::string FourCCText(uint32_t fourcc) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((fourcc >> (8 * i)) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

std::string FormatTagText(uint16_t tag) {
    std::string name;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%04X", tag);
    return AcmFormatTagName(tag, name) ? name + " (" + hex + ")" : std::string(hex);
}

void ReadAsfFacts(JoinCheckFacts& facts) {
    HeaderFile file;
    if (!file.Open(facts.path)) {
        return;
    }
    uint8_t head[kAsfObjectHead] = {};
    if (file.ReadAt(0, head, sizeof head) != sizeof head) {
        return;
    }
    uint64_t size = ByteReader(head, sizeof head).LE64(16);
    if (size < kAsfObjectHead || size > kMaxAsfHeaderBytes) {
        return;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
    AddAsfHeaderFacts(ByteReader(bytes), facts);
}

}  // namespace

void AddAsfHeaderFacts(ByteReader bytes, JoinCheckFacts& facts) {
    asf::Header header;
    if (FAILED(asf::ParseHeaderObject(bytes, &header))) {
        return;
    }
    facts.streamCount = static_cast<int>(header.streams.size());
    // The container's first video and audio streams say what the record only named.
    facts.hasVideo = false;
    facts.hasAudio = false;
    facts.videoCodec.clear();
    facts.audioCodec.clear();
    for (const asf::StreamInfo& stream : header.streams) {
        ByteReader data(stream.typeSpecific);
        if (stream.IsVideo() && !facts.hasVideo) {
            facts.hasVideo = true;
            ByteReader bitmap =
                data.Sub(asf::videoinfo::kBitmapInfo, asf::videoinfo::kBitmapInfoSize);
            facts.videoCodec = FourCCText(bitmap.LE32(kBitmapCompression));
            uint64_t perFrame = stream.hasExtended ? stream.extended.avgTimePerFrame : 0;
            if (perFrame > 0) {
                int64_t g = std::gcd(static_cast<int64_t>(kAsfTicksPerSecond),
                                     static_cast<int64_t>(perFrame));
                facts.rateNum = static_cast<int64_t>(kAsfTicksPerSecond) / g;
                facts.rateDen = static_cast<int64_t>(perFrame) / g;
            }
        } else if (stream.IsAudio() && !facts.hasAudio) {
            facts.hasAudio = true;
            facts.audioCodec = FormatTagText(data.LE16(0));
            facts.channels = data.LE16(kWaveChannels);
            facts.sampleRate = static_cast<int>(data.LE32(kWaveSamplesPerSec));
        }
    }
}

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
    for (const rm::MediaProperties& stream : header.streams) {
        if (stream.IsLogical()) {
            continue;  // the joined file keeps the first file's own
        }
        ++streams;
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

namespace {

void ReadRmFacts(JoinCheckFacts& facts) {
    rm::FileSource source;
    if (source.Open(facts.path)) {
        AddRmFacts(source, facts);
    }
}

void AddPlanFacts(JoinCheckFacts& facts, const MclPlanInput& input) {
    auto text = [](const char* slot) {
        return std::string(slot, strnlen(slot, kMclPlanCodecBytes));
    };
    facts.hasVideo = input.videoCodec[0] != '\0';
    facts.videoCodec = text(input.videoCodec);
    facts.rateNum = input.rateNum;
    facts.rateDen = input.rateDen;
    facts.hasAudio = input.audioCodec[0] != '\0';
    facts.audioCodec = text(input.audioCodec);
    facts.sampleRate = input.sampleRate;
    facts.channels = input.channels;
}

}  // namespace

JoinCheckFacts ReadCheckFacts(const MediaFileInfo& info) {
    JoinCheckFacts facts = FactsFromRecord(info);
    if (info.m_nKind == kKindWmv) {
        ReadAsfFacts(facts);
    } else if (info.m_nKind == kKindRealMedia) {
        ReadRmFacts(facts);
    }
    return facts;
}

CheckResult CheckInputs(JoinHost& host, std::vector<JoinCheckFacts>* facts) {
    const std::vector<JoinInput>& inputs = host.Inputs();
    std::vector<const MediaFileInfo*> rows;
    facts->clear();
    for (const JoinInput& input : inputs) {
        rows.push_back(&input.info);
        facts->push_back(ReadCheckFacts(input.info));
    }
    int refusal = CheckJoinList(rows);
    std::optional<bool> copyVideo;
    std::optional<bool> copyAudio;
    std::string planFailure;
    MediaKind kind = inputs.empty() ? kKindAvi : inputs.front().info.m_nKind;
    bool sameKind = std::all_of(inputs.begin(), inputs.end(),
                                [&](const JoinInput& in) { return in.info.m_nKind == kind; });
    if (refusal == 0 && sameKind && (kind == kKindAvi || kind == kKindMpeg || kind == kKindMpeg2)) {
        MclPlanCheck plan;
        std::string errorBefore = g_errorText;
        g_errorText.clear();
        if (PlanConversionJoin(host, &plan) == 1 && plan.inputs.size() == facts->size()) {
            for (size_t i = 0; i < facts->size(); ++i) {
                AddPlanFacts((*facts)[i], plan.inputs[i]);
            }
            copyVideo = plan.result.copyVideo != 0;
            copyAudio = plan.result.copyAudio != 0;
        } else {
            planFailure = g_errorText;  // empty when the module could not be asked at all
        }
        g_errorText = errorBefore;  // the check is no join: its reason is not a job's
    }
    CheckResult result = CheckJoinFacts(*facts, refusal, copyVideo, copyAudio);
    if (!planFailure.empty()) {
        // What the module refuses, a join through it would fail on.
        while (!planFailure.empty() && (planFailure.back() == '\n' || planFailure.back() == '\r')) {
            planFailure.pop_back();
        }
        result.planFailure = planFailure;
        result.outcome = JoinOutcome::kRefused;
    }
    return result;
}

std::string RefusalWithFindings(const std::string& designed, const CheckResult& result,
                                const std::vector<JoinCheckFacts>& facts) {
    std::string text = designed;
    for (const CheckFinding& finding : result.findings) {
        if (!text.empty() && text.back() != '\n') {
            text += "\n";
        }
        text += finding.Text(facts);
    }
    return text;
}
