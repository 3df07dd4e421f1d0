#include <gtest/gtest.h>

#include <climits>

#include "BitmapFixtures.h"
#include "imageops/CropResample.h"
#include "imaging/TextException.h"

using namespace rvimageops_test;

namespace {

// Every pixel of the crop equals the source pixel at the offset position (GetPixel reads
// palette indices for palettised depths and whole pixels otherwise).
void ExpectCropOf(const CImageBitmap& src, const CImageBitmap& crop, int left, int top) {
  for (int y = 0; y < crop.GetHeight(); ++y) {
    for (int x = 0; x < crop.GetWidth(); ++x) {
      ASSERT_EQ(crop.GetPixel(x, y), src.GetPixel(left + x, top + y))
          << "at " << x << "," << y << " of a " << src.GetBitsPerPixel() << "-bit crop";
    }
  }
}

}  // namespace

// Left 13 and width 29 start and end inside a byte at 1 and 4 bits a pixel.
TEST(CropBitmap, CopiesTheRectangleAtEveryDepth) {
  for (int bpp : {1, 4, 8, 24, 32}) {
    auto src = MakePatterned(67, 41, bpp);
    auto crop = RvCropBitmap(*src, 13, 7, 29, 19);
    ASSERT_EQ(crop->GetWidth(), 29) << bpp;
    ASSERT_EQ(crop->GetHeight(), 19) << bpp;
    EXPECT_EQ(crop->GetBitsPerPixel(), bpp);
    ExpectCropOf(*src, *crop, 13, 7);
  }
}

TEST(CropBitmap, KeepsPaletteAndAlphaFlag) {
  auto src = MakePatterned(20, 10, 8);
  RvPixel palette[256];
  for (unsigned i = 0; i < 256; ++i) palette[i] = RvMakePixel(255 - i, i, i / 2);
  src->SetPalette(palette);
  auto crop = RvCropBitmap(*src, 2, 2, 5, 5);
  ASSERT_NE(crop->GetPalette(), nullptr);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(crop->GetPalette()[i], palette[i]);
  EXPECT_FALSE(crop->HasAlpha());

  auto withAlpha = MakePatterned(20, 10, 32, true);
  EXPECT_TRUE(RvCropBitmap(*withAlpha, 0, 0, 3, 3)->HasAlpha());
}

TEST(CropBitmap, ZeroSizedRectangleGivesABitmapWithoutPixels) {
  auto src = MakePatterned(16, 16, 32);
  auto noWidth = RvCropBitmap(*src, 4, 4, 0, 8);
  EXPECT_EQ(noWidth->GetWidth(), 0);
  EXPECT_EQ(noWidth->GetHeight(), 8);
  auto empty = std::make_unique<CDIBSectionBitmap>();
  empty->Create(0, 0, 8, false);
  EXPECT_EQ(RvCropBitmap(*empty, 0, 0, 10, 10)->GetWidth(), 0);
}

TEST(CropBitmap, RectanglesReachingOutsideAreClippedToTheSource) {
  auto src = MakePatterned(30, 20, 32);
  auto overhang = RvCropBitmap(*src, 25, 15, 100, 100);
  EXPECT_EQ(overhang->GetWidth(), 5);
  EXPECT_EQ(overhang->GetHeight(), 5);
  ExpectCropOf(*src, *overhang, 25, 15);

  auto before = RvCropBitmap(*src, -5, -3, 10, 10);
  EXPECT_EQ(before->GetWidth(), 5);
  EXPECT_EQ(before->GetHeight(), 7);
  ExpectCropOf(*src, *before, 0, 0);

  auto outside = RvCropBitmap(*src, 31, 0, 5, 5);
  EXPECT_EQ(outside->GetWidth(), 0);

  auto huge = RvCropBitmap(*src, 1, 1, INT_MAX, INT_MAX);
  EXPECT_EQ(huge->GetWidth(), 29);
  EXPECT_EQ(huge->GetHeight(), 19);
  EXPECT_EQ(RvCropBitmap(*src, INT_MAX, INT_MAX, INT_MAX, INT_MAX)->GetWidth(), 0);
  EXPECT_EQ(RvCropBitmap(*src, 0, 0, -4, -4)->GetWidth(), 0);
}
