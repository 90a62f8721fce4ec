// A skin bitmap's pixels and the window region they cut: the system side of
// the key-colour mask, whose decisions are SkinMask's.
#pragma once

#include <memory>

#include <windows.h>

#include "fw/Handles.h"

namespace ui {

// Top-down rows of blue, green, red, width rounded down to a multiple of 4
// so rows need no padding; null when the pixels cannot be read.
std::unique_ptr<BYTE[]> ReadPixels24(HBITMAP bitmap, WORD& width, WORD& height);

// The bitmap's rectangle, width rounded down to a multiple of 4, less every
// pixel of the key colour; null when the pixels cannot be read.
fw::OwnedRegion RegionFromBitmap(HBITMAP bitmap, BYTE red, BYTE green, BYTE blue);

}  // namespace ui
