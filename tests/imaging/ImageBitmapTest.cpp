#include <gtest/gtest.h>

#include <cstring>

#include "imaging/ImageBitmap.h"
#include "imaging/TextException.h"

namespace {

std::uint32_t LE32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}

TEST(BitmapStride, RoundsToFourBytesWithTheOneBitRule) {
  // Width, bits per pixel, stride: 9 bytes round up to 12; 33 1-bit pixels need 4 bytes and 1
  // for the partial byte; a half-used 4-bit byte still needs storage.
  const int cases[][3] = {{3, 24, 12}, {4, 8, 4}, {8, 1, 4}, {33, 1, 8},
                          {32, 1, 4},  {3, 4, 4}, {0, 32, 0}};
  for (const auto& [width, bpp, stride] : cases)
    EXPECT_EQ(CImageBitmap::StrideFor(width, bpp), stride) << width << " x " << bpp;
}

TEST(BitmapLayout, RowsAreStoredBottomUpAndEntryZeroIsTheTopRow) {
  CDIBSectionBitmap b;
  b.Create(3, 4, 24, false);
  std::uint8_t* const* lines = b.GetLineArray();
  const std::uint8_t* bits = b.GetBits();
  for (int y = 0; y < 4; ++y) EXPECT_EQ(lines[y], bits + (3 - y) * 12) << "row " << y;
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(bits) % 64, 0u);
}

TEST(BitmapLayout, PackedDibKeepsHeaderPaletteAndRowsInOneBlock) {
  CDIBBitmap b;
  b.Create(5, 2, 8, false);
  const std::uint8_t* info = b.GetBitmapInfo();
  EXPECT_EQ(LE32(info), 40u);
  EXPECT_EQ(LE32(info + 4), 5u);
  EXPECT_EQ(LE32(info + 8), 2u);
  EXPECT_EQ(info[12] | (info[13] << 8), 1);
  EXPECT_EQ(info[14] | (info[15] << 8), 8);
  for (int i = 16; i < 40; ++i) EXPECT_EQ(info[i], 0) << "header byte " << i;
  EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(b.GetPalette()), info + 40);
  EXPECT_EQ(b.GetBits(), info + 40 + 256 * 4);
  EXPECT_EQ(b.GetLineArray()[1], b.GetBits());
}

TEST(BitmapLayout, NewRowsAreZeroAndRecreateChangesGeometry) {
  CDIBSectionBitmap b;
  b.Create(7, 3, 32, true);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(b.GetPixel(x, y), 0u);
  b.SetPixel(1, 1, 0x12345678);
  b.Create(2, 9, 8, false);
  EXPECT_EQ(b.GetWidth(), 2);
  EXPECT_EQ(b.GetHeight(), 9);
  EXPECT_EQ(b.GetBitsPerPixel(), 8);
  EXPECT_FALSE(b.HasAlpha());
  EXPECT_NE(b.GetPalette(), nullptr);
  b.Create(2, 2, 24, false);
  EXPECT_EQ(b.GetPalette(), nullptr);
}

TEST(BitmapLayout, CreateForOverwriteStillClearsRowPadding) {
  CDIBSectionBitmap b;
  for (int round = 0; round < 3; ++round) {
    b.CreateForOverwrite(5, 3, 8, false);
    EXPECT_EQ(b.GetWidth(), 5);
    EXPECT_EQ(b.GetBytesPerLine(), 8);
    for (int y = 0; y < 3; ++y)
      for (int x = 5; x < 8; ++x) ASSERT_EQ(b.GetLineArray()[y][x], 0) << "round " << round;
    // Dirty the whole block so a reused allocation would show stale padding.
    for (int y = 0; y < 3; ++y) std::memset(b.GetLineArray()[y], 0xAB, 8);
  }
}

TEST(BitmapLayout, BadGeometryIsRefused) {
  CDIBSectionBitmap b;
  EXPECT_THROW(b.Create(-1, 3, 32, false), CTextException);
  EXPECT_THROW(b.Create(3, 3, 7, false), CTextException);
  try {
    b.Create(0x7FFFFFFF, 0x7FFFFFFF, 32, false);
    FAIL() << "an impossible bitmap was created";
  } catch (const CTextException& e) {
    EXPECT_EQ(e.GetCode(), 10);
    EXPECT_EQ(e.GetText(), "Out of memory creating bitmap.");
  }
}

