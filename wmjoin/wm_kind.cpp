#include "wmjoin/wm_kind.h"

#include "wmjoin/wm_check_facts.h"
#include "wmjoin/wm_joiner.h"

KindRow WindowsMediaKind() {
    auto profileMismatch = [](const CheckFinding& finding) {
        return WmProfileMismatchText(static_cast<int>(finding.input) + 1);
    };
    return {.kind = kKindWmv,
            .name = "WMV/ASF",
            .fileReader = AsfFileReader(),
            .copiesPackets = true,
            .joinsAudioOnly = true,
            .readFacts = ReadAsfFacts,
            .rules = {WmStreamFormatRule},
            .refusalText = profileMismatch,
            .engine = JoinWmvFiles};
}
