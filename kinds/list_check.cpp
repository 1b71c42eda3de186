#include "kinds/list_check.h"

#include <cstdio>

#include "job/join_job.h"
#include "kinds/check_facts.h"
#include "rmjoin/rm_join.h"

namespace {

// The Real Media engine's codes for streams that do not match.
constexpr HRESULT kRmAudioMismatch = static_cast<HRESULT>(0x800403C7u);
constexpr HRESULT kRmVideoMismatch = static_cast<HRESULT>(0x800403C8u);

bool IsAudioField(const std::string& field) {
    return field == "audio codec" || field == "sample rate" || field == "channels" ||
           field == "audio settings";
}

const CheckFinding* FirstRefusing(const CheckResult& result) {
    for (const CheckFinding& finding : result.findings) {
        if (finding.refuses) {
            return &finding;
        }
    }
    return nullptr;
}

}  // namespace

std::string WmProfileMismatchText(int fileNumber) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "File No.%d's profile mismatch with the first one\r\nCan not continue... "
                  "Aborting the process",
                  fileNumber);
    return text;
}

std::string EngineRefusalText(const CheckResult& result, const std::vector<JoinCheckFacts>& facts) {
    if (result.Joinable() || facts.empty()) {
        return {};
    }
    const CheckFinding* finding = FirstRefusing(result);
    switch (facts.front().kind) {
        case kKindWmv:
            return finding != nullptr ? WmProfileMismatchText(static_cast<int>(finding->input) + 1)
                                      : std::string();
        case kKindRealMedia:
            if (finding == nullptr) {
                return {};
            }
            return RmErrorText(IsAudioField(finding->field) ? kRmAudioMismatch : kRmVideoMismatch);
        default:
            return result.planFailure;
    }
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
