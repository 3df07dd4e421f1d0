#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kagraph/KaDeviceContext.h"

// Where a picture of the given size lands in the display rectangle: centred, zoomed, panned.
// Sizes are truncated after zooming; the centring uses signed division rounding toward zero.
struct KaPlacement {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const KaPlacement&) const = default;
};
KaPlacement KaPlacePicture(int pictureWidth, int pictureHeight, double zoom, const KaRect& display,
                           int panX, int panY);

// The parts of the display rectangle the picture leaves uncovered, in drawing order: top band
// (full width), left band (full height), right band (full height), bottom band (full width).
std::vector<KaRect> KaBackgroundBands(const KaRect& display, const KaPlacement& picture);

// One zoom step. When the step starts from a whole number, *base receives the truncated zoom
// that the caller stores before applying the new one (so the pan scales by new / truncated);
// otherwise *base receives the zoom unchanged.
double KaZoomInStep(double zoom, double* base);
double KaZoomOutStep(double zoom, double* base);

// " Frame %04i - %.2ffps (Step %i = %.2ffps) - %i x %i " plus " (Harddisk)" or " (RAM)".
std::string KaFormatInfoLine(std::uint32_t frameNumber, double measuredRate, std::uint32_t step,
                             int width, int height, bool fromDisk);

// printf-style formatting into a std::string.
std::string KaFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

class CRvCrop;

// What the view shows, for turning a rectangle drawn on the view back into the decoded frame.
struct KaShownPicture {
  KaRect display;  // the display rectangle the picture was placed in
  double zoom = 1.0;
  int panX = 0, panY = 0;
  int shownWidth = 0, shownHeight = 0;    // the picture as drawn, before zoom
  int sourceWidth = 0, sourceHeight = 0;  // the decoded frame, before crop and resample
  const CRvCrop* crop = nullptr;          // the crop in force, or null
};

// Turns a rectangle on the view (view pixels) into a crop of the decoded frame, in pixels of
// the decoded frame, through the zoom, the pan, the resample and the crop in force. False when
// the rectangle covers no pixel of the picture.
bool KaViewRectToCrop(const KaShownPicture& picture, const KaRect& viewRect, CRvCrop* crop);
