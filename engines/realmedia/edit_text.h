// The texts of the edit object's result codes: the one place they are spelled, for the edit's own
// error text and for the joiner's longer reasons that begin with them.
#pragma once

#include "engines/realmedia/rmedit.h"

namespace rm {

// The description of a code this module uses; empty for others.
const char* DescribeEditCode(HRESULT code);

}  // namespace rm
