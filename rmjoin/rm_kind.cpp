#include "rmjoin/rm_kind.h"

#include "rmjoin/rm_check_facts.h"
#include "rmjoin/rm_join.h"

namespace {

// The Real Media engine's codes for streams that do not match.
constexpr HRESULT kRmAudioMismatch = static_cast<HRESULT>(0x800403C7u);
constexpr HRESULT kRmVideoMismatch = static_cast<HRESULT>(0x800403C8u);

bool IsAudioField(const std::string& field) {
    return field == "audio codec" || field == "sample rate" || field == "channels" ||
           field == "audio settings";
}

}  // namespace

KindRow RealMediaKind() {
    auto streamMismatch = [](const CheckFinding& finding) {
        return RmErrorText(IsAudioField(finding.field) ? kRmAudioMismatch : kRmVideoMismatch);
    };
    return {.kind = kKindRealMedia,
            .name = "Real Media",
            .fileReader = RealMediaFileReader(),
            .copiesPackets = true,
            .joinsAudioOnly = true,
            .readFacts = ReadRmFacts,
            .rules = {RmStreamSettingsRule},
            .refusalText = streamMismatch,
            .engine = JoinRealMediaFiles};
}
