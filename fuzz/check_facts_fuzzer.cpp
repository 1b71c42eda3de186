// The stream facts `kjoin check` reads from an ASF Header Object and from a Real Media file's
// start, over any bytes.
#include <cstddef>
#include <cstdint>

#include "job/join_check.h"
#include "kinds/kinds.h"
#include "rmjoin/rm_check_facts.h"
#include "wmjoin/wm_check_facts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InstallKinds();
    JoinCheckFacts asf;
    AddAsfHeaderFacts(ByteReader(data, size), asf);
    JoinCheckFacts rm;
    AddRmHeaderFacts(data, size, rm);
    // The facts go through the comparisons too, against each other and themselves.
    asf.kind = kKindWmv;
    JoinCheckFacts copy = asf;
    copy.path = "other";
    CheckJoinFacts({asf, rm, copy, asf}, 0);
    // Two headers from the two halves, so that the comparison names the field they differ in.
    JoinCheckFacts front;
    JoinCheckFacts back;
    AddAsfHeaderFacts(ByteReader(data, size / 2), front);
    AddAsfHeaderFacts(ByteReader(data + size / 2, size - size / 2), back);
    front.kind = kKindWmv;
    back.kind = kKindWmv;
    back.path = "back";
    CheckJoinFacts({front, back}, 0);
    return 0;
}
