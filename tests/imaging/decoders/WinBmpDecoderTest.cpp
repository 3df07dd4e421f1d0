#include "imaging/decoders/WinBmpDecoder.h"

#include <gtest/gtest.h>

#include <climits>

#include "DecoderTestSupport.h"

using namespace dectest;

namespace {

std::vector<RvPixel> GreyPalette(int n) {
  std::vector<RvPixel> p;
  for (int i = 0; i < n; ++i)
    p.push_back(RvMakePixel(std::uint8_t(i * 10), std::uint8_t(i * 10), std::uint8_t(i * 10)));
  return p;
}

}  // namespace

// --- Images built here, for what the tool-written files of the decoder tables do not show (the
// escape-coded streams are compared with a reference decoder in RleDifferentialTest).

TEST(WinBmpDecoder, RowsAreBottomUpUnlessHeightIsNegative) {
  // Two rows of one 8-bit pixel: the first stored row is index 1, the second index 2.
  const Bytes pixels = {1, 0, 0, 0, 2, 0, 0, 0};
  BmpLayout s;
  s.bits = 8;
  s.height = 2;
  s.palette = GreyPalette(3);
  ExpectRows(*Decode<CWinBmpDecoder>(MakeBmp(s, pixels)), {{2}, {1}});
  s.height = -2;
  auto topDown = Decode<CWinBmpDecoder>(MakeBmp(s, pixels));
  EXPECT_EQ(topDown->GetHeight(), 2);
  ExpectRows(*topDown, {{1}, {2}});
}

// (Bit-field masks are read from the tool-written 5-6-5 and 5-5-5 files of the decoder tables.)
TEST(WinBmpDecoder, SixteenBitWithoutBitFieldsIsFiveFiveFive) {
  BmpLayout s;
  s.bits = 16;
  s.width = 3;
  // 0x7C00 red, 0x03E0 green, 0x001F blue.
  ExpectRows(*Decode<CWinBmpDecoder>(MakeBmp(s, {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0, 0})),
             {{RvMakePixel(248, 0, 0), RvMakePixel(0, 248, 0), RvMakePixel(0, 0, 248)}});
}

TEST(WinBmpDecoder, MissingPaddingAfterTheLastRowIsAccepted) {
  BmpLayout s;
  s.width = 1;
  s.height = 2;
  // Bottom row with its padding byte, top row without.
  ExpectRows(*Decode<CWinBmpDecoder>(MakeBmp(s, {1, 2, 3, 0, 4, 5, 6})),
             {{RvMakePixel(6, 5, 4)}, {RvMakePixel(3, 2, 1)}});
}

TEST(WinBmpDecoder, RleAbsoluteRunPastTheRowIsCutDeltaIsRefusedAndEarlyEndRaises) {
  BmpLayout s;
  s.bits = 8;
  s.compression = 1;
  s.width = 2;
  s.palette = GreyPalette(10);
  ExpectRows(*Decode<CWinBmpDecoder>(MakeBmp(s, {0, 5, 1, 2, 3, 4, 5, 0, 0, 1})), {{1, 2}});
  // No end-of-row or end-of-bitmap before the data runs out.
  EXPECT_EQ(DecodeError<CWinBmpDecoder>(MakeBmp(s, {2, 1})), kErrEndOfFile);
  EXPECT_EQ(DecodeError<CWinBmpDecoder>(MakeBmp(s, {0, 5, 1, 2})), kErrEndOfFile);
  std::string text;
  EXPECT_EQ(DecodeError<CWinBmpDecoder>(MakeBmp(s, {0, 2, 1, 1, 0, 1}), &text), kErrUnsupported);
  EXPECT_EQ(text, "Decoder error: Encountered delta escape.\n");
}

// --- Bad headers and truncated files.

TEST(WinBmpDecoder, HeaderErrorsCarryTheirCodesAndTexts) {
  std::string text;
  Bytes notBmp = MakeBmp(BmpLayout(), {1, 2, 3, 0});
  notBmp[0] = 'X';
  EXPECT_EQ(DecodeError<CWinBmpDecoder>(notBmp, &text), kErrWrongSignature);
  EXPECT_EQ(text, "Decoder error: Bitmap decoder: This isn't a bitmap.\n");

  Bytes oldHeader = MakeBmp(BmpLayout(), {1, 2, 3, 0});
  oldHeader[14] = 12;
  EXPECT_EQ(DecodeError<CWinBmpDecoder>(oldHeader, &text), kErrFormat);
  EXPECT_EQ(text, "Decoder error: Bitmap decoder: BITMAPINFOHEADER has wrong size.\n");

  BmpLayout s;
  s.bits = 7;
  EXPECT_EQ(DecodeError<CWinBmpDecoder>(MakeBmp(s, {1, 2, 3, 0}), &text), kErrFormat);
  EXPECT_EQ(text, "Decoder error: Decoding bmp: Illegal bpp value.\n");
}

