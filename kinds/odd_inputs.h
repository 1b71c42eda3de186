// Odd files in a list whose join copies packets (Windows Media, RealMedia): the join keeps the
// first file's stream headers, so a file whose streams differ is refused, unless the conversion
// module can encode it so that its streams decode under those headers byte for byte. Such a file
// is encoded first, into a hidden file beside the output, and the join copies that in its place.
#pragma once

#include "job/kind_table.h"

// `row` with its list check asking, for every file that differs from the first, whether it can
// be encoded to match (ListPlan::encodeInputs, or the reason it cannot), and its engine encoding
// those files before it joins. Without the conversion module the row is as it was.
KindRow WithOddInputsEncoded(const KindRow& row);
