#include "kinds/list_check.h"

#include "job/join_job.h"
#include "job/kind_table.h"
#include "kinds/check_facts.h"
#include "kinds/kinds.h"

namespace {

const CheckFinding* FirstRefusing(const CheckResult& result) {
    for (const CheckFinding& finding : result.findings) {
        if (finding.refuses) {
            return &finding;
        }
    }
    return nullptr;
}

}  // namespace

std::string EngineRefusalText(const CheckResult& result, const std::vector<JoinCheckFacts>& facts) {
    if (result.Joinable() || facts.empty()) {
        return {};
    }
    InstallKinds();
    const KindRow* row = FindKind(facts.front().kind);
    if (row == nullptr || !row->refusalText) {
        return result.planFailure;
    }
    const CheckFinding* finding = FirstRefusing(result);
    return finding != nullptr ? row->refusalText(*finding) : std::string();
}

ListRefusal CheckListBeforeJoin(JoinHost& host, const DesignedText& designed) {
    std::vector<JoinCheckFacts> facts;
    CheckResult result = CheckInputs(host, &facts);
    if (result.Joinable()) {
        return {};
    }
    std::string text;
    if (result.refusal != 0) {
        std::vector<const MediaFileInfo*> rows;
        for (const JoinInput& input : host.Inputs()) {
            rows.push_back(&input.info);
        }
        size_t namedRow = 0;
        CheckJoinList(rows, &namedRow);
        text = designed(result.refusal, namedRow < rows.size() ? rows[namedRow]->m_strPath : "");
    } else {
        text = EngineRefusalText(result, facts);
    }
    return {true, RefusalWithFindings(text, result, facts)};
}
