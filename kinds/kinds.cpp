#include "kinds/kinds.h"

#include "job/kind_table.h"
#include "kinds/check_facts.h"
#include "kinds/list_check.h"
#include "mcljoin/mcl_join.h"
#include "rmjoin/rm_join.h"
#include "wmjoin/wm_joiner.h"

namespace {

// The Real Media engine's codes for streams that do not match.
constexpr HRESULT kRmAudioMismatch = static_cast<HRESULT>(0x800403C7u);
constexpr HRESULT kRmVideoMismatch = static_cast<HRESULT>(0x800403C8u);

bool IsAudioField(const std::string& field) {
    return field == "audio codec" || field == "sample rate" || field == "channels" ||
           field == "audio settings";
}

// AVI and MPEG: scanned, planned and joined by the conversion module.
KindRow ConversionRow(MediaKind kind, const char* name) {
    KindRow row;
    row.kind = kind;
    row.name = name;
    row.joinsOnWindowThread = kind == kKindAvi;
    row.usesConversionModule = true;
    row.planList = PlanConversionList;
    row.engine = JoinWithConversionLibrary;
    return row;
}

KindRow RealMediaRow() {
    KindRow row;
    row.kind = kKindRealMedia;
    row.name = "Real Media";
    row.copiesPackets = true;
    row.joinsAudioOnly = true;
    row.readFacts = ReadRmFacts;
    row.rules = {RmStreamSettingsRule};
    row.refusalText = [](const CheckFinding& finding) {
        return RmErrorText(IsAudioField(finding.field) ? kRmAudioMismatch : kRmVideoMismatch);
    };
    row.engine = JoinRealMediaFiles;
    return row;
}

KindRow WindowsMediaRow() {
    KindRow row;
    row.kind = kKindWmv;
    row.name = "WMV/ASF";
    row.copiesPackets = true;
    row.joinsAudioOnly = true;
    row.readFacts = ReadAsfFacts;
    row.rules = {WmStreamFormatRule};
    row.refusalText = [](const CheckFinding& finding) {
        return WmProfileMismatchText(static_cast<int>(finding.input) + 1);
    };
    row.engine = JoinWmvFiles;
    return row;
}

}  // namespace

void InstallKinds() {
    static const bool installed = [] {
        InstallKindTable({ConversionRow(kKindAvi, "AVI"), ConversionRow(kKindMpeg, "MPEG"),
                          ConversionRow(kKindMpeg2, "MPEG-2"), RealMediaRow(), WindowsMediaRow()});
        return true;
    }();
    (void)installed;
}
