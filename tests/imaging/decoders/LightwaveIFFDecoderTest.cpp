#include "imaging/decoders/LightwaveIFFDecoder.h"

#include <gtest/gtest.h>

#include "DecoderTestSupport.h"

using namespace dectest;

namespace {

// One row as bit planes: planes 0-7 red (plane 0 the lowest bit), 8-15 green, 16-23 blue,
// 24-31 alpha; each plane padded to 16-bit words.
Bytes PlanarRow(const std::vector<RvPixel>& row, int planes) {
  const std::size_t planeBytes = 2 * ((row.size() + 15) / 16);
  Bytes out(planeBytes * std::size_t(planes), 0);
  for (int p = 0; p < planes; ++p) {
    for (std::size_t x = 0; x < row.size(); ++x) {
      const std::uint8_t comp[4] = {RvPixelRed(row[x]), RvPixelGreen(row[x]), RvPixelBlue(row[x]),
                                    RvPixelAlpha(row[x])};
      if ((comp[p / 8] >> (p % 8)) & 1)
        out[std::size_t(p) * planeBytes + x / 8] |= std::uint8_t(0x80 >> (x % 8));
    }
  }
  return out;
}

Bytes Chunk(const std::string& tag, const Bytes& data) {
  ByteWriter w;
  w.Text(tag).BE32(std::uint32_t(data.size())).Append(data);
  if (data.size() % 2) w.U8(0);
  return w.Get();
}

Bytes Bmhd(int width, int height, int planes, int compression, int masking = 0) {
  ByteWriter w;
  w.BE16(width).BE16(height).BE16(0).BE16(0).U8(planes).U8(masking).U8(compression).U8(0);
  w.BE16(0).U8(10).U8(11).BE16(width).BE16(height);
  return w.Get();
}

Bytes Ilbm(const Bytes& bmhd, const Bytes& body, const std::vector<Bytes>& between = {}) {
  ByteWriter inner;
  inner.Text("ILBM").Append(Chunk("BMHD", bmhd));
  for (const Bytes& c : between) inner.Append(c);
  inner.Append(Chunk("BODY", body));
  ByteWriter w;
  w.Text("FORM").BE32(std::uint32_t(inner.Size())).Append(inner.Get());
  return w.Get();
}

}  // namespace

TEST(LightwaveIFFDecoder, RecognisesForm) {
  ExpectClaims<CLightwaveIFFDecoder>({'F', 'O', 'R', 'M'}, {'F', 'O', 'R', '4'}, 2);
}

// (ByteRun1 rows are those of the tool-written files in the decoder tables, whatever the plane
// count.)
TEST(LightwaveIFFDecoder, ThirtyTwoPlanesCarryAlpha) {
  // Width 19 needs two words per plane; two rows.
  Bytes raw;
  std::vector<std::vector<RvPixel>> rows(2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 19; ++x)
      rows[y].push_back(RvMakePixel(std::uint8_t(13 * x + y), std::uint8_t(255 - 7 * x),
                                    std::uint8_t(x * x), std::uint8_t(100 + x + 50 * y)));
    const Bytes planar = PlanarRow(rows[y], 32);
    raw.insert(raw.end(), planar.begin(), planar.end());
  }
  ExpectRows(*Decode<CLightwaveIFFDecoder>(Ilbm(Bmhd(19, 2, 32, 0), raw)), rows);
}

TEST(LightwaveIFFDecoder, ByteRunRunsNoOpsAndCutRuns) {
  // Width 1, 24 planes: a row is 24 planes of 2 bytes. Red 1 (only plane 0 set), green 0,
  // blue 255 (planes 16-23 set).
  Bytes body = {0x00, 0x80};  // one literal byte: plane 0
  body.push_back(0x80);       // -128: no operation
  body.push_back(30);         // 31 literal zero bytes: the rest of red and all of green
  body.insert(body.end(), 31, 0);
  body.insert(body.end(), {0x81, 0x80});  // -127: 128 bytes of 0x80, cut at the row's end
  ExpectPixels(*Decode<CLightwaveIFFDecoder>(Ilbm(Bmhd(1, 1, 24, 1), body)),
               {Px(0, 0, RvMakePixel(1, 0, 255, 255))});
}

