// Every exported entry point is declared from the conversion library's table (mcl_exports.h);
// including the declarations here makes the module fail to build when a definition drifts.
#include "engines/conversion/mcl_exports.h"
