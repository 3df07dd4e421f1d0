#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "BitmapFixtures.h"
#include "imageops/CropResample.h"
#include "imaging/TextException.h"

using namespace rvimageops_test;

namespace {

using Rgba = std::array<std::uint8_t, 4>;

// Straightforward rendering of the triangle-filter arithmetic: weights
// recomputed for every output sample, one sample at a time, on four bytes per
// pixel.
struct Taps {
  int first = 0;
  std::vector<double> weights;
};

Taps ReferenceTaps(int i, int oldSize, int newSize) {
  const double scale = double(newSize) / double(oldSize);
  double filterWidth = 1.0;
  double kernelScale = 1.0;
  if (scale < 1) {
    filterWidth = 1.0 / scale;
    kernelScale = scale;
  }
  const int window = 2 * int(std::ceil(filterWidth)) + 1;
  const double centre = i / scale;
  int first = std::max(0, int(std::floor(centre - filterWidth)));
  int last = std::min(oldSize - 1, int(std::ceil(centre + filterWidth)));
  if (last - first + 1 > window) {
    if (first < oldSize - 1) {
      first++;
    } else {
      last--;
    }
  }
  Taps taps;
  taps.first = first;
  double sum = 0;
  for (int j = first; j <= last; ++j) {
    const double t = std::fabs(centre - j) * kernelScale;
    const double w = kernelScale * (t < 1 ? 1 - t : 0);
    taps.weights.push_back(w);
    sum += w;
  }
  if (sum > 0) {
    for (double& w : taps.weights) w = w / sum;
  }
  return taps;
}

std::uint8_t ReferenceByte(double sum) { return std::uint8_t(std::min(255.0, sum + 0.5)); }

// One pass along x (`alongX`) or y over `lines` lines of oldSize pixels, giving newSize each.
std::vector<Rgba> ReferencePass(const std::vector<Rgba>& src, int lines, int oldSize, int newSize,
                                bool alongX) {
  const auto at = [&](int line, int i, int size) {
    return alongX ? std::size_t(line) * size + i : std::size_t(i) * lines + line;
  };
  std::vector<Rgba> out(std::size_t(newSize) * lines);
  for (int line = 0; line < lines; ++line) {
    for (int i = 0; i < newSize; ++i) {
      const Taps taps = ReferenceTaps(i, oldSize, newSize);
      for (int c = 0; c < 4; ++c) {
        double sum = 0;
        for (std::size_t k = 0; k < taps.weights.size(); ++k) {
          sum += taps.weights[k] * src[at(line, taps.first + int(k), oldSize)][c];
        }
        out[at(line, i, newSize)][c] = ReferenceByte(sum);
      }
    }
  }
  return out;
}

std::vector<Rgba> ReferenceResample(const std::vector<Rgba>& src, int w, int h, int nw, int nh) {
  return ReferencePass(ReferencePass(src, h, w, nw, true), nw, h, nh, false);
}

// The source as four bytes per pixel: palette colours for palettised bitmaps,
// the grey value in blue, green and red for grey ones, 0 in the fourth byte of
// 24-bit pixels.
std::vector<Rgba> Expand(const CImageBitmap& bitmap, bool greyAsBytes) {
  std::vector<Rgba> pixels;
  for (int y = 0; y < bitmap.GetHeight(); ++y) {
    for (int x = 0; x < bitmap.GetWidth(); ++x) {
      const std::uint8_t* row = bitmap.GetLineArray()[y];
      Rgba p{};
      switch (bitmap.GetBitsPerPixel()) {
        case 32:
          p = {row[4 * x], row[4 * x + 1], row[4 * x + 2], row[4 * x + 3]};
          break;
        case 24:
          p = {row[3 * x], row[3 * x + 1], row[3 * x + 2], 0};
          break;
        default: {
          const RvPixel index = bitmap.GetPixel(x, y);
          if (greyAsBytes) {
            const auto v = std::uint8_t(index);
            p = {v, v, v, v};
          } else {
            const RvPixel colour = bitmap.GetPalette()[index];
            p = {RvPixelBlue(colour), RvPixelGreen(colour), RvPixelRed(colour),
                 RvPixelAlpha(colour)};
          }
        }
      }
      pixels.push_back(p);
    }
  }
  return pixels;
}

// Compares the resampled bitmap with the reference, channel by channel.
void ExpectMatchesReference(const CImageBitmap& src, int nw, int nh) {
  const bool grey = RvHasGreyPalette(src);
  const auto result = RvResampleBitmap(src, nw, nh);
  ASSERT_EQ(result->GetWidth(), nw);
  ASSERT_EQ(result->GetHeight(), nh);
  EXPECT_EQ(result->HasAlpha(), src.HasAlpha());
  const auto expected =
      ReferenceResample(Expand(src, grey), src.GetWidth(), src.GetHeight(), nw, nh);
  const auto actual = Expand(*result, grey);
  const int channels = result->GetBitsPerPixel() == 24 ? 3 : grey ? 1 : 4;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    for (int c = 0; c < channels; ++c) {
      ASSERT_EQ(actual[i][c], expected[i][c])
          << "pixel " << i % nw << "," << i / nw << " channel " << c << " of " << src.GetWidth()
          << "x" << src.GetHeight() << " -> " << nw << "x" << nh;
    }
  }
}

}  // namespace