TEST(LightwaveIFFDecoder, ChunksBeforeTheBodyAndMaskPlanesAreSkipped) {
  const std::vector<RvPixel> row = {RvMakePixel(1, 2, 3), RvMakePixel(250, 128, 7),
                                    RvMakePixel(9, 8, 7)};
  Bytes planar = PlanarRow(row, 24);
  // A mask plane follows the colour planes of each row.
  Bytes masked = planar;
  masked.insert(masked.end(), {0xFF, 0xFF});
  const Bytes nested = Chunk("FORM", {'I', 'L', 'B', 'M', 'X', 'Y', 'Z', 'W', 0, 0, 0, 1, 9});
  const Bytes odd = Chunk("CAMG", {1, 2, 3});
  auto bitmap = Decode<CLightwaveIFFDecoder>(Ilbm(Bmhd(3, 1, 24, 0, 1), masked, {odd, nested}));
  ExpectRows(*bitmap, {row});  // 24 planes: opaque

  // A header longer than 20 bytes is stepped over whole.
  Bytes longHeader = Bmhd(3, 1, 24, 0);
  longHeader.insert(longHeader.end(), {'B', 'O', 'D', 'Y'});
  EXPECT_EQ(Decode<CLightwaveIFFDecoder>(Ilbm(longHeader, planar))->GetPixel(1, 0),
            RvMakePixel(250, 128, 7, 255));
}

TEST(LightwaveIFFDecoder, HeaderErrorsCarryTheirCodesAndTexts) {
  const Bytes body(48, 0);
  Bytes notForm = Ilbm(Bmhd(1, 1, 24, 0), body);
  notForm[0] = 'X';
  Bytes notIlbm = Ilbm(Bmhd(1, 1, 24, 0), body);
  notIlbm[8] = 'P';
  Bytes notBmhd = Ilbm(Bmhd(1, 1, 24, 0), body);
  notBmhd[12] = 'C';
  ExpectErrorTexts<CLightwaveIFFDecoder>(
      kErrUnsupported,
      {{notForm, "Lightwave IFF format starts with FORM"},
       {notIlbm, "Lightwave IFF format starts with FORM...ILBM"},
       {notBmhd, "Lightwave IFF format starts with FORM...ILBMBMHD"},
       {Ilbm(Bmhd(1, 1, 8, 0), body), "Lightwave IFF only supported with 24/32 bit"},
       {Ilbm(Bmhd(1, 1, 25, 0), body), "Lightwave IFF only supported with 24/32 bit"}});
  EXPECT_EQ(DecodeError<CLightwaveIFFDecoder>(Ilbm(Bmhd(1, 1, 24, 2), body)), kErrUnsupported);
}

TEST(LightwaveIFFDecoder, LyingSizesAreRefused) {
  EXPECT_EQ(DecodeError<CLightwaveIFFDecoder>(Ilbm(Bmhd(65535, 65535, 32, 0), Bytes(10, 0))),
            kErrFormat);
  EXPECT_EQ(DecodeError<CLightwaveIFFDecoder>(Ilbm(Bmhd(3000, 3000, 32, 1), Bytes(10, 0))),
            kErrFormat);
  EXPECT_EQ(DecodeError<CLightwaveIFFDecoder>(Ilbm(Bmhd(0, 3, 24, 0), Bytes(10, 0))), kErrFormat);
  // A chunk before the body claiming more than the file holds.
  const Bytes huge = {'C', 'M', 'A', 'P', 0x7F, 0, 0, 0};
  EXPECT_EQ(DecodeError<CLightwaveIFFDecoder>(Ilbm(Bmhd(1, 1, 24, 0), Bytes(48, 0), {huge})),
            kErrEndOfFile);
}
