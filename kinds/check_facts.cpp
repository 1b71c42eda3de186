#include "kinds/check_facts.h"

#include <algorithm>

#include "job/join_job.h"
#include "job/kind_table.h"
#include "kinds/kinds.h"
#include "probe/codec_names.h"

JoinCheckFacts ReadCheckFacts(const MediaFileInfo& info) {
    InstallKinds();
    JoinCheckFacts facts = FactsFromRecord(info);
    if (const KindRow* row = FindKind(info.m_nKind); row != nullptr && row->readFacts) {
        row->readFacts(facts);
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
    MediaKind kind = inputs.empty() ? kKindAvi : inputs.front().info.m_nKind;
    bool sameKind = std::all_of(inputs.begin(), inputs.end(),
                                [&](const JoinInput& in) { return in.info.m_nKind == kind; });
    const KindRow* row = FindKind(kind);
    ListPlan plan;  // nothing known unless the engine is asked
    if (refusal == 0 && sameKind && row != nullptr && row->planList) {
        plan = row->planList(host, *facts);
    }
    CheckResult result = CheckJoinFacts(*facts, refusal, plan.copyVideo, plan.copyAudio,
                                        std::move(plan.encodeInputs), plan.encodedAudioTracks);
    result.whyNotEncoded = std::move(plan.whyNotEncoded);
    std::string& planFailure = plan.failure;
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

namespace {

// What a user can do about a file a packet copy refuses: it would have to be encoded to the
// first file's format, which cannot be done here (the engine's reason, where it gave one).
std::string NotEncodedHere(const CheckResult& result, const std::vector<JoinCheckFacts>& facts,
                           size_t input) {
    bool video = false;
    bool refused = false;
    bool otherLayout = false;  // another kind of file, or other streams
    for (const CheckFinding& finding : result.findings) {
        if (finding.input != input || !finding.refuses) {
            continue;
        }
        refused = true;
        otherLayout = otherLayout || finding.field == "kind" || finding.field == "stream count";
        video = video || finding.field == "video codec" || finding.field == "picture size" ||
                finding.field == "frame rate" || finding.field == "video settings";
    }
    const JoinCheckFacts& file = facts[input];
    if (!refused) {
        return std::string();  // it is encoded to match
    }
    if (input < result.whyNotEncoded.size() && !result.whyNotEncoded[input].empty()) {
        return CheckFileName(file.path) +
               " cannot be encoded here to match the first file: " + result.whyNotEncoded[input] +
               ". Convert it to the first file's format, or join it in a list of its own.";
    }
    if (otherLayout || (file.hasVideo && (file.width == 0 || file.height == 0))) {
        return std::string();  // nothing to encode, or the designed text says what is wrong
    }
    const std::string& codec = video ? file.videoCodec : file.audioCodec;
    return CheckFileName(file.path) + ": its " + (video ? "video" : "sound") + " is " +
           (codec.empty() ? std::string("of another format") : CodecDisplayName(codec)) +
           ", which cannot be encoded here to match the first file: convert it to the first "
           "file's format, or join it in a list of its own.";
}

}  // namespace

std::string RefusalWithFindings(const std::string& designed, const CheckResult& result,
                                const std::vector<JoinCheckFacts>& facts) {
    std::string text = designed;
    auto line = [&text](const std::string& more) {
        if (!text.empty() && text.back() != '\n') {
            text += "\n";
        }
        text += more;
    };
    for (const CheckFinding& finding : result.findings) {
        line(finding.Text(facts));
    }
    if (!facts.empty() && CopiesPackets(facts.front().kind)) {
        for (size_t input : result.OddInputs()) {
            if (input < facts.size()) {
                if (std::string reason = NotEncodedHere(result, facts, input); !reason.empty()) {
                    line(reason);
                }
            }
        }
    }
    return text;
}
