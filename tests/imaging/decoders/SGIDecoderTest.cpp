#include "imaging/decoders/SGIDecoder.h"

#include <gtest/gtest.h>

#include "DecoderTestUtil.h"

using namespace dectest;

namespace {

ByteWriter SgiHeader(int storage, int bytesPerChannel, int width, int height, int channels,
                     int dimension = 3) {
  ByteWriter w;
  w.BE16(474)
      .U8(storage)
      .U8(bytesPerChannel)
      .BE16(dimension)
      .BE16(width)
      .BE16(height)
      .BE16(channels);
  w.Zeros(512 - w.Size());
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
  CSGIDecoder decoder;
  const std::uint8_t good[4] = {0x01, 0xDA, 0, 1};
  const std::uint8_t swapped[4] = {0xDA, 0x01, 0, 1};
  EXPECT_TRUE(decoder.CanDecode(good, 4));
  EXPECT_FALSE(decoder.CanDecode(swapped, 4));
  EXPECT_FALSE(decoder.CanDecode(good, 1));
}

TEST(SGIDecoder, ToolFilesMatchTheToolsOwnDecode) {
  const std::pair<const char*, bool> cases[] = {{"sgi24.sgi", false},
                                                {"sgi24rle.sgi", false},
                                                {"sgi32.sgi", true},
                                                {"sgi32rle.sgi", true},
                                                {"sgi48.sgi", false}};
  for (const auto& [file, alpha] : cases) {
    SCOPED_TRACE(file);
    auto bitmap = Decode<CSGIDecoder>(DataBytes(file));
    EXPECT_EQ(bitmap->GetWidth(), 29);
    EXPECT_EQ(bitmap->GetHeight(), 11);
    EXPECT_EQ(bitmap->GetBitsPerPixel(), 32);
    EXPECT_TRUE(bitmap->HasAlpha());
    ExpectMatchesReference(*bitmap, DataFile(file), alpha);
    // Three channels give opaque alpha in every pixel.
    if (!alpha) {
      for (int y = 0; y < 11; ++y) {
        for (int x = 0; x < 29; ++x) {
          ASSERT_EQ(RvPixelAlpha(bitmap->GetPixel(x, y)), 255) << x << "," << y;
        }
      }
    }
  }
}

TEST(SGIDecoder, SixteenBitSamplesAreTruncated) {
  ByteWriter w = SgiHeader(0, 2, 3, 1, 1);
  w.BE16(65535).BE16(257).BE16(256);
  auto bitmap = Decode<CSGIDecoder>(w.Get());
  EXPECT_EQ(bitmap->GetPixel(0, 0), RvMakePixel(255, 0, 0, 255));
  EXPECT_EQ(bitmap->GetPixel(1, 0), RvMakePixel(1, 0, 0, 255));
  EXPECT_EQ(bitmap->GetPixel(2, 0), RvMakePixel(0, 0, 0, 255));
}

TEST(SGIDecoder, ChannelsFillRedGreenBlueAlphaAndRowsRunBottomUp) {
  // One channel fills red only; rows are stored bottom row first.
  ByteWriter one = SgiHeader(0, 1, 1, 2, 1);
  one.U8(10).U8(20);
  auto red = Decode<CSGIDecoder>(one.Get());
  EXPECT_EQ(red->GetPixel(0, 0), RvMakePixel(20, 0, 0, 255));
  EXPECT_EQ(red->GetPixel(0, 1), RvMakePixel(10, 0, 0, 255));

  ByteWriter two = SgiHeader(0, 1, 1, 1, 2);
  two.U8(10).U8(20);
  EXPECT_EQ(Decode<CSGIDecoder>(two.Get())->GetPixel(0, 0), RvMakePixel(10, 20, 0, 255));

  // Five channels: the fifth is ignored (and need not even be present).
  ByteWriter five = SgiHeader(0, 1, 1, 1, 5);
  five.U8(1).U8(2).U8(3).U8(4);
  EXPECT_EQ(Decode<CSGIDecoder>(five.Get())->GetPixel(0, 0), RvMakePixel(1, 2, 3, 4));

  // Sixteen-bit four channels, odd width.
  ByteWriter deep = SgiHeader(0, 2, 3, 1, 4);
  for (int c = 0; c < 4; ++c)
    for (int x = 0; x < 3; ++x) deep.BE16(257 * (10 * c + x));
  auto rgba = Decode<CSGIDecoder>(deep.Get());
  EXPECT_EQ(rgba->GetPixel(2, 0), RvMakePixel(2, 12, 22, 32));
}

TEST(SGIDecoder, RunLengthRows) {
  // Width 5, height 2, one channel: literal then run; the second row is a single run.
  const Bytes bottom = {0x82, 7, 8, 0x03, 9, 0};
  const Bytes top = {0x05, 4, 0};
  auto bitmap = Decode<CSGIDecoder>(SgiRle(1, 5, 2, 1, {bottom, top}));
  const std::uint8_t expected[2][5] = {{4, 4, 4, 4, 4}, {7, 8, 9, 9, 9}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(RvPixelRed(bitmap->GetPixel(x, y)), expected[y][x]);

  // Sixteen-bit items and samples.
  const Bytes wide = {0x00, 0x82, 0xFF, 0xFF, 0x01, 0x01, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00};
  auto deep = Decode<CSGIDecoder>(SgiRle(2, 3, 1, 1, {wide}));
  EXPECT_EQ(RvPixelRed(deep->GetPixel(0, 0)), 255);
  EXPECT_EQ(RvPixelRed(deep->GetPixel(1, 0)), 1);
  EXPECT_EQ(RvPixelRed(deep->GetPixel(2, 0)), 0);

  // Rows may share data, and a start entry of 0 takes the following word.
  Bytes shared = SgiRle(1, 2, 2, 1, {{0x02, 6, 0}, {}});
  const Bytes firstStart(shared.begin() + 512, shared.begin() + 516);
  std::copy(firstStart.begin(), firstStart.end(), shared.begin() + 516);
  std::fill(shared.begin() + 512, shared.begin() + 516, 0);
  auto twice = Decode<CSGIDecoder>(shared);
  EXPECT_EQ(RvPixelRed(twice->GetPixel(1, 0)), 6);
  EXPECT_EQ(RvPixelRed(twice->GetPixel(1, 1)), 6);
}

TEST(SGIDecoder, BadRunLengthData) {
  std::string text;
  // More samples than the width.
  EXPECT_EQ(DecodeError<CSGIDecoder>(SgiRle(1, 2, 1, 1, {{0x03, 1, 0}}), &text), kErrCorrupt);
  EXPECT_NE(text.find("longer than the image width"), std::string::npos) << text;
  // A row whose data runs out before its end marker, and a start past the file.
  EXPECT_EQ(DecodeError<CSGIDecoder>(SgiRle(1, 4, 1, 1, {{0x82, 1}})), kErrEndOfFile);
  Bytes far = SgiRle(1, 1, 1, 1, {{0x01, 5, 0}});
  far[512] = 0x7F;
  EXPECT_EQ(DecodeError<CSGIDecoder>(far), kErrEndOfFile);
  // A start inside the tables is skipped, leaving the row empty.
  Bytes inside = SgiRle(1, 1, 1, 1, {{0x01, 5, 0}});
  inside[515] = 4;
  EXPECT_EQ(Decode<CSGIDecoder>(inside)->GetPixel(0, 0), RvMakePixel(0, 0, 0, 255));
}

TEST(SGIDecoder, HeaderErrorsCarryTheirCodesAndTexts) {
  std::string text;
  ByteWriter flat = SgiHeader(0, 1, 1, 1, 1, 2);
  flat.U8(1);
  EXPECT_EQ(DecodeError<CSGIDecoder>(flat.Get(), &text), kErrUnsupported);
  EXPECT_EQ(text, "Silicon Graphics SGI only supported with 3 dimensions");
  Bytes notSgi = SgiHeader(0, 1, 1, 1, 1).Get();
  notSgi.push_back(1);
  notSgi[1] = 0xDB;
  EXPECT_EQ(DecodeError<CSGIDecoder>(notSgi, &text), kErrUnsupported);
  EXPECT_EQ(text, "Silicon Graphics SGI format starts with magic number 474");
}

TEST(SGIDecoder, LyingSizesAndTruncatedFiles) {
  EXPECT_EQ(DecodeError<CSGIDecoder>(SgiHeader(0, 1, 65535, 65535, 4).Get()), kErrFormat);
  EXPECT_EQ(DecodeError<CSGIDecoder>(SgiHeader(0, 1, 3000, 3000, 3).Get()), kErrFormat);
  EXPECT_EQ(DecodeError<CSGIDecoder>(SgiHeader(1, 1, 100, 60000, 4).Get()), kErrFormat);
  EXPECT_EQ(DecodeError<CSGIDecoder>(SgiHeader(0, 1, 0, 1, 3).Get()), kErrFormat);
  EXPECT_EQ(DecodeError<CSGIDecoder>(SgiHeader(0, 1, 1, 1, 0).Get()), kErrFormat);

  const Bytes raw = DataBytes("sgi24.sgi");
  const Bytes rle = DataBytes("sgi32rle.sgi");
  EXPECT_EQ(DecodeError<CSGIDecoder>(Bytes(raw.begin(), raw.begin() + 511)), kErrEndOfFile);
  EXPECT_EQ(DecodeError<CSGIDecoder>(Bytes(raw.begin(), raw.end() - 1)), kErrFormat);
  // Run-length data cut anywhere after the tables: some row starts past the end.
  const std::size_t tables = 512 + 8 * 11 * 4;
  for (std::size_t cut = tables; cut < rle.size() - 1; cut += 53)
    EXPECT_EQ(DecodeError<CSGIDecoder>(Bytes(rle.begin(), rle.begin() + cut)), kErrEndOfFile)
        << cut;
}