// Rows, the 40-byte header, the palette (none from 16 bits on) and 48 bytes for the object; an
// empty bitmap is allowed and costs the fixed part only.
TEST(BitmapMemory, FollowsTheBudgetFormula) {
  const struct {
    int width, height, bpp;
    std::size_t used;
  } cases[] = {{10, 5, 32, 40 * 5 + 40 + 48},
               {10, 5, 8, 12 * 5 + 40 + 1024 + 48},
               {10, 5, 1, 4 * 5 + 40 + 8 + 48},
               {10, 5, 16, 20 * 5 + 40 + 48},
               {0, 0, 32, 40 + 48}};
  CDIBSectionBitmap b;
  for (const auto& c : cases) {
    b.Create(c.width, c.height, c.bpp, false);
    EXPECT_EQ(b.GetMemUsed(), c.used) << c.width << " x " << c.height << " x " << c.bpp;
  }
}

TEST(BitmapPalette, GreyRampDividesFirst) {
  CDIBSectionBitmap b;
  b.Create(1, 1, 8, false);
  b.SetGreyPalette();
  EXPECT_EQ(b.GetPalette()[0], 0xFF000000u);
  EXPECT_EQ(b.GetPalette()[128], 0xFF808080u);
  EXPECT_EQ(b.GetPalette()[255], 0xFFFFFFFFu);
  b.Create(1, 1, 4, false);
  b.SetGreyPalette();
  EXPECT_EQ(b.GetPalette()[1], RvMakePixel(17, 17, 17));
  EXPECT_EQ(b.GetPalette()[15], RvMakePixel(255, 255, 255));
  b.Create(1, 1, 1, false);
  b.SetGreyPalette();
  EXPECT_EQ(b.GetPalette()[0], RvMakePixel(0, 0, 0));
  EXPECT_EQ(b.GetPalette()[1], RvMakePixel(255, 255, 255));
}

TEST(BitmapPalette, SetPaletteCopiesTheEntries) {
  CDIBSectionBitmap b;
  b.Create(1, 1, 1, false);
  RvPixel entries[2] = {RvMakePixel(1, 2, 3), RvMakePixel(4, 5, 6)};
  b.SetPalette(entries);
  entries[0] = entries[1] = 0;  // the bitmap keeps its own copy
  EXPECT_EQ(b.GetPalette()[0], RvMakePixel(1, 2, 3));
  EXPECT_EQ(b.GetPalette()[1], RvMakePixel(4, 5, 6));
}

TEST(BitmapPixels, ThirtyTwoBitPixelsAreBlueGreenRedAlphaBytes) {
  CDIBSectionBitmap b;
  b.Create(2, 2, 32, true);
  b.SetPixel(1, 0, RvMakePixel(10, 20, 30, 40));
  const std::uint8_t* p = b.GetLineArray()[0] + 4;
  EXPECT_EQ(p[0], 30);
  EXPECT_EQ(p[1], 20);
  EXPECT_EQ(p[2], 10);
  EXPECT_EQ(p[3], 40);
  EXPECT_EQ(b.GetPixel(1, 0), RvMakePixel(10, 20, 30, 40));
}

TEST(BitmapPixels, TwentyFourBitAndPaletteDepths) {
  CDIBSectionBitmap b;
  b.Create(3, 1, 24, false);
  b.SetPixel(2, 0, RvMakePixel(1, 2, 3));
  EXPECT_EQ(b.GetLineArray()[0][6], 3);
  EXPECT_EQ(b.GetLineArray()[0][8], 1);
  EXPECT_EQ(b.GetPixel(2, 0), RvMakePixel(1, 2, 3, 255));

  b.Create(11, 2, 1, false);
  b.SetPixel(0, 1, 1);
  b.SetPixel(9, 1, 1);
  EXPECT_EQ(b.GetLineArray()[1][0], 0x80);  // the leftmost pixel is the high bit
  EXPECT_EQ(b.GetLineArray()[1][1], 0x40);
  EXPECT_EQ(b.GetPixel(9, 1), 1u);
  EXPECT_EQ(b.GetPixel(8, 1), 0u);

  b.Create(3, 1, 4, false);
  b.SetPixel(0, 0, 0xA);
  b.SetPixel(1, 0, 0x5);
  b.SetPixel(2, 0, 0xF);
  EXPECT_EQ(b.GetLineArray()[0][0], 0xA5);
  EXPECT_EQ(b.GetLineArray()[0][1], 0xF0);
  EXPECT_EQ(b.GetPixel(2, 0), 0xFu);
}

