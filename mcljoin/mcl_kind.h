// The rows of the table of kinds (job/kind_table.h) that the conversion module scans, plans and
// joins: AVI, MPEG-1 and MPEG-2 program streams.
#pragma once

#include "job/kind_table.h"

KindRow AviKind();
KindRow MpegKind();
KindRow Mpeg2Kind();
