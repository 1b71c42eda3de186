// The small Video for Windows layer: the AVI file interface the probe uses, on our own reading
// of the AVI header list. AVIFileInit/AVIFileExit bracket its use for the life of the program.
#pragma once

#include <cstdint>

// Starts and ends the AVI file interface; calls are counted, so nested pairs are fine.
void AVIFileInit();
void AVIFileExit();

// Number of AVIFileInit calls not yet matched by AVIFileExit.
int AVIFileInitCount();
