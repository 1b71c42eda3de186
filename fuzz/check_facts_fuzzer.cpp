// The stream facts `kjoin check` reads from an ASF Header Object and from a Real Media file's
// start, over any bytes.
#include <cstddef>
#include <cstdint>

#include "job/check_facts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    AddEngineCheckRules();
    JoinCheckFacts asf;
    AddAsfHeaderFacts(ByteReader(data, size), asf);
    JoinCheckFacts rm;
    AddRmHeaderFacts(data, size, rm);
    // The facts go through the comparisons too, against each other and themselves.
    asf.kind = kKindWmv;
    JoinCheckFacts copy = asf;
    copy.path = "other";
    CheckJoinFacts({asf, rm, copy, asf}, 0);
    return 0;
}
