#pragma once

#include <memory>

#include "imaging/ImageBitmap.h"

// Crop and resample of decoded frames, run on the loading thread before a frame enters the
// cache. Both return a new bitmap and leave the source untouched; they throw CTextException
// (kErrNoMemory) when the result cannot be allocated and kErrUnsupported for a depth they
// cannot hold.

// The rectangle [left, left + width) x [top, top + height) of src (top = 0 is the top row), as a
// new bitmap of the same depth, alpha flag and palette. Rows are block copies; bitmaps of less
// than 8 bits per pixel are copied bit-exactly. The rectangle is clipped to the source, so a
// rectangle outside it or of zero size gives a bitmap with no pixels rather than a fault.
std::unique_ptr<CDIBSectionBitmap> RvCropBitmap(const CImageBitmap& src, int left, int top,
                                                int width, int height);

// src scaled to newWidth x newHeight (each at least 0) by a separable triangle filter: first
// along rows into a 32-bit intermediate of newWidth x source height, then along columns.
// Depth of the result: 32 and 24-bit stay as they are; an 8-bit bitmap with the grey ramp
// palette is filtered as grey and stays 8-bit; any other palettised bitmap is expanded through
// its palette to 32 bits first (filtering palette indices would mix unrelated colours).
std::unique_ptr<CDIBSectionBitmap> RvResampleBitmap(const CImageBitmap& src, int newWidth,
                                                    int newHeight);

// True when an 8-bit bitmap's palette is the grey ramp (entry i has blue = green = red = i).
bool RvHasGreyPalette(const CImageBitmap& src);