TEST(WinBmpDecoder, LyingSizesAreRefusedBeforeAllocating) {
  BmpLayout s;
  s.width = 100000;
  s.height = 100000;  // 40 GB of pixels
  EXPECT_EQ(DecodeError<CWinBmpDecoder>(MakeBmp(s, {1, 2, 3, 0})), kErrFormat);
  s.width = 3000;
  s.height = 3000;  // possible in memory, but the file holds four bytes
  std::string text;
  EXPECT_EQ(DecodeError<CWinBmpDecoder>(MakeBmp(s, {1, 2, 3, 0}), &text), kErrFormat);
  EXPECT_NE(text.find("remain in the file"), std::string::npos) << text;
  s.compression = 1;
  s.bits = 8;
  s.palette = GreyPalette(2);
  EXPECT_EQ(DecodeError<CWinBmpDecoder>(MakeBmp(s, {0, 1})), kErrFormat);
  s.width = 0;
  s.height = 1;
  EXPECT_EQ(DecodeError<CWinBmpDecoder>(MakeBmp(s, {0, 1})), kErrFormat);
  s.width = 1;
  s.height = INT_MIN;
  EXPECT_EQ(DecodeError<CWinBmpDecoder>(MakeBmp(s, {0, 1})), kErrFormat);
}

TEST(WinBmpDecoder, LyingCountsAndOffsets) {
  // A colour count far beyond the palette is cut to the entries before the pixel data.
  BmpLayout s;
  s.bits = 8;
  s.palette = GreyPalette(4);
  s.colorsUsed = 0xFFFFFFFF;
  auto bitmap = Decode<CWinBmpDecoder>(MakeBmp(s, {3, 0, 0, 0}));
  ExpectPixels(*bitmap, {Px(0, 0, 3)});
  EXPECT_EQ(bitmap->GetPalette()[3], RvMakePixel(30, 30, 30));

  // A data offset past the end of the file.
  Bytes far = MakeBmp(BmpLayout(), {1, 2, 3, 0});
  far[13] = 0x40;
  EXPECT_EQ(DecodeError<CWinBmpDecoder>(far), kErrEndOfFile);
}

// Rows are decoded in place with whole-block writes past each item, and the bitmap is not cleared
// beforehand: what a row leaves (its end, its padding) and the rows after the end of the picture
// must still come out as index 0, even in a bitmap whose memory held another picture.
TEST(WinBmpDecoder, Rle8LeavesNothingOfEarlierMemoryInShortRowsPaddingAndMissingRows) {
  BmpLayout s;
  s.bits = 8;
  s.compression = 1;
  s.width = 301;  // rows of 304 bytes: three bytes of padding
  s.height = 40;
  s.palette = GreyPalette(256);
  Bytes full;
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; x += 43) full.insert(full.end(), {43, 200});
    full.insert(full.end(), {0, 0});
  }
  full.insert(full.end(), {0, 1});
  // Five full rows whose last short item is written as a whole block reaching into the padding
  // (a 270-pixel run, a three-byte absolute stretch, a 28-pixel run); then twenty rows of a run,
  // a 40-byte absolute stretch and a run, ending early after 150 pixels; then the end of the
  // picture.
  Bytes partial;
  for (int y = 0; y < 5; ++y)
    partial.insert(partial.end(), {255, 1, 15, 1, 0, 3, 11, 12, 13, 0, 28, 2, 0, 0});
  for (int y = 0; y < 20; ++y) {
    partial.insert(partial.end(), {50, std::uint8_t(y + 1), 0, 40});
    for (int i = 0; i < 40; ++i) partial.push_back(std::uint8_t(100 + i));
    partial.insert(partial.end(), {60, 7, 0, 0});
  }
  partial.insert(partial.end(), {0, 1});
  auto expectedIndex = [](int fileRow, int x) -> unsigned {
    if (fileRow < 5) return x < 270 ? 1 : x < 273 ? unsigned(11 + x - 270) : 2;
    if (fileRow >= 25 || x >= 150) return 0;
    return x < 50 ? unsigned(fileRow - 4) : x < 90 ? unsigned(100 + x - 50) : 7;
  };

  for (int bpp : {8, 32}) {
    CDIBSectionBitmap bitmap;
    CWinBmpDecoder decoder;
    const Bytes first = MakeBmp(s, full), second = MakeBmp(s, partial);
    decoder.DecodeMemory(first.data(), first.size(), &bitmap, bpp);
    decoder.DecodeMemory(second.data(), second.size(), &bitmap, bpp);
    ASSERT_EQ(bitmap.GetBitsPerPixel(), bpp);
    for (int fileRow = 0; fileRow < s.height; ++fileRow) {
      const int y = s.height - 1 - fileRow;
      for (int x = 0; x < s.width; ++x) {
        const unsigned want = expectedIndex(fileRow, x);
        const RvPixel got = bpp == 8 ? bitmap.GetPixel(x, y) : ColourAt(bitmap, x, y);
        const RvPixel expected = bpp == 8 ? want : s.palette[want];
        ASSERT_EQ(got & 0x00FFFFFF, expected & 0x00FFFFFF) << bpp << " bits, " << x << "," << y;
      }
      if (bpp == 8) {
        for (int pad = s.width; pad < bitmap.GetBytesPerLine(); ++pad) {
          EXPECT_EQ(bitmap.GetLineArray()[y][pad], 0) << "padding of row " << y;
        }
      }
    }
  }
}
