#include "imaging/decoders/SoftImageDecoder.h"

#include <gtest/gtest.h>

#include "DecoderTestSupport.h"

using namespace dectest;

namespace {

struct Packet {
  int chained;
  int size;
  int type;  // 2 = mixed run-length, 0 = verbatim
  int mask;
};

ByteWriter SoftHeader(int width, int height, const std::vector<Packet>& packets) {
  ByteWriter w;
  w.BE32(0x5380F634).Zeros(84).Text("PICT").BE16(width).BE16(height).Zeros(8);
  for (const Packet& p : packets) w.U8(p.chained).U8(p.size).U8(p.type).U8(p.mask);
  return w;
}

const Packet kRgbVerbatim = {0, 8, 0, 0xE0};
const Packet kRgbRle = {0, 8, 2, 0xE0};
const Packet kRgbRleChained = {1, 8, 2, 0xE0};
const Packet kAlphaRle = {0, 8, 2, 0x10};

}  // namespace

TEST(SoftImageDecoder, RecognisesMagicAndIdentifier) {
  CSoftImageDecoder decoder;
  Bytes header = SoftHeader(1, 1, {kRgbVerbatim}).Get();
  header.resize(512, 0);
  EXPECT_TRUE(decoder.CanDecode(header.data(), header.size()));
  EXPECT_FALSE(decoder.CanDecode(header.data(), 91));
  header[90] = 'X';
  EXPECT_FALSE(decoder.CanDecode(header.data(), header.size()));
  header[90] = 'C';
  header[3] = 0x35;
  EXPECT_FALSE(decoder.CanDecode(header.data(), header.size()));
}

TEST(SoftImageDecoder, VerbatimColourWithoutAlphaIsOpaque) {
  ByteWriter w = SoftHeader(3, 2, {kRgbVerbatim});
  for (int i = 0; i < 6; ++i) w.U8(10 * i).U8(10 * i + 1).U8(10 * i + 2);
  auto bitmap = Decode<CSoftImageDecoder>(w.Get());
  EXPECT_EQ(bitmap->GetBitsPerPixel(), 32);
  EXPECT_TRUE(bitmap->HasAlpha());
  // Rows run from the top down.
  ExpectPixels(*bitmap,
               {Px(0, 0, RvMakePixel(0, 1, 2, 255)), Px(2, 0, RvMakePixel(20, 21, 22, 255)),
                Px(0, 1, RvMakePixel(30, 31, 32, 255)), Px(2, 1, RvMakePixel(50, 51, 52, 255))});
}

TEST(SoftImageDecoder, MixedRunLengthItems) {
  // Width 4, height 2: a literal pair, a short run of 3 (0x82) crossing into row 1, then a long
  // run (0x80 and a 16-bit count) of 3 finishing the picture.
  ByteWriter w = SoftHeader(4, 2, {kRgbRle});
  w.U8(0x01).U8(1).U8(2).U8(3).U8(4).U8(5).U8(6);
  w.U8(0x82).U8(7).U8(8).U8(9);
  w.U8(0x80).BE16(3).U8(10).U8(11).U8(12);
  ExpectPixels(*Decode<CSoftImageDecoder>(w.Get()),
               {Px(0, 0, RvMakePixel(1, 2, 3)), Px(1, 0, RvMakePixel(4, 5, 6)),
                Px(3, 0, RvMakePixel(7, 8, 9)), Px(0, 1, RvMakePixel(7, 8, 9)),
                Px(1, 1, RvMakePixel(10, 11, 12)), Px(3, 1, RvMakePixel(10, 11, 12))});
}

