#include "imaging/decoders/MayaIFFDecoder.h"

#include <gtest/gtest.h>

#include "DecoderTestUtil.h"

using namespace dectest;

namespace {

Bytes Chunk(const std::string& tag, const Bytes& data) {
  ByteWriter w;
  w.Text(tag).BE32(std::uint32_t(data.size())).Append(data);
  while (w.Size() % 4) w.U8(0);
  return w.Get();
}

Bytes Group(const std::string& type, const std::vector<Bytes>& children) {
  ByteWriter body;
  body.Text(type);
  for (const Bytes& c : children) body.Append(c);
  return Chunk("FOR4", body.Get());
}

Bytes Tbhd(std::uint32_t width, std::uint32_t height, std::uint32_t flags, int tiles,
           std::uint32_t compression = 0) {
  ByteWriter w;
  w.BE32(width).BE32(height).BE16(1).BE16(1).BE32(flags).BE16(0).BE16(tiles).BE32(compression);
  w.BE32(0).BE32(0);
  return Chunk("TBHD", w.Get());
}

Bytes Tile(const std::string& tag, int x1, int y1, int x2, int y2, const Bytes& data) {
  ByteWriter w;
  w.BE16(x1).BE16(y1).BE16(x2).BE16(y2).Append(data);
  return Chunk(tag, w.Get());
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
  CMayaIFFDecoder decoder;
  const std::uint8_t yes[4] = {'F', 'O', 'R', '4'};
  const std::uint8_t no[4] = {'F', 'O', 'R', 'M'};
  EXPECT_TRUE(decoder.CanDecode(yes, 4));
  EXPECT_FALSE(decoder.CanDecode(no, 4));
  EXPECT_FALSE(decoder.CanDecode(yes, 3));
}

TEST(MayaIFFDecoder, VerbatimTilesWithAndWithoutAlpha) {
  // A 2x2 RGBA tile: per pixel alpha, blue, green, red; tile row 0 is the image's bottom row.
  const Bytes pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  auto rgba =
      Decode<CMayaIFFDecoder>(MayaFile(Tbhd(2, 2, kRgba, 1), {Tile("RGBA", 0, 0, 1, 1, pixels)}));
  EXPECT_EQ(rgba->GetBitsPerPixel(), 32);
  EXPECT_TRUE(rgba->HasAlpha());
  EXPECT_EQ(rgba->GetPixel(0, 1), RvMakePixel(4, 3, 2, 1));
  EXPECT_EQ(rgba->GetPixel(1, 1), RvMakePixel(8, 7, 6, 5));
  EXPECT_EQ(rgba->GetPixel(0, 0), RvMakePixel(12, 11, 10, 9));

  // Without alpha: blue, green, red, and alpha is opaque. Odd width, one row.
  const Bytes rgb = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  auto plain =
      Decode<CMayaIFFDecoder>(MayaFile(Tbhd(3, 1, kRgb, 1), {Tile("RGBA", 0, 0, 2, 0, rgb)}));
  EXPECT_EQ(plain->GetPixel(0, 0), RvMakePixel(3, 2, 1, 255));
  EXPECT_EQ(plain->GetPixel(2, 0), RvMakePixel(9, 8, 7, 255));
}

TEST(MayaIFFDecoder, RunLengthTilesGoChannelByChannel) {
  // A 3x2 RGB tile, 18 bytes raw; encoded: blue run of 6, green literal 6, red run of 4 then
  // run of 2 (the runs carry over the tile's row end).
  const Bytes data = {0x85, 10, 0x05, 1, 2, 3, 4, 5, 6, 0x83, 20, 0x81, 30};
  auto bitmap =
      Decode<CMayaIFFDecoder>(MayaFile(Tbhd(3, 2, kRgb, 1), {Tile("RGBA", 0, 0, 2, 1, data)}));
  // Tile row 0 (bottom): green 1 2 3, red 20 20 20; row 1 (top): green 4 5 6, red 20 30 30.
  EXPECT_EQ(bitmap->GetPixel(0, 1), RvMakePixel(20, 1, 10, 255));
  EXPECT_EQ(bitmap->GetPixel(2, 1), RvMakePixel(20, 3, 10, 255));
  EXPECT_EQ(bitmap->GetPixel(0, 0), RvMakePixel(20, 4, 10, 255));
  EXPECT_EQ(bitmap->GetPixel(1, 0), RvMakePixel(30, 5, 10, 255));

  // With alpha the first channel is alpha; a run longer than the tile is cut at its end.
  const Bytes withAlpha = {0xFF, 99, 0x83, 1, 0x83, 2, 0x83, 3};
  auto four = Decode<CMayaIFFDecoder>(
      MayaFile(Tbhd(2, 2, kRgba, 1), {Tile("RGBA", 0, 0, 1, 1, withAlpha)}));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(four->GetPixel(x, y), RvMakePixel(3, 2, 1, 99));
}

TEST(MayaIFFDecoder, TilesArePlacedAndDepthTilesAreNotCounted) {
  // Two 1x1 tiles with a depth buffer between; the count of 2 covers only the colour tiles.
  // Chunks before the header (one of odd size) are stepped over.
  const Bytes file = MayaFile(
      Tbhd(2, 1, kRgb, 2),
      {Tile("RGBA", 0, 0, 0, 0, {1, 2, 3}), Tile("ZBUF", 0, 0, 1, 0, {0, 0, 0, 0, 0, 0, 0, 0}),
       Tile("RGBA", 1, 0, 1, 0, {4, 5, 6})},
      {Chunk("AUTH", {'m', 'e', '!'}), Chunk("DATE", {1, 2, 3, 4, 5})});
  auto bitmap = Decode<CMayaIFFDecoder>(file);
  EXPECT_EQ(bitmap->GetPixel(0, 0), RvMakePixel(3, 2, 1, 255));
  EXPECT_EQ(bitmap->GetPixel(1, 0), RvMakePixel(6, 5, 4, 255));

  // Other tiles are skipped but counted: with a count of 1 the RGBA tile after one is unread.
  const Bytes skipped = MayaFile(Tbhd(1, 1, kRgb, 1), {Tile("XTRA", 0, 0, 0, 0, {9, 9, 9}),
                                                       Tile("RGBA", 0, 0, 0, 0, {1, 2, 3})});
  EXPECT_EQ(Decode<CMayaIFFDecoder>(skipped)->GetPixel(0, 0), RvMakePixel(0, 0, 0, 255));
}

TEST(MayaIFFDecoder, HeaderErrorsCarryTheirCodesAndTexts) {
  const Bytes tile = Tile("RGBA", 0, 0, 0, 0, {1, 2, 3});
  struct Case {
    Bytes file;
    const char* text;
  };
  Bytes notFor4 = MayaFile(Tbhd(1, 1, kRgb, 1), {tile});
  notFor4[3] = 'M';
  const Case cases[] = {
      {notFor4, "Maya IFF format starts with FOR4"},
      {Group("ILBM", {Tbhd(1, 1, kRgb, 1)}), "Maya IFF format uses CIMG"},
      {MayaFile(Tbhd(1, 1, kRgb, 1, 2), {tile}),
       "Maya IFF format unsupported compression format > 1"},
      {MayaFile(Tbhd(1, 1, 2, 1), {tile}), "Maya IFF format currently only RGB and RGBA supported"},
  };
  for (const Case& c : cases) {
    std::string text;
    EXPECT_EQ(DecodeError<CMayaIFFDecoder>(c.file, &text), kErrUnsupported) << c.text;
    EXPECT_EQ(text, c.text);
  }
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
  EXPECT_NO_THROW(Decode<CMayaIFFDecoder>(file));
  for (std::size_t cut = 0; cut < file.size() - 3; cut += 3)
    EXPECT_EQ(DecodeError<CMayaIFFDecoder>(Bytes(file.begin(), file.begin() + cut)), kErrEndOfFile)
        << cut;
}

// Files oiiotool wrote (see COMMANDS.txt), compared with oiiotool's decode. Its 2.4 reader
// misreads two kinds of its own files: verbatim 16-bit tiles (zeros) and the alpha of
// run-length 16-bit tiles (high and low bytes swapped against its writer and other readers);
// those are compared with its decode of the picture they were written from.
struct ToolFile {
  const char* file;
  const char* reference;
};

class MayaIFFToolFile : public ::testing::TestWithParam<ToolFile> {};

TEST_P(MayaIFFToolFile, MatchesOiiotoolsDecode) {
  auto bitmap = Decode<CMayaIFFDecoder>(DataBytes(GetParam().file));
  std::vector<double> ref;
  int channels = 0;
  std::string why;
  if (!OiioSamples(DataFile(GetParam().reference), &ref, &channels, &why)) GTEST_SKIP() << why;
  const int w = bitmap->GetWidth();
  ASSERT_EQ(ref.size(), std::size_t(w) * std::size_t(bitmap->GetHeight()) * std::size_t(channels));
  // 8-bit samples as stored, 16-bit ones truncated like SGI's; without alpha, opaque.
  const bool wide = std::string(GetParam().file).find("16") != std::string::npos;
  ASSERT_NE(ref.size(), 0u);
  for (std::size_t i = 0; i < ref.size() / std::size_t(channels); ++i) {
    const double* r = &ref[i * std::size_t(channels)];
    auto scale = [&](double v) { return int(wide ? std::uint32_t(v) / 257 : std::uint32_t(v)); };
    const RvPixel want =
        RvMakePixel(scale(r[0]), scale(r[1]), scale(r[2]), channels == 4 ? scale(r[3]) : 255);
    ASSERT_EQ(bitmap->GetPixel(int(i % std::size_t(w)), int(i / std::size_t(w))), want) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Files, MayaIFFToolFile,
                         ::testing::Values(ToolFile{"maya24rle.iff", "maya24rle.iff"},
                                           ToolFile{"maya16rle.iff", "maya16rle.iff"},
                                           ToolFile{"maya16.iff", "src16.png"},
                                           ToolFile{"mayaa16rle.iff", "srca16.png"},
                                           ToolFile{"mayaa16.iff", "srca16.png"}));
