#include "kinds/check_facts.h"

#include <algorithm>

#include "job/join_job.h"
#include "job/kind_table.h"
#include "kinds/kinds.h"

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
    std::optional<bool> copyVideo;
    std::optional<bool> copyAudio;
    std::vector<bool> encodeInputs;
    std::string planFailure;
    MediaKind kind = inputs.empty() ? kKindAvi : inputs.front().info.m_nKind;
    bool sameKind = std::all_of(inputs.begin(), inputs.end(),
                                [&](const JoinInput& in) { return in.info.m_nKind == kind; });
    const KindRow* row = FindKind(kind);
    if (refusal == 0 && sameKind && row != nullptr && row->planList) {
        ListPlan plan = row->planList(host, *facts);
        copyVideo = plan.copyVideo;
        copyAudio = plan.copyAudio;
        encodeInputs = std::move(plan.encodeInputs);
        planFailure = plan.failure;
    }
    CheckResult result =
        CheckJoinFacts(*facts, refusal, copyVideo, copyAudio, std::move(encodeInputs));
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
