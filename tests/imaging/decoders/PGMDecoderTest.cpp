#include "imaging/decoders/PGMDecoder.h"

#include <gtest/gtest.h>

#include "DecoderTestUtil.h"

using namespace dectest;

namespace {

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace

TEST(PGMDecoder, ToolFilesMatchTheToolsOwnDecode) {
  // ImageMagick rounds when it rescales a maximum of 1000; we truncate, so allow one step.
  const std::pair<const char*, int> cases[] = {
      {"p5.pgm", 0}, {"p2.pgm", 0}, {"p2max15.pgm", 0}, {"p5max1000.pgm", 1}};
  for (const auto& [file, tolerance] : cases) {
    SCOPED_TRACE(file);
    auto bitmap = Decode<CPGMDecoder>(DataBytes(file));
    EXPECT_EQ(bitmap->GetWidth(), 29);
    EXPECT_EQ(bitmap->GetHeight(), 11);
    EXPECT_EQ(bitmap->GetBitsPerPixel(), 8);
    ExpectMatchesReference(*bitmap, DataFile(file), false, tolerance);
  }
  auto wide = Decode<CPGMDecoder>(DataBytes("p5.pgm"), 32);
  EXPECT_EQ(wide->GetBitsPerPixel(), 32);
  ExpectMatchesReference(*wide, DataFile("p5.pgm"), false);
}

TEST(PGMDecoder, MaximumValueScalesSamples) {
  // A maximum of 15 maps 15 to 255 and 8 to 136.
  auto bitmap = Decode<CPGMDecoder>(Text("P2\n3 1\n15\n15 8 0\n"));
  EXPECT_EQ(bitmap->GetPixel(0, 0), 255u);
  EXPECT_EQ(bitmap->GetPixel(1, 0), 136u);
  EXPECT_EQ(bitmap->GetPixel(2, 0), 0u);
  EXPECT_EQ(bitmap->GetPalette()[136], RvMakePixel(136, 136, 136));

  // A maximum of 0 means 255; samples above the maximum stay white instead of wrapping.
  auto zero = Decode<CPGMDecoder>(Text("P2 2 1 0 200 7"));
  EXPECT_EQ(zero->GetPixel(0, 0), 200u);
  auto over = Decode<CPGMDecoder>(Text("P2 2 1 15 16 300"));
  EXPECT_EQ(over->GetPixel(0, 0), 255u);
  EXPECT_EQ(over->GetPixel(1, 0), 255u);

  // Binary samples with a maximum above 255 take two bytes, most significant first.
  const Bytes wide = {'P', '5', ' ', '2',  ' ',  '1',  ' ',  '1',
                      '0', '0', '0', '\n', 0x03, 0xE8, 0x01, 0xF4};
  auto sixteen = Decode<CPGMDecoder>(wide);
  EXPECT_EQ(sixteen->GetPixel(0, 0), 255u);
  EXPECT_EQ(sixteen->GetPixel(1, 0), 127u);
}

TEST(PGMDecoder, HeaderCommentsAndSeparators) {
  auto bitmap = Decode<CPGMDecoder>(Text("P5#c\r# more comment\r\n2\t#x\n1 # last\n255\n\x01\x80"));
  EXPECT_EQ(bitmap->GetWidth(), 2);
  EXPECT_EQ(bitmap->GetPixel(0, 0), 1u);
  EXPECT_EQ(bitmap->GetPixel(1, 0), 128u);
  // The one character after the maximum ends the header, even when it is a digit's neighbour
  // such as a blank that binary data happens to follow.
  auto blank = Decode<CPGMDecoder>(Text("P5 1 1 255  "));
  EXPECT_EQ(blank->GetPixel(0, 0), ' ');
}

TEST(PGMDecoder, TextRowsOfOddWidths) {
  auto bitmap = Decode<CPGMDecoder>(Text("P2 3 2 255\n1 2 3\r\n4\t5\n\n6"));
  const RvPixel expected[2][3] = {{1, 2, 3}, {4, 5, 6}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(bitmap->GetPixel(x, y), expected[y][x]);
  auto one = Decode<CPGMDecoder>(Text("P5 1 1 255\n\x2A"));
  EXPECT_EQ(one->GetPixel(0, 0), 42u);
}

TEST(PGMDecoder, ErrorsCarryTheirCodesAndTexts) {
  std::string text;
  EXPECT_EQ(DecodeError<CPGMDecoder>(Text("P6 1 1 255\n123"), &text), kErrFormat);
  EXPECT_EQ(text, "Decoder error: PGM decoder: Is not the correct identifier P5 or P2.\n");
  EXPECT_EQ(DecodeError<CPGMDecoder>(Text("P5 x 1 255\n1"), &text), kErrFormat);
  EXPECT_EQ(DecodeError<CPGMDecoder>(Text("P5 12345678901234 1 255\n1"), &text), kErrFormat);
  EXPECT_EQ(text, "Decoder error: PGM decoder: File Line to long.\n");
  EXPECT_EQ(DecodeError<CPGMDecoder>(Text("P2 2 1 255 1 x")), kErrFormat);
  // A header that never ends, or ends inside a comment.
  EXPECT_EQ(DecodeError<CPGMDecoder>(Text("P5 1")), kErrEndOfFile);
  EXPECT_EQ(DecodeError<CPGMDecoder>(Text("P5 1 1 # comment")), kErrEndOfFile);
  EXPECT_EQ(DecodeError<CPGMDecoder>(Text("P5 1 1 255")), kErrEndOfFile);
  EXPECT_EQ(DecodeError<CPGMDecoder>(Text("P")), kErrEndOfFile);
}

TEST(PGMDecoder, LyingSizesAndTruncatedFiles) {
  EXPECT_EQ(DecodeError<CPGMDecoder>(Text("P5 100000 100000 255\n1")), kErrFormat);
  EXPECT_EQ(DecodeError<CPGMDecoder>(Text("P5 3000 3000 255\n1")), kErrFormat);
  EXPECT_EQ(DecodeError<CPGMDecoder>(Text("P2 3000 3000 255\n1 2 3")), kErrFormat);
  EXPECT_EQ(DecodeError<CPGMDecoder>(Text("P5 0 3 255\n1")), kErrFormat);
  const Bytes p5 = DataBytes("p5.pgm");
  EXPECT_EQ(DecodeError<CPGMDecoder>(Bytes(p5.begin(), p5.end() - 1)), kErrFormat);
  // Text samples that stop early: enough data for the size check, but the last samples are
  // missing.
  EXPECT_EQ(DecodeError<CPGMDecoder>(Text("P2 3 1 255\n100 200")), kErrEndOfFile);
}
