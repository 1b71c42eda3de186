// The Real Media row of the table of kinds (job/kind_table.h): RM, RMVB and RA files.
#pragma once

#include "job/kind_table.h"

KindRow RealMediaKind();
