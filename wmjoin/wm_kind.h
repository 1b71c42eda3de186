// The Windows Media row of the table of kinds (job/kind_table.h): WMV, ASF and WMA files.
#pragma once

#include "job/kind_table.h"

KindRow WindowsMediaKind();
