#include "job/join_check.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "job/kind_table.h"
#include "probe/codec_names.h"
#include "res/resource_ids.h"

namespace {

std::string SizeText(int32_t width, int32_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

struct Fraction {
    int64_t num = 0;
    int64_t den = 0;
};

Fraction Reduced(int64_t num, int64_t den) {
    if (num <= 0 || den <= 0) {
        return {};
    }
    int64_t g = std::gcd(num, den);
    return {num / g, den / g};
}

}  // namespace

bool SameFrameRate(const JoinCheckFacts& a, const JoinCheckFacts& b) {
    // Reduced first: the fields come from files, and their cross products may not fit.
    Fraction x = Reduced(a.rateNum, a.rateDen);
    Fraction y = Reduced(b.rateNum, b.rateDen);
    return x.num == y.num && x.den == y.den;
}

bool SameNamedFields(const JoinCheckFacts& a, const JoinCheckFacts& b) {
    return a.streamCount == b.streamCount && a.videoCodec == b.videoCodec && a.width == b.width &&
           a.height == b.height && SameFrameRate(a, b) && a.audioCodec == b.audioCodec &&
           a.sampleRate == b.sampleRate && a.channels == b.channels;
}

namespace {

// "25 fps", "29.97 fps": as few decimals as tell `rate` from `other` (two decimals at least
// when it is not whole), so that two rates that differ never read the same.
std::string RateText(Fraction rate, Fraction other) {
    auto text = [](Fraction r, int decimals) {
        char out[64];
        double value = static_cast<double>(r.num) / static_cast<double>(r.den);
        if (r.den == 1 || decimals == 0) {
            std::snprintf(out, sizeof out, "%.0f fps", value);
        } else {
            std::snprintf(out, sizeof out, "%.*f fps", decimals, value);
        }
        return std::string(out);
    };
    int decimals = rate.den == 1 && other.den == 1 ? 0 : 2;
    while (decimals < 9 && text(rate, decimals) == text(other, decimals)) {
        ++decimals;
    }
    return text(rate, decimals);
}

std::string OrNone(const std::string& codec) {
    return codec.empty() ? std::string("none") : codec;
}

// The codecs of two files by the names people know them by; when two spellings share a name,
// the spelling goes with it so that the two read differently.
std::pair<std::string, std::string> CodecTexts(const std::string& codec, const std::string& first) {
    std::string shown = OrNone(CodecDisplayName(codec));
    std::string firstShown = OrNone(CodecDisplayName(first));
    if (shown == firstShown) {
        shown += " (" + codec + ")";
        firstShown += " (" + first + ")";
    }
    return {shown, firstShown};
}

CheckFinding Finding(std::string field, std::string value, std::string firstValue, bool refuses) {
    CheckFinding finding;
    finding.field = std::move(field);
    finding.value = std::move(value);
    finding.firstValue = std::move(firstValue);
    finding.refuses = refuses;
    return finding;
}

std::optional<CheckFinding> KindRule(const JoinCheckFacts& first, const JoinCheckFacts& other) {
    if (other.kind == first.kind) {
        return std::nullopt;
    }
    return Finding("kind", MediaKindText(other.kind), MediaKindText(first.kind), true);
}

std::optional<CheckFinding> StreamCountRule(const JoinCheckFacts& first,
                                            const JoinCheckFacts& other) {
    // Only the packet copies carry every stream; a conversion takes one video and one audio.
    if (other.kind != first.kind || !CopiesPackets(first.kind) || first.streamCount < 0 ||
        other.streamCount < 0 || first.streamCount == other.streamCount) {
        return std::nullopt;
    }
    return Finding("stream count", std::to_string(other.streamCount),
                   std::to_string(first.streamCount), true);
}

std::optional<CheckFinding> VideoCodecRule(const JoinCheckFacts& first,
                                           const JoinCheckFacts& other) {
    if (other.kind != first.kind || (first.videoCodec.empty() && other.videoCodec.empty()) ||
        first.videoCodec == other.videoCodec) {
        return std::nullopt;
    }
    auto [shown, firstShown] = CodecTexts(other.videoCodec, first.videoCodec);
    return Finding("video codec", shown, firstShown, CopiesPackets(first.kind));
}

std::optional<CheckFinding> PictureSizeRule(const JoinCheckFacts& first,
                                            const JoinCheckFacts& other) {
    bool unknown = other.width == 0 || other.height == 0;
    // Two files without pictures have no size to compare (whether such a list may be joined
    // is the designed checks' answer).
    if (other.kind != first.kind || (!first.hasVideo && !other.hasVideo) ||
        (!unknown && other.width == first.width && other.height == first.height)) {
        return std::nullopt;
    }
    // A size of zero is refused by the designed checks whatever the kind.
    auto shown = [](const JoinCheckFacts& f) {
        if (f.width > 0 || f.height > 0) {
            return SizeText(f.width, f.height);
        }
        return std::string(f.hasVideo ? "unknown" : "none");
    };
    return Finding("picture size", shown(other), shown(first),
                   unknown || CopiesPackets(first.kind));
}

std::optional<CheckFinding> FrameRateRule(const JoinCheckFacts& first,
                                          const JoinCheckFacts& other) {
    Fraction a = Reduced(first.rateNum, first.rateDen);
    Fraction b = Reduced(other.rateNum, other.rateDen);
    if (other.kind != first.kind || a.den == 0 || b.den == 0 || SameFrameRate(first, other)) {
        return std::nullopt;
    }
    return Finding("frame rate", RateText(b, a), RateText(a, b), CopiesPackets(first.kind));
}

std::optional<CheckFinding> AudioCodecRule(const JoinCheckFacts& first,
                                           const JoinCheckFacts& other) {
    if (other.kind != first.kind || first.audioCodec == other.audioCodec) {
        return std::nullopt;
    }
    auto [shown, firstShown] = CodecTexts(other.audioCodec, first.audioCodec);
    return Finding("audio codec", shown, firstShown, CopiesPackets(first.kind));
}

std::optional<CheckFinding> SampleRateRule(const JoinCheckFacts& first,
                                           const JoinCheckFacts& other) {
    if (other.kind != first.kind || first.sampleRate == 0 || other.sampleRate == 0 ||
        first.sampleRate == other.sampleRate) {
        return std::nullopt;
    }
    return Finding("sample rate", std::to_string(other.sampleRate) + " Hz",
                   std::to_string(first.sampleRate) + " Hz", CopiesPackets(first.kind));
}

std::optional<CheckFinding> ChannelsRule(const JoinCheckFacts& first, const JoinCheckFacts& other) {
    if (other.kind != first.kind || first.channels == 0 || other.channels == 0 ||
        first.channels == other.channels) {
        return std::nullopt;
    }
    return Finding("channels", std::to_string(other.channels), std::to_string(first.channels),
                   CopiesPackets(first.kind));
}

void AppendJsonEscaped(std::string& out, const std::string& text) {
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", c);
                    out += escape;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
}

const char* OutcomeName(JoinOutcome outcome) {
    switch (outcome) {
        case JoinOutcome::kLossless:
            return "lossless";
        case JoinOutcome::kReencode:
            return "reencode";
        case JoinOutcome::kRefused:
            return "refused";
    }
    return "refused";
}

std::string StreamPlan(const char* stream, std::optional<bool> copy) {
    return std::string(stream) + (*copy ? " copied" : " re-encoded");
}

}  // namespace

std::string CheckFileName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CheckFinding::Text(const std::vector<JoinCheckFacts>& files) const {
    std::string name = input < files.size() ? CheckFileName(files[input].path) : std::string();
    if (firstValue.empty()) {
        return name + ": " + field + ": " + value;
    }
    return name + ": " + field + " " + value + ", the first file has " + firstValue;
}

std::vector<size_t> CheckResult::OddInputs() const {
    std::vector<size_t> odd;
    for (const CheckFinding& finding : findings) {
        if (odd.empty() || odd.back() != finding.input) {
            odd.push_back(finding.input);
        }
    }
    return odd;
}

std::string CheckResult::DescribeInput(size_t input) const {
    std::string text;
    for (const CheckFinding& finding : findings) {
        if (finding.input == input) {
            text += (text.empty() ? "" : "; ") + finding.field +
                    (finding.firstValue.empty()
                         ? ": " + finding.value
                         : " " + finding.value + ", the first file has " + finding.firstValue);
        }
    }
    return text;
}

namespace {
const std::vector<CheckRule>& Rules() {
    static const std::vector<CheckRule> rules = {
        KindRule,      StreamCountRule, VideoCodecRule, PictureSizeRule,
        FrameRateRule, AudioCodecRule,  SampleRateRule, ChannelsRule,
    };
    return rules;
}
}  // namespace

const std::vector<CheckRule>& JoinCheckRules() {
    return Rules();
}

CheckResult CheckJoinFacts(const std::vector<JoinCheckFacts>& files, int refusal,
                           std::optional<bool> copyVideo, std::optional<bool> copyAudio,
                           std::vector<bool> encodeInputs, int encodedAudioTracks) {
    CheckResult result;
    result.refusal = refusal;
    bool refuses = refusal != 0;
    bool differs = false;
    const KindRow* row = files.empty() ? nullptr : FindKind(files.front().kind);
    for (size_t i = 1; i < files.size(); ++i) {
        // An input the engine encodes to the first's format joins whatever else differs in it;
        // only another kind of file stays refused.
        bool encoded = i < encodeInputs.size() && encodeInputs[i];
        auto apply = [&](const CheckRule& rule) {
            if (std::optional<CheckFinding> finding = rule(files.front(), files[i])) {
                finding->input = i;
                finding->refuses = finding->refuses && !(encoded && finding->field != "kind");
                refuses = refuses || finding->refuses;
                differs = true;
                result.findings.push_back(std::move(*finding));
            }
        };
        for (const CheckRule& rule : JoinCheckRules()) {
            apply(rule);
        }
        for (size_t r = 0; row != nullptr && r < row->rules.size(); ++r) {
            apply(row->rules[r]);
        }
    }
    bool converted = !files.empty() && !CopiesPackets(files.front().kind);
    bool someEncoded =
        std::find(encodeInputs.begin(), encodeInputs.end(), true) != encodeInputs.end();
    if (converted) {
        result.copyVideo = copyVideo;
        result.copyAudio = copyAudio;
        result.encodedAudioTracks = encodedAudioTracks;
    }
    if (someEncoded) {
        result.encodeInputs = std::move(encodeInputs);
    }
    if (refuses) {
        result.outcome = JoinOutcome::kRefused;
    } else if (someEncoded ||
               (converted && ((copyVideo && !*copyVideo) || (copyAudio && !*copyAudio) ||
                              (!copyVideo && differs) || result.encodedAudioTracks > 0))) {
        result.outcome = JoinOutcome::kReencode;
    } else {
        result.outcome = JoinOutcome::kLossless;
    }
    return result;
}

JoinCheckFacts FactsFromRecord(const MediaFileInfo& info) {
    JoinCheckFacts facts;
    facts.path = info.m_strPath;
    facts.kind = info.m_nKind;
    facts.width = info.m_nWidth;
    facts.height = info.m_nHeight;
    facts.cutShort = CutShortText(info.m_cutShort);
    facts.hasVideo = info.m_nWidth > 0 || info.m_nHeight > 0 || !info.m_strVideoCodec.empty();
    facts.hasAudio = info.m_bHasAudio != 0;
    facts.videoCodec = info.m_strVideoCodec;
    facts.audioCodec = info.m_bHasAudio != 0 ? info.m_strAudioCodec : std::string();
    return facts;
}

std::string CheckSummary(const CheckResult& result, const std::vector<JoinCheckFacts>& files) {
    if (files.size() < 2 || result.refusal == IDS_TOO_FEW_FILES) {
        return "A join needs at least two files.";
    }
    if (result.outcome == JoinOutcome::kRefused) {
        if (!result.planFailure.empty() && result.findings.empty()) {
            return "A join would fail: " + result.planFailure;
        }
        size_t odd = result.OddInputs().size();
        if (odd == 0) {
            return "A join would be refused.";
        }
        return "A join would be refused: " + std::to_string(odd) + " of " +
               std::to_string(files.size()) + " files differ from the first.";
    }
    std::string count = std::to_string(files.size()) + " files";
    if (result.outcome == JoinOutcome::kLossless) {
        return "A join would copy every packet of the " + count + " as it is (lossless).";
    }
    if (!result.encodeInputs.empty()) {
        std::vector<std::string> odd;
        for (size_t i = 0; i < result.encodeInputs.size() && i < files.size(); ++i) {
            if (result.encodeInputs[i]) {
                odd.push_back(CheckFileName(files[i].path));
            }
        }
        std::string names;
        for (size_t i = 0; i < odd.size(); ++i) {
            names += (i == 0 ? "" : i + 1 == odd.size() ? " and " : ", ") + odd[i];
        }
        return "A join would copy " + std::to_string(files.size() - odd.size()) + " of the " +
               count + " as they are and encode " + names + " to match the first file's format.";
    }
    std::string text = "A join would re-encode the " + count;
    if (result.copyVideo && result.copyAudio) {
        text += " (" + StreamPlan("video", result.copyVideo) + ", " +
                StreamPlan("audio", result.copyAudio);
        if (result.encodedAudioTracks > 0) {
            text += ", " + std::to_string(result.encodedAudioTracks) + " further audio track" +
                    (result.encodedAudioTracks == 1 ? "" : "s") + " re-encoded";
        }
        text += ")";
    }
    text += " into the first file's format.";
    return text;
}

std::string NotEncodedSentence(const CheckResult& result, const std::vector<JoinCheckFacts>& files,
                               size_t input) {
    if (input >= result.whyNotEncoded.size() || input >= files.size() ||
        result.whyNotEncoded[input].empty()) {
        return {};
    }
    return CheckFileName(files[input].path) +
           " cannot be encoded here to match the first file: " + result.whyNotEncoded[input] +
           ". Convert it to the first file's format, or join it in a list of its own.";
}

std::string CheckReport(const CheckResult& result, const std::vector<JoinCheckFacts>& files) {
    std::string text;
    for (const JoinCheckFacts& file : files) {
        if (!file.cutShort.empty()) {
            text += CheckFileName(file.path) + ": " + file.cutShort + "\n";
        }
    }
    for (const CheckFinding& finding : result.findings) {
        text += finding.Text(files) + "\n";
    }
    for (size_t i = 1; i < files.size(); ++i) {
        if (std::string sentence = NotEncodedSentence(result, files, i); !sentence.empty()) {
            text += sentence + "\n";
        }
    }
    text += CheckSummary(result, files) + "\n";
    return text;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    AppendJsonEscaped(out, text);
    out += '"';
    return out;
}

std::string CheckReportJson(const CheckResult& result, const std::vector<JoinCheckFacts>& files) {
    std::string out = "{\"files\": [";
    for (size_t i = 0; i < files.size(); ++i) {
        out += (i == 0 ? "" : ", ") + JsonString(files[i].path);
    }
    out += "], \"outcome\": " + JsonString(OutcomeName(result.outcome));
    out += std::string(", \"joinable\": ") + (result.Joinable() ? "true" : "false");
    if (result.copyVideo) {
        out += std::string(", \"copy_video\": ") + (*result.copyVideo ? "true" : "false");
    }
    if (result.copyAudio) {
        out += std::string(", \"copy_audio\": ") + (*result.copyAudio ? "true" : "false");
    }
    if (result.encodedAudioTracks > 0) {
        out += ", \"encoded_audio_tracks\": " + std::to_string(result.encodedAudioTracks);
    }
    if (!result.planFailure.empty()) {
        out += ", \"plan_failure\": " + JsonString(result.planFailure);
    }
    if (!result.encodeInputs.empty()) {
        out += ", \"encode_inputs\": [";
        bool firstEncoded = true;
        for (size_t i = 0; i < result.encodeInputs.size(); ++i) {
            if (result.encodeInputs[i]) {
                out += std::string(firstEncoded ? "" : ", ") + std::to_string(i);
                firstEncoded = false;
            }
        }
        out += "]";
    }
    out += ", \"cut_short\": [";
    bool firstCut = true;
    for (size_t i = 0; i < files.size(); ++i) {
        if (!files[i].cutShort.empty()) {
            out += std::string(firstCut ? "" : ", ") + "{\"input\": " + std::to_string(i) +
                   ", \"path\": " + JsonString(files[i].path) +
                   ", \"text\": " + JsonString(files[i].cutShort) + "}";
            firstCut = false;
        }
    }
    out += "], \"not_encoded\": [";
    bool firstNotEncoded = true;
    for (size_t i = 0; i < result.whyNotEncoded.size() && i < files.size(); ++i) {
        if (!result.whyNotEncoded[i].empty()) {
            out += std::string(firstNotEncoded ? "" : ", ") + "{\"input\": " + std::to_string(i) +
                   ", \"reason\": " + JsonString(result.whyNotEncoded[i]) + "}";
            firstNotEncoded = false;
        }
    }
    out += "], \"differences\": [";
    for (size_t i = 0; i < result.findings.size(); ++i) {
        const CheckFinding& f = result.findings[i];
        out += (i == 0 ? "" : ", ");
        out += "{\"input\": " + std::to_string(f.input) + ", \"path\": " +
               JsonString(f.input < files.size() ? files[f.input].path : std::string()) +
               ", \"field\": " + JsonString(f.field) + ", \"value\": " + JsonString(f.value) +
               ", \"first\": " + JsonString(f.firstValue) +
               ", \"refuses\": " + (f.refuses ? "true" : "false") +
               ", \"text\": " + JsonString(f.Text(files)) + "}";
    }
    out += "], \"summary\": " + JsonString(CheckSummary(result, files)) + "}";
    return out;
}
