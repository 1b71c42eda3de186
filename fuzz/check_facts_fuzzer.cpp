// The stream facts `kjoin check` reads from an ASF Header Object and from a Real Media file's
// start, over any bytes.
#include <cstddef>
#include <cstdint>

#include "job/check_facts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    JoinCheckFacts asf;
    AddAsfHeaderFacts(ByteReader(data, size), asf);
    JoinCheckFacts rm;
    AddRmHeaderFacts(data, size, rm);
    // The facts go through the comparisons too, against each other and themselves.
    asf.kind = rm.kind;
    CheckJoinFacts({asf, rm, asf}, 0);
    return 0;
}
