#include "tests/support/conversion_module.h"

#include "mcljoin/mcl_api.h"

namespace kjtest {

void UseConversionModule(const Module* module) {
    LoadMclApi(module);
}

}  // namespace kjtest
