#include "mcljoin/mcl_kind.h"

#include <cstring>
#include <utility>

#include "job/job_state.h"
#include "mcljoin/mcl_api.h"
#include "mcljoin/mcl_join.h"

namespace {

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

// The module's answer for the whole list: what it would copy and what it would encode, and the
// facts of each file as it reads them.
ListPlan PlanConversionList(JoinHost& host, std::vector<JoinCheckFacts>& facts) {
    ListPlan answer;
    MclPlanCheck plan;
    std::string errorBefore = g_errorText;
    g_errorText.clear();
    if (PlanConversionJoin(host, &plan) == 1 && plan.inputs.size() == facts.size()) {
        for (size_t i = 0; i < facts.size(); ++i) {
            AddPlanFacts(facts[i], plan.inputs[i]);
        }
        answer.copyVideo = plan.result.copyVideo != 0;
        answer.copyAudio = plan.result.copyAudio != 0;
        answer.encodedAudioTracks = plan.result.encodedAudioTracks;
        for (const MclPlanInput& input : plan.inputs) {
            answer.encodeInputs.push_back(input.encode != 0);
        }
    } else {
        answer.failure = g_errorText;  // empty when the module could not be asked at all
    }
    g_errorText = errorBefore;  // the check is no join: its reason is not a job's
    return answer;
}

KindRow ConversionKind(MediaKind kind, const char* name, FileTypeReader fileReader) {
    return {.kind = kind,
            .name = name,
            .fileReader = std::move(fileReader),
            .usesConversionModule = true,
            .planList = PlanConversionList,
            .engine = JoinWithConversionLibrary};
}

}  // namespace

KindRow AviKind() {
    KindRow row = ConversionKind(kKindAvi, "AVI", AviFileReader());
    // The library's AVI path was made to run on the window's thread: its progress callback
    // keeps the window alive by pumping that thread's events.
    row.joinsOnWindowThread = true;
    return row;
}

KindRow MpegKind() {
    // The reader of MPEG files tells MPEG-1 from MPEG-2, for both rows.
    return ConversionKind(kKindMpeg, "MPEG", MpegFileReader());
}

KindRow Mpeg2Kind() {
    return ConversionKind(kKindMpeg2, "MPEG-2", {});
}
