#include "imaging/decoders/SGIDecoder.h"

#include <gtest/gtest.h>

#include "DecoderTestSupport.h"

using namespace dectest;

namespace {

ByteWriter SgiHeader(int storage, int bytesPerChannel, int width, int height, int channels,
                     int dimension = 3) {
  ByteWriter w;
  w.BE16(474).U8(storage).U8(bytesPerChannel).BE16(dimension).BE16(width).BE16(height);
  w.BE16(channels).Zeros(512 - 12);
  return w;
}

// Run-length file from encoded rows given channel-major (row index c * height + y).
Bytes SgiRle(int bytesPerChannel, int width, int height, int channels,
             const std::vector<Bytes>& rows) {
  ByteWriter w = SgiHeader(1, bytesPerChannel, width, height, channels);
  std::uint32_t offset = 512 + 8 * std::uint32_t(rows.size());
  for (const Bytes& r : rows) {
    w.BE32(offset);
    offset += std::uint32_t(r.size());
  }
  for (const Bytes& r : rows) w.BE32(std::uint32_t(r.size()));
  for (const Bytes& r : rows) w.Append(r);
  return w.Get();
}

}  // namespace

TEST(SGIDecoder, RecognisesItsMagicNumber) {
  ExpectClaims<CSGIDecoder>({0x01, 0xDA, 0, 1}, {0xDA, 0x01, 0, 1}, 1);  // byte-swapped magic
}

// Three and four 8-bit channels, 16-bit samples and the row order are those of the tool-written
// files in the decoder tables; run-length rows are compared with a reference decoder in
// RleDifferentialTest.
TEST(SGIDecoder, OtherChannelCountsAndSixteenBitTruncation) {
  // Sixteen-bit samples are truncated to their high byte; one channel fills red only.
  ExpectRows(*Decode<CSGIDecoder>(SgiHeader(0, 2, 3, 1, 1).BE16(65535).BE16(257).BE16(256).Get()),
             {{RvMakePixel(255, 0, 0), RvMakePixel(1, 0, 0), RvMakePixel(0, 0, 0)}});
  ExpectRows(*Decode<CSGIDecoder>(SgiHeader(0, 1, 1, 1, 2).U8(10).U8(20).Get()),
             {{RvMakePixel(10, 20, 0)}});
  // Five channels: the fifth is ignored (and need not even be present).
  ExpectRows(*Decode<CSGIDecoder>(SgiHeader(0, 1, 1, 1, 5).U8(1).U8(2).U8(3).U8(4).Get()),
             {{RvMakePixel(1, 2, 3, 4)}});
}

TEST(SGIDecoder, RowsMayShareDataAndAStartOfZeroTakesTheNextEntry) {
  Bytes shared = SgiRle(1, 2, 2, 1, {{0x02, 6, 0}, {}});
  std::copy(shared.begin() + 512, shared.begin() + 516, shared.begin() + 516);
  std::fill(shared.begin() + 512, shared.begin() + 516, 0);
  ExpectPixels(*Decode<CSGIDecoder>(shared), {Px(1, 0, 6 << 16), Px(1, 1, 6 << 16)}, false,
               0x00FF0000);
}

TEST(SGIDecoder, BadRunLengthDataAndHeaders) {
  std::string text;
  // More samples than the width.
  EXPECT_EQ(DecodeError<CSGIDecoder>(SgiRle(1, 2, 1, 1, {{0x03, 1, 0}}), &text), kErrCorrupt);
  EXPECT_NE(text.find("longer than the image width"), std::string::npos) << text;
  // A start past the file (rows that end early are the truncations of the decoder tables).
  Bytes far = SgiRle(1, 1, 1, 1, {{0x01, 5, 0}});
  far[512] = 0x7F;
  EXPECT_EQ(DecodeError<CSGIDecoder>(far), kErrEndOfFile);
  // A start inside the tables is skipped, leaving the row empty.
  Bytes inside = SgiRle(1, 1, 1, 1, {{0x01, 5, 0}});
  inside[515] = 4;
  ExpectPixels(*Decode<CSGIDecoder>(inside), {Px(0, 0, RvMakePixel(0, 0, 0, 255))});

  Bytes notSgi = SgiHeader(0, 1, 1, 1, 1).U8(1).Get();
  notSgi[1] = 0xDB;
  ExpectErrorTexts<CSGIDecoder>(
      kErrUnsupported, {{SgiHeader(0, 1, 1, 1, 1, 2).U8(1).Get(),
                         "Silicon Graphics SGI only supported with 3 dimensions"},
                        {notSgi, "Silicon Graphics SGI format starts with magic number 474"}});
  // Sizes the file cannot fill are refused before allocating.
  for (const Bytes& lie :
       {SgiHeader(0, 1, 65535, 65535, 4).Get(), SgiHeader(0, 1, 3000, 3000, 3).Get(),
        SgiHeader(1, 1, 100, 60000, 4).Get(), SgiHeader(0, 1, 0, 1, 3).Get(),
        SgiHeader(0, 1, 1, 1, 0).Get()})
    EXPECT_EQ(DecodeError<CSGIDecoder>(lie), kErrFormat);
}
