#pragma once

// Helpers shared by the imaging tests: reference decodes by ImageMagick and pixel comparison.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "imaging/ImageBitmap.h"
#include "imaging/ImageFileWriter.h"

namespace rvtest {

inline std::string ImagingData(const std::string& name) { return DataDir() + "/imaging/" + name; }

// ImageMagick's own decode of a file as 8-bit RGBA, top row first; empty when it fails.
inline std::vector<std::uint8_t> ReferenceRGBA(const std::string& path, int* width, int* height) {
  std::string size;
  if (RunCommand("identify -format '%w %h' " + ShellQuote(path + "[0]"), &size) != 0) return {};
  if (std::sscanf(size.c_str(), "%d %d", width, height) != 2) return {};
  std::string raw;
  if (RunCommand("convert " + ShellQuote(path + "[0]") + " -depth 8 rgba:-", &raw) != 0) return {};
  return std::vector<std::uint8_t>(raw.begin(), raw.end());
}

// The largest difference of a colour or alpha byte; colours are compared premultiplied when
// premultiplied is set (straight colour under low alpha carries little information).
struct PixelDiff {
  int maxColour = 0;
  int maxAlpha = 0;
  double meanColour = 0;
};

inline PixelDiff Compare(const std::vector<std::uint8_t>& ours,
                         const std::vector<std::uint8_t>& theirs, bool premultiplied) {
  PixelDiff d;
  double sum = 0;
  for (std::size_t i = 0; i + 3 < ours.size() && i + 3 < theirs.size(); i += 4) {
    for (int c = 0; c < 3; ++c) {
      int a = ours[i + c], b = theirs[i + c];
      if (premultiplied) {
        a = (a * theirs[i + 3] + 127) / 255;
        b = (b * theirs[i + 3] + 127) / 255;
      }
      d.maxColour = std::max(d.maxColour, std::abs(a - b));
      sum += std::abs(a - b);
    }
    d.maxAlpha = std::max(d.maxAlpha, std::abs(int(ours[i + 3]) - int(theirs[i + 3])));
  }
  d.meanColour = ours.empty() ? 0 : sum / (double(ours.size()) / 4 * 3);
  return d;
}

}  // namespace rvtest
