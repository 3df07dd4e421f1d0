#include "imaging/decoders/PGMDecoder.h"

#include <gtest/gtest.h>

#include "DecoderTestSupport.h"

using namespace dectest;

namespace {

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
auto Pgm = [](const std::string& s, int bpp = 0) { return Decode<CPGMDecoder>(Text(s), bpp); };

}  // namespace

// Maximum values of 15 and 1000 (two bytes a sample) are those of the tool-written files in the
// decoder tables.
TEST(PGMDecoder, MaximumOfZeroAndSamplesAboveTheMaximum) {
  // A maximum of 0 means 255; samples above the maximum stay white instead of wrapping.
  ExpectRows(*Pgm("P2 2 1 0 200 7"), {{200, 7}});
  ExpectRows(*Pgm("P2 2 1 15 16 300"), {{255, 255}});
}

TEST(PGMDecoder, HeaderCommentsSeparatorsAndTextRows) {
  auto bitmap = Pgm("P5#c\r# more comment\r\n2\t#x\n1 # last\n255\n\x01\x80");
  EXPECT_EQ(bitmap->GetWidth(), 2);
  ExpectRows(*bitmap, {{1, 128}});
  // The one character after the maximum ends the header, even a blank that binary data follows.
  ExpectRows(*Pgm("P5 1 1 255  "), {{' '}});
  ExpectRows(*Pgm("P2 3 2 255\n1 2 3\r\n4\t5\n\n6"), {{1, 2, 3}, {4, 5, 6}});
  ExpectRows(*Pgm("P5 1 1 255\n\x2A"), {{42}});
}

TEST(PGMDecoder, ErrorsCarryTheirCodesAndTexts) {
  struct Case {
    const char* file;
    int code;
    const char* text;  // checked when not empty
  };
  const Case cases[] = {
      {"P6 1 1 255\n123", kErrFormat,
       "Decoder error: PGM decoder: Is not the correct identifier P5 or P2.\n"},
      {"P5 x 1 255\n1", kErrFormat, ""},
      {"P5 12345678901234 1 255\n1", kErrFormat,
       "Decoder error: PGM decoder: File Line to long.\n"},
      {"P2 2 1 255 1 x", kErrFormat, ""},
      // A header that never ends, or ends inside a comment.
      {"P5 1", kErrEndOfFile, ""},
      {"P5 1 1 # comment", kErrEndOfFile, ""},
      {"P5 1 1 255", kErrEndOfFile, ""},
      {"P", kErrEndOfFile, ""},
      // Sizes the data cannot fill are refused before allocating.
      {"P5 100000 100000 255\n1", kErrFormat, ""},
      {"P5 3000 3000 255\n1", kErrFormat, ""},
      {"P2 3000 3000 255\n1 2 3", kErrFormat, ""},
      {"P5 0 3 255\n1", kErrFormat, ""},
      // Text samples that stop early: enough for the size check, the last samples missing.
      {"P2 3 1 255\n100 200", kErrEndOfFile, ""},
  };
  for (const Case& c : cases) {
    std::string text;
    EXPECT_EQ(DecodeError<CPGMDecoder>(Text(c.file), &text), c.code) << c.file;
    if (*c.text) {
      EXPECT_EQ(text, c.text);
    }
  }
}
