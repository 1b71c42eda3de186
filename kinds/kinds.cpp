#include "kinds/kinds.h"

#include "job/kind_table.h"
#include "kinds/odd_inputs.h"
#include "mcljoin/mcl_kind.h"
#include "rmjoin/rm_kind.h"
#include "wmjoin/wm_kind.h"

void InstallKinds() {
    // One row per kind, each from its joiner's folder: a new kind is a row here and its folder.
    static const bool installed = [] {
        // The packet-copy kinds have their odd files encoded to match where the module can.
        InstallKindTable({AviKind(), MpegKind(), Mpeg2Kind(), WithOddInputsEncoded(RealMediaKind()),
                          WithOddInputsEncoded(WindowsMediaKind())});
        return true;
    }();
    (void)installed;
}