TEST(BitmapPixels, OutsideCoordinatesAreIgnored) {
  CDIBSectionBitmap b;
  b.Create(2, 2, 32, false);
  b.SetPixel(2, 0, 0xFFFFFFFF);
  b.SetPixel(-1, 1, 0xFFFFFFFF);
  b.SetPixel(0, 2, 0xFFFFFFFF);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(b.GetPixel(x, y), 0u);
  EXPECT_EQ(b.GetPixel(5, 5), 0u);
}

TEST(BitmapOperations, AlphaFromChannelFillsTheFourthByte) {
  CDIBSectionBitmap colour, channel;
  colour.Create(3, 2, 32, false);
  channel.Create(3, 2, 8, false);
  colour.SetPixel(2, 1, RvMakePixel(9, 8, 7, 0));
  channel.SetPixel(2, 1, 200);
  channel.SetPixel(0, 0, 17);
  colour.AlphaFromChannel(channel);
  EXPECT_TRUE(colour.HasAlpha());
  EXPECT_EQ(colour.GetPixel(2, 1), RvMakePixel(9, 8, 7, 200));
  EXPECT_EQ(RvPixelAlpha(colour.GetPixel(0, 0)), 17);

  CDIBSectionBitmap wrong;
  wrong.Create(2, 2, 8, false);
  EXPECT_THROW(colour.AlphaFromChannel(wrong), CTextException);
}

TEST(BitmapOperations, CopyTakesSizeDepthAlphaPaletteAndPixels) {
  CDIBSectionBitmap a;
  a.Create(5, 3, 8, true);
  a.SetGreyPalette();
  a.GetPalette()[7] = RvMakePixel(1, 2, 3);
  a.SetPixel(4, 2, 7);
  CDIBBitmap b;
  b.Create(1, 1, 32, false);
  b.CopyFrom(a);
  EXPECT_EQ(b.GetWidth(), 5);
  EXPECT_EQ(b.GetHeight(), 3);
  EXPECT_EQ(b.GetBitsPerPixel(), 8);
  EXPECT_TRUE(b.HasAlpha());
  EXPECT_EQ(b.GetPalette()[7], RvMakePixel(1, 2, 3));
  EXPECT_EQ(b.GetPalette()[255], 0xFFFFFFFFu);
  EXPECT_EQ(b.GetPixel(4, 2), 7u);
  a.SetPixel(4, 2, 1);
  EXPECT_EQ(b.GetPixel(4, 2), 7u) << "the copy shares no storage";
}

class FlipFilter : public CImageFilter {
 public:
  void Apply(const CImageBitmap& source, CImageBitmap* destination) const override {
    destination->Create(source.GetHeight(), source.GetWidth(), 32, source.HasAlpha());
    for (int y = 0; y < source.GetHeight(); ++y)
      for (int x = 0; x < source.GetWidth(); ++x)
        destination->SetPixel(y, x, source.GetPixel(x, y));
  }
};

TEST(BitmapOperations, ApplyFilterReplacesTheContents) {
  CDIBSectionBitmap b;
  b.Create(4, 2, 32, false);
  b.SetPixel(3, 1, 0xFF112233);
  b.ApplyFilter(FlipFilter());
  EXPECT_EQ(b.GetWidth(), 2);
  EXPECT_EQ(b.GetHeight(), 4);
  EXPECT_EQ(b.GetPixel(1, 3), 0xFF112233u);
}

TEST(BitmapLock, CountsAndNeverGoesNegative) {
  CDIBSectionBitmap b;
  b.Create(1, 1, 32, false);
  b.Lock(true, true);
  b.Lock(true, false);
  EXPECT_EQ(b.GetLockCount(), 2);
  b.Unlock();
  b.Unlock();
  b.Unlock();
  EXPECT_EQ(b.GetLockCount(), 0);
}

}  // namespace