TEST(ResampleBitmap, MatchesReferenceOnOddSizesUpAndDown) {
  const struct {
    int w, h, nw, nh;
  } cases[] = {{33, 17, 33, 17}, {37, 23, 101, 59}, {101, 59, 37, 23},
               {255, 7, 64, 19}, {1, 1, 5, 3},      {5, 3, 1, 1},
               {97, 31, 96, 33}, {3, 200, 2, 7},    {720, 4, 360, 4}};
  for (const auto& c : cases) {
    auto src = MakePatterned(c.w, c.h, 32, true, unsigned(c.w * 31 + c.h));
    ExpectMatchesReference(*src, c.nw, c.nh);
  }
}

TEST(ResampleBitmap, EveryDepthMatchesReferenceAndKeepsOrExpandsTheDepth) {
  const struct {
    int bpp;
    bool grey;      // a grey palette; otherwise palettised depths get a colour one
    int resultBpp;  // grey stays grey, other palettes are expanded to 32 bits
  } cases[] = {{24, false, 24}, {8, true, 8}, {8, false, 32}, {1, false, 32}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bpp << " bits" << (c.grey ? ", grey" : ""));
    auto src = MakePatterned(45, 29, c.bpp);
    if (c.grey) {
      src->SetGreyPalette();
    } else if (c.bpp <= 8) {
      RvPixel palette[256];
      for (unsigned i = 0; i < 256; ++i) palette[i] = RvMakePixel(i, 255 - i, (i * 7) & 255);
      src->SetPalette(palette);
    }
    auto result = RvResampleBitmap(*src, 23, 70);
    EXPECT_EQ(result->GetBitsPerPixel(), c.resultBpp);
    EXPECT_EQ(RvHasGreyPalette(*result), c.grey);
    ExpectMatchesReference(*src, 23, 70);
    ExpectMatchesReference(*src, 91, 11);
  }
}

TEST(ResampleBitmap, EmptySizesGiveBitmapsWithoutPixelsOrBlack) {
  auto src = MakePatterned(10, 10, 32);
  EXPECT_EQ(RvResampleBitmap(*src, 0, 5)->GetWidth(), 0);
  // Scaling up from nothing has no samples to weigh: the result is black, not
  // garbage.
  auto empty = std::make_unique<CDIBSectionBitmap>();
  empty->Create(0, 4, 32, false);
  auto grown = RvResampleBitmap(*empty, 3, 2);
  EXPECT_EQ(grown->GetWidth(), 3);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Pixel32(*grown, x, y), 0u);
  }
}

TEST(ResampleBitmap, RefusesNegativeAndUnrepresentableSizes) {
  auto src = MakePatterned(4, 4, 32);
  EXPECT_THROW(RvResampleBitmap(*src, -1, 4), CTextException);
  try {
    RvResampleBitmap(*src, 1 << 30, 1);
    FAIL() << "a row of 4 GiB was accepted";
  } catch (const CTextException& e) {
    EXPECT_EQ(e.GetCode(), kErrNoMemory);
  }
}