TEST(SoftImageDecoder, AlphaPacketFollowsEachColourRow) {
  // Width 3, height 2. Row 0: colour run of 3, then alpha literal 3 values. Row 1: colour run,
  // then an alpha run of 9 that stops at the row's end.
  ByteWriter w = SoftHeader(3, 2, {kRgbRleChained, kAlphaRle});
  w.U8(0x82).U8(1).U8(2).U8(3);
  w.U8(0x02).U8(100).U8(101).U8(102);
  w.U8(0x82).U8(4).U8(5).U8(6);
  w.U8(0x88).U8(200);
  ExpectPixels(*Decode<CSoftImageDecoder>(w.Get()),
               {Px(0, 0, RvMakePixel(1, 2, 3, 100)), Px(2, 0, RvMakePixel(1, 2, 3, 102)),
                Px(0, 1, RvMakePixel(4, 5, 6, 200)), Px(2, 1, RvMakePixel(4, 5, 6, 200))});
}

TEST(SoftImageDecoder, ColourRunAcrossRowsReadsAlphaOnlyWhereAnItemEndsTheRow) {
  // Width 2, height 2: one colour run of 4 covers both rows and ends at row 1's end, so only
  // row 1 receives alpha values.
  ByteWriter w = SoftHeader(2, 2, {kRgbRleChained, kAlphaRle});
  w.U8(0x83).U8(1).U8(2).U8(3);
  w.U8(0x81).U8(77);
  ExpectPixels(*Decode<CSoftImageDecoder>(w.Get()), {Px(0, 0, 0), Px(1, 1, 77u << 24)}, false,
               0xFF000000u);
}

TEST(SoftImageDecoder, HeaderErrorsCarryTheirCodesAndTexts) {
  Bytes badMagic = SoftHeader(1, 1, {kRgbVerbatim}).U8(1).U8(2).U8(3).Get();
  badMagic[0] = 0x54;
  Bytes noPict = SoftHeader(1, 1, {kRgbVerbatim}).U8(1).U8(2).U8(3).Get();
  noPict[88] = 'Q';
  ExpectErrorTexts<CSoftImageDecoder>(
      kErrUnsupported,
      {{badMagic, "SoftImage PICT format starts with magic number 0x5380f634"},
       {noPict, "SoftImage PICT format has the identifier PICT on position 88 in file"},
       {SoftHeader(1, 1, {{0, 16, 0, 0xE0}}).Get(),
        "SoftImage PICT format only supported with 8 bits per pixel"},
       {SoftHeader(1, 1, {{0, 8, 0, 0xF0}}).Get(),
        "SoftImage PICT format only supported RGB in first channel"},
       {SoftHeader(1, 1, {kRgbRleChained, {1, 8, 2, 0x10}}).Get(),
        "SoftImage PICT format not supported with more than 2 channel packages"},
       {SoftHeader(1, 1, {kRgbRleChained, {0, 16, 2, 0x10}}).Get(),
        "SoftImage PICT format only supported with 8 bits per pixel"},
       {SoftHeader(1, 1, {kRgbRleChained, {0, 8, 2, 0xE0}}).Get(),
        "SoftImage PICT format only supported alpha channel in second package"}});
}

TEST(SoftImageDecoder, LyingSizesAndTruncatedFiles) {
  EXPECT_EQ(DecodeError<CSoftImageDecoder>(SoftHeader(65535, 65535, {kRgbVerbatim}).U8(1).Get()),
            kErrFormat);
  EXPECT_EQ(DecodeError<CSoftImageDecoder>(SoftHeader(65535, 65535, {kRgbRle}).U8(1).Get()),
            kErrFormat);
  EXPECT_EQ(DecodeError<CSoftImageDecoder>(SoftHeader(0, 5, {kRgbRle}).U8(1).Get()), kErrFormat);

  ByteWriter w = SoftHeader(4, 4, {kRgbRleChained, kAlphaRle});
  for (int y = 0; y < 4; ++y) w.U8(0x83).U8(y).U8(y).U8(y).U8(0x83).U8(50);
  const Bytes& file = w.Get();
  ExpectCutsFail([](const Bytes& b) { return Decode<CSoftImageDecoder>(b); }, file, {kErrEndOfFile},
                 false, 0, file.size(), 5);
}
