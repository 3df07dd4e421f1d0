#include "imaging/decoders/MayaIFFDecoder.h"

#include <gtest/gtest.h>

#include "DecoderTestSupport.h"

using namespace dectest;

namespace {

Bytes Group(const std::string& type, const std::vector<Bytes>& children) {
  ByteWriter body;
  body.Text(type);
  for (const Bytes& c : children) body.Append(c);
  return IffChunk("FOR4", body.Get());
}

Bytes Tbhd(std::uint32_t width, std::uint32_t height, std::uint32_t flags, int tiles,
           std::uint32_t compression = 0) {
  ByteWriter w;
  w.BE32(width).BE32(height).BE16(1).BE16(1).BE32(flags).BE16(0).BE16(tiles).BE32(compression);
  w.BE32(0).BE32(0);
  return IffChunk("TBHD", w.Get());
}

Bytes Tile(const std::string& tag, int x1, int y1, int x2, int y2, const Bytes& data) {
  ByteWriter w;
  w.BE16(x1).BE16(y1).BE16(x2).BE16(y2).Append(data);
  return IffChunk(tag, w.Get());
}

Bytes MayaFile(const Bytes& tbhd, const std::vector<Bytes>& tiles,
               const std::vector<Bytes>& before = {}) {
  std::vector<Bytes> children = before;
  children.push_back(tbhd);
  children.push_back(Group("TBMP", tiles));
  return Group("CIMG", children);
}

constexpr std::uint32_t kRgb = 1;
constexpr std::uint32_t kRgba = 3;

}  // namespace

TEST(MayaIFFDecoder, RecognisesFor4) {
  ExpectClaims<CMayaIFFDecoder>({'F', 'O', 'R', '4'}, {'F', 'O', 'R', 'M'}, 3);
}

// (Run-length tiles are compared with a reference decoder in RleDifferentialTest.)
TEST(MayaIFFDecoder, VerbatimTilesWithAndWithoutAlpha) {
  // A 2x2 RGBA tile: per pixel alpha, blue, green, red; tile row 0 is the image's bottom row.
  const Bytes pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  auto rgba =
      Decode<CMayaIFFDecoder>(MayaFile(Tbhd(2, 2, kRgba, 1), {Tile("RGBA", 0, 0, 1, 1, pixels)}));
  EXPECT_EQ(rgba->GetBitsPerPixel(), 32);
  EXPECT_TRUE(rgba->HasAlpha());
  ExpectPixels(*rgba, {Px(0, 1, RvMakePixel(4, 3, 2, 1)), Px(1, 1, RvMakePixel(8, 7, 6, 5)),
                       Px(0, 0, RvMakePixel(12, 11, 10, 9))});

  // Without alpha: blue, green, red, and alpha is opaque. Odd width, one row.
  const Bytes rgb = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  auto plain =
      Decode<CMayaIFFDecoder>(MayaFile(Tbhd(3, 1, kRgb, 1), {Tile("RGBA", 0, 0, 2, 0, rgb)}));
  ExpectPixels(*plain, {Px(0, 0, RvMakePixel(3, 2, 1, 255)), Px(2, 0, RvMakePixel(9, 8, 7, 255))});
}

TEST(MayaIFFDecoder, TilesArePlacedAndDepthTilesAreNotCounted) {
  // Two 1x1 tiles with a depth buffer between; the count of 2 covers only the colour tiles.
  // Chunks before the header (one of odd size) are stepped over.
  const Bytes file = MayaFile(
      Tbhd(2, 1, kRgb, 2),
      {Tile("RGBA", 0, 0, 0, 0, {1, 2, 3}), Tile("ZBUF", 0, 0, 1, 0, {0, 0, 0, 0, 0, 0, 0, 0}),
       Tile("RGBA", 1, 0, 1, 0, {4, 5, 6})},
      {IffChunk("AUTH", {'m', 'e', '!'}), IffChunk("DATE", {1, 2, 3, 4, 5})});
  ExpectRows(*Decode<CMayaIFFDecoder>(file), {{RvMakePixel(3, 2, 1), RvMakePixel(6, 5, 4)}});

  // Other tiles are skipped but counted: with a count of 1 the RGBA tile after one is unread.
  const Bytes skipped = MayaFile(Tbhd(1, 1, kRgb, 1), {Tile("XTRA", 0, 0, 0, 0, {9, 9, 9}),
                                                       Tile("RGBA", 0, 0, 0, 0, {1, 2, 3})});
  ExpectPixels(*Decode<CMayaIFFDecoder>(skipped), {Px(0, 0, RvMakePixel(0, 0, 0, 255))});
}

