// The colours of text, faces and edges that go with the skin's artwork.
#pragma once

#include <QPalette>

// A light palette matched to the bitmaps. A skinned window takes it, so that a dark desktop
// theme cannot put light text on the light bitmaps; its children inherit it.
QPalette SkinPalette();
