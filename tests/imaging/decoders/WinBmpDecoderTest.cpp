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
// escape-coded streams, top-down ones and decodes into used memory among them, are compared with
// a reference decoder in RleDifferentialTest).

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

// --- Bad headers and truncated files.

TEST(WinBmpDecoder, HeaderErrorsCarryTheirCodesAndTexts) {
  Bytes notBmp = MakeBmp(BmpLayout(), {1, 2, 3, 0});
  notBmp[0] = 'X';
  ExpectErrorTexts<CWinBmpDecoder>(
      kErrWrongSignature, {{notBmp, "Decoder error: Bitmap decoder: This isn't a bitmap.\n"}});
  Bytes oldHeader = MakeBmp(BmpLayout(), {1, 2, 3, 0});
  oldHeader[14] = 12;
  BmpLayout s;
  s.bits = 7;
  ExpectErrorTexts<CWinBmpDecoder>(
      kErrFormat,
      {{oldHeader, "Decoder error: Bitmap decoder: BITMAPINFOHEADER has wrong size.\n"},
       {MakeBmp(s, {1, 2, 3, 0}), "Decoder error: Decoding bmp: Illegal bpp value.\n"}});
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