TEST(MayaIFFDecoder, HeaderErrorsCarryTheirCodesAndTexts) {
  const Bytes tile = Tile("RGBA", 0, 0, 0, 0, {1, 2, 3});
  Bytes notFor4 = MayaFile(Tbhd(1, 1, kRgb, 1), {tile});
  notFor4[3] = 'M';
  ExpectErrorTexts<CMayaIFFDecoder>(
      kErrUnsupported, {{notFor4, "Maya IFF format starts with FOR4"},
                        {Group("ILBM", {Tbhd(1, 1, kRgb, 1)}), "Maya IFF format uses CIMG"},
                        {MayaFile(Tbhd(1, 1, kRgb, 1, 2), {tile}),
                         "Maya IFF format unsupported compression format > 1"},
                        {MayaFile(Tbhd(1, 1, 2, 1), {tile}),
                         "Maya IFF format currently only RGB and RGBA supported"}});
}

TEST(MayaIFFDecoder, LyingTilesSizesAndTruncatedFiles) {
  // A tile outside the image, or with its corners the wrong way round.
  EXPECT_EQ(DecodeError<CMayaIFFDecoder>(
                MayaFile(Tbhd(2, 2, kRgb, 1), {Tile("RGBA", 1, 1, 2, 1, {1, 2, 3, 4, 5, 6})})),
            kErrFormat);
  EXPECT_EQ(DecodeError<CMayaIFFDecoder>(
                MayaFile(Tbhd(2, 2, kRgb, 1), {Tile("RGBA", 1, 0, 0, 0, {1, 2, 3})})),
            kErrFormat);
  // Sizes the file could not describe.
  EXPECT_EQ(DecodeError<CMayaIFFDecoder>(MayaFile(Tbhd(100000, 100000, kRgba, 0), {})), kErrFormat);
  EXPECT_EQ(DecodeError<CMayaIFFDecoder>(MayaFile(Tbhd(4000, 4000, kRgba, 0), {})), kErrFormat);
  EXPECT_EQ(DecodeError<CMayaIFFDecoder>(MayaFile(Tbhd(0, 4, kRgba, 0), {})), kErrFormat);
  // More tiles claimed than present.
  EXPECT_EQ(DecodeError<CMayaIFFDecoder>(
                MayaFile(Tbhd(1, 1, kRgb, 2), {Tile("RGBA", 0, 0, 0, 0, {1, 2, 3})})),
            kErrEndOfFile);
  // A run-length tile whose data stops early, and a tile chunk claiming more than the file.
  EXPECT_EQ(DecodeError<CMayaIFFDecoder>(
                MayaFile(Tbhd(3, 1, kRgb, 1), {Tile("RGBA", 0, 0, 2, 0, {0x82, 1})})),
            kErrEndOfFile);
  // A tile chunk claiming to run far past the file looks verbatim by its size; its data then
  // ends early.
  Bytes longTile =
      MayaFile(Tbhd(3, 1, kRgb, 1), {Tile("RGBA", 0, 0, 2, 0, {0x82, 1, 0x82, 2, 0x82, 3})});
  longTile[longTile.size() - 20] = 0x7F;  // the tile chunk's size
  EXPECT_EQ(DecodeError<CMayaIFFDecoder>(longTile), kErrEndOfFile);

  const Bytes file = MayaFile(Tbhd(4, 2, kRgba, 2),
                              {Tile("RGBA", 0, 0, 1, 1, Bytes(16, 7)),
                               Tile("RGBA", 2, 0, 3, 1, {0x83, 5, 0x83, 6, 0x83, 7, 0x83, 8})});
  ExpectCutsFail([](const Bytes& b) { return Decode<CMayaIFFDecoder>(b); }, file, {kErrEndOfFile},
                 false, 0, file.size() - 3, 3);
}
