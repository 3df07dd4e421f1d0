#pragma once

#include <memory>

#include "imaging/ImageBitmap.h"

// Frame mixing used by the output path for intermediate frames and field merging. Both return a
// new bitmap owned by the caller and throw CTextException (kErrNoMemory) when it cannot be
// allocated.

// A mix of a and b with weight t (0 = a, 1 = b). Two frames of 24 or 32 bits with the same size
// and depth are mixed byte by byte, trunc(a x (1 - t) + b x t); anything else (palettised frames,
// different sizes or depths) gives a copy of a for t < 0.5 and of b otherwise. A t that is not a
// number counts as 0.
std::unique_ptr<CDIBSectionBitmap> RvBlendBitmaps(const CImageBitmap& a, const CImageBitmap& b,
                                                  double t);

// Two fields woven into one frame: stored rows (bottom row first) 0, 2, 4, ... from a and 1, 3,
// 5, ... from b, over the smaller width and height. The result is 32 bits when a is 32 bits,
// else 24; a source of the other depth is converted pixel by pixel. When either frame is
// palettised the result is a copy of b.
std::unique_ptr<CDIBSectionBitmap> RvInterleaveBitmaps(const CImageBitmap& a,
                                                       const CImageBitmap& b);
