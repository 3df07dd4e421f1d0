#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "BitmapFixtures.h"
#include "imageops/BlendInterleave.h"

using namespace rvimageops_test;

namespace {

std::unique_ptr<CDIBSectionBitmap> Filled24(int width, int height, std::uint8_t b, std::uint8_t g,
                                            std::uint8_t r) {
  return MakeFilled(width, height, RvMakePixel(r, g, b), false, 24);
}

}  // namespace

TEST(BlendBitmaps, WeighsByTAndTruncatesAndKeepsTheDepth) {
  for (int bpp : {24, 32}) {
    auto a = MakePatterned(9, 7, bpp, false, 1);
    auto b = MakePatterned(9, 7, bpp, false, 2);
    auto mix = RvBlendBitmaps(*a, *b, 0.3);
    ASSERT_EQ(mix->GetBitsPerPixel(), bpp);
    const auto pa = PixelBytes(*a);
    const auto pb = PixelBytes(*b);
    const auto pm = PixelBytes(*mix);
    ASSERT_EQ(pm.size(), pa.size());
    for (std::size_t i = 0; i < pm.size(); ++i) {
      EXPECT_EQ(pm[i], std::uint8_t(std::trunc(pa[i] * 0.7 + pb[i] * 0.3))) << bpp << ": " << i;
    }
    // A pair without alpha does not gain the flag.
    EXPECT_FALSE(mix->HasAlpha());
  }
  auto b = MakePatterned(9, 7, 32, false, 2);
  EXPECT_TRUE(RvBlendBitmaps(*MakePatterned(9, 7, 32, true), *b, 0.5)->HasAlpha());
}

TEST(BlendBitmaps, EndsAndUnmixableFramesGiveCopies) {
  auto a = MakePatterned(6, 4, 32, false, 1);
  auto b = MakePatterned(6, 4, 32, false, 2);
  EXPECT_EQ(PixelBytes(*RvBlendBitmaps(*a, *b, 0.0)), PixelBytes(*a));
  EXPECT_EQ(PixelBytes(*RvBlendBitmaps(*a, *b, 1.0)), PixelBytes(*b));
  EXPECT_EQ(PixelBytes(*RvBlendBitmaps(*a, *b, std::numeric_limits<double>::quiet_NaN())),
            PixelBytes(*a));

  // Different sizes: the nearer frame.
  auto other = MakePatterned(5, 4, 32, false, 3);
  EXPECT_EQ(PixelBytes(*RvBlendBitmaps(*a, *other, 0.49)), PixelBytes(*a));
  EXPECT_EQ(PixelBytes(*RvBlendBitmaps(*a, *other, 0.5)), PixelBytes(*other));
  // Different depths, likewise.
  auto rgb = MakePatterned(6, 4, 24, false, 4);
  auto nearB = RvBlendBitmaps(*a, *rgb, 0.8);
  EXPECT_EQ(nearB->GetBitsPerPixel(), 24);
  EXPECT_EQ(PixelBytes(*nearB), PixelBytes(*rgb));
  // Palettised frames are never mixed, palette included.
  auto pa = MakePatterned(6, 4, 8, false, 5);
  auto pb = MakePatterned(6, 4, 8, false, 6);
  pb->SetGreyPalette();
  auto copy = RvBlendBitmaps(*pa, *pb, 0.7);
  EXPECT_EQ(PixelBytes(*copy), PixelBytes(*pb));
  EXPECT_EQ(copy->GetPalette()[200], pb->GetPalette()[200]);
}

TEST(InterleaveBitmaps, TakesTheSmallerSizeAndTheBottomRowsOfEach) {
  auto a = MakePatterned(10, 6, 32, false, 1);
  auto b = MakePatterned(7, 9, 32, false, 2);
  auto woven = RvInterleaveBitmaps(*a, *b);
  ASSERT_EQ(woven->GetWidth(), 7);
  ASSERT_EQ(woven->GetHeight(), 6);
  for (int stored = 0; stored < 6; ++stored) {
    const CImageBitmap& src = stored % 2 == 0 ? *a : *b;
    const int srcRow = src.GetHeight() - 1 - stored;
    for (int x = 0; x < 7; ++x) {
      EXPECT_EQ(Pixel32(*woven, x, 5 - stored), Pixel32(src, x, srcRow)) << stored << "," << x;
    }
  }
}

TEST(InterleaveBitmaps, ConvertsTheOtherFieldToTheFirstFieldsDepth) {
  auto a32 = MakeFilled(3, 2, RvMakePixel(5, 6, 7, 0), true);
  auto b24 = Filled24(3, 2, 9, 8, 7);
  auto woven = RvInterleaveBitmaps(*a32, *b24);
  ASSERT_EQ(woven->GetBitsPerPixel(), 32);
  EXPECT_TRUE(woven->HasAlpha());
  EXPECT_EQ(Pixel32(*woven, 0, 1), RvMakePixel(5, 6, 7, 0));    // stored row 0, from a
  EXPECT_EQ(Pixel32(*woven, 2, 0), RvMakePixel(7, 8, 9, 255));  // stored row 1, from b, opaque

  auto a24 = Filled24(3, 2, 1, 2, 3);
  auto b32 = MakeFilled(3, 2, RvMakePixel(40, 50, 60, 70));
  auto rgb = RvInterleaveBitmaps(*a24, *b32);
  ASSERT_EQ(rgb->GetBitsPerPixel(), 24);
  const std::uint8_t* top = rgb->GetLineArray()[0];  // stored row 1, from b
  EXPECT_EQ(top[6], 60);
  EXPECT_EQ(top[7], 50);
  EXPECT_EQ(top[8], 40);
  const std::uint8_t* bottom = rgb->GetLineArray()[1];  // stored row 0, from a
  EXPECT_EQ(bottom[0], 1);
  EXPECT_EQ(bottom[2], 3);
}

TEST(InterleaveBitmaps, PalettisedFramesGiveACopyOfB) {
  auto pa = MakePatterned(4, 4, 8, false, 1);
  auto b = MakePatterned(4, 4, 32, false, 2);
  EXPECT_EQ(PixelBytes(*RvInterleaveBitmaps(*pa, *b)), PixelBytes(*b));
  auto a = MakePatterned(4, 4, 32, false, 3);
  auto pb = MakePatterned(4, 4, 8, false, 4);
  auto copy = RvInterleaveBitmaps(*a, *pb);
  EXPECT_EQ(copy->GetBitsPerPixel(), 8);
  EXPECT_EQ(PixelBytes(*copy), PixelBytes(*pb));
}
