// The field-by-field comparison of a join list: every file against the first, with the checks a
// join makes, so that a refusal can name every odd file and field at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "probe/media_file_info.h"

// What the check knows of one file: the probe's record and what its container says of its
// streams. A field that could not be read stays at its "unknown" value and is not compared.
struct JoinCheckFacts {
    std::string path;
    MediaKind kind = kKindAvi;
    int32_t width = 0;  // the probe's picture size: a zero refuses the join
    int32_t height = 0;
    // "cut short: about 1.0 s of 40.6 s can be read" when the file holds less than its header
    // promises; empty for a whole file.
    std::string cutShort;

    int streamCount = -1;  // -1: unknown
    bool hasVideo = false;
    bool hasAudio = false;
    std::string videoCodec;  // as the container names it: "WMV2", "RV20", "mpeg4", ...
    int64_t rateNum = 0;     // frame rate as the container writes it; 0/0: unknown
    int64_t rateDen = 0;
    std::string audioCodec;
    int sampleRate = 0;  // 0: unknown
    int channels = 0;

    // How the packet copy itself describes each stream, for the comparison it makes beyond the
    // fields above (WMV/ASF: the media type block of the stream's profile). Empty when unknown.
    struct StreamFormat {
        std::vector<uint8_t> block;  // as the engine's profile gives it
        bool video = false;
        bool audio = false;
        bool variableRate = false;
        uint32_t bitrate = 0;  // bits per second
        uint16_t number = 0;   // the stream's number in its file
    };
    std::vector<StreamFormat> streamFormats;
};

// Whether two files' frame rates are the same fraction (25/1 and 50/2 are; two unknown are).
bool SameFrameRate(const JoinCheckFacts& a, const JoinCheckFacts& b);
// Whether every field the check names (streams, codecs, size, rate, audio) is the same.
bool SameNamedFields(const JoinCheckFacts& a, const JoinCheckFacts& b);

// One field of one file that differs from the first file's.
struct CheckFinding {
    size_t input = 0;        // index in the list (never 0)
    std::string field;       // "picture size"
    std::string value;       // this file's: "640x480"
    std::string firstValue;  // the first file's: "320x240"; empty when `value` tells both
    bool refuses = false;    // the join cannot go on with it (else the file is re-encoded)

    // "w2big.wmv: picture size 640x480, the first file has 320x240"; without a first value
    // "b.rm: audio settings: the audio bit rate setting ... is not the first file's ..."
    std::string Text(const std::vector<JoinCheckFacts>& files) const;
};

enum class JoinOutcome {
    kLossless,  // every packet copied as it is
    kReencode,  // joinable, but some streams are decoded and encoded again
    kRefused,
};

struct CheckResult {
    std::vector<CheckFinding> findings;  // in list order, then in the order of the rules
    int refusal = 0;                     // CheckJoinList's string number, or 0
    JoinOutcome outcome = JoinOutcome::kLossless;
    // AVI/MPEG: whether the join copies each stream's packets or encodes it again, as the
    // conversion module decides for the whole list; unset when not known.
    std::optional<bool> copyVideo;
    std::optional<bool> copyAudio;
    // AVI: the output's further audio tracks that are encoded, the inputs not holding them
    // alike (the tracks before them, if any, are copied).
    int encodedAudioTracks = 0;
    // Per input, whether it is encoded to the first file's format before the others are copied
    // around it (AVI/MPEG: the streams above are then the copied inputs'); empty when none is.
    std::vector<bool> encodeInputs;
    // Per input of a packet copy that differs from the first: why it cannot be encoded to match
    // (a clause naming neither file); empty where it can, or where nothing was asked.
    std::vector<std::string> whyNotEncoded;
    // AVI/MPEG: why the conversion module would not join the list, when it said so.
    std::string planFailure;

    bool Joinable() const { return outcome != JoinOutcome::kRefused; }
    // The input indexes with at least one finding, in order.
    std::vector<size_t> OddInputs() const;
    // Every finding of one input, joined by "; " without the file name: "picture size 640x480,
    // the first file has 320x240" (for a row's tooltip).
    std::string DescribeInput(size_t input) const;
};

// One comparison: a finding when `other` differs from `first` in this rule's field, else none.
// `first` and `other` are of the list; the rule knows whether a difference refuses the join.
using CheckRule = std::function<std::optional<CheckFinding>(const JoinCheckFacts& first,
                                                            const JoinCheckFacts& other)>;

// The comparisons every join list goes through, in the order their lines are printed. A rule
// that needs an engine's own code lives beside that code, in its kind's row (job/kind_table.h),
// and follows these.
const std::vector<CheckRule>& JoinCheckRules();

// The file's name without its folder, as the lines name it.
std::string CheckFileName(const std::string& path);

// Compares every file with the first. `refusal` is CheckJoinList's answer for the same list:
// the designed checks decide before the field comparisons. `copyVideo` and `copyAudio` are the
// conversion module's answer for an AVI/MPEG list, when it was asked.
CheckResult CheckJoinFacts(const std::vector<JoinCheckFacts>& files, int refusal,
                           std::optional<bool> copyVideo = std::nullopt,
                           std::optional<bool> copyAudio = std::nullopt,
                           std::vector<bool> encodeInputs = {}, int encodedAudioTracks = 0);

// The facts the probe's record already holds (for a check without the container's details).
JoinCheckFacts FactsFromRecord(const MediaFileInfo& info);

// "b.rm cannot be encoded here to match the first file: REASON. Convert it to the first file's
// format, or join it in a list of its own." for an odd input the engine gave a reason for; "".
std::string NotEncodedSentence(const CheckResult& result, const std::vector<JoinCheckFacts>& files,
                               size_t input);

// The closing line: what a join of the list would do.
std::string CheckSummary(const CheckResult& result, const std::vector<JoinCheckFacts>& files);

// A line for every file that is cut short, every finding's line, then the closing line, each
// ending in "\n".
std::string CheckReport(const CheckResult& result, const std::vector<JoinCheckFacts>& files);

// The same as one JSON object.
std::string CheckReportJson(const CheckResult& result, const std::vector<JoinCheckFacts>& files);

// `text` as a JSON string, quotes included.
std::string JsonString(const std::string& text);
