#include "imaging/decoders/TGADecoder.h"

#include <gtest/gtest.h>

#include "DecoderTestSupport.h"

using namespace dectest;

namespace {

struct TgaLayout {
  int type = 2;
  int width = 1;
  int height = 1;
  int depth = 24;
  int descriptor = 0;
  int mapType = 0;
  int mapFirst = 0;
  int mapLength = 0;
  int mapEntryBits = 0;
  Bytes map;
};

Bytes MakeTga(const TgaLayout& s, const Bytes& data) {
  ByteWriter w;
  w.U8(0).U8(s.mapType).U8(s.type).LE16(s.mapFirst).LE16(s.mapLength);
  w.U8(s.mapEntryBits).LE16(0).LE16(0).LE16(s.width).LE16(s.height).U8(s.depth).U8(s.descriptor);
  w.Append(s.map).Append(data);
  return w.Get();
}

std::unique_ptr<CImageBitmap> Tga(const TgaLayout& s, const Bytes& data, int bpp = 0) {
  return Decode<CTGADecoder>(MakeTga(s, data), bpp);
}

}  // namespace

// Row order, identification field, 24- and 32-bit pixels, grey and 24-bit colour maps are those
// of the tool-written files in the decoder tables; run-length packets are compared with a
// reference decoder in RleDifferentialTest.
TEST(TGADecoder, SixteenAndFifteenBitPixels) {
  TgaLayout s;
  s.width = 2;
  s.descriptor = 0x20;
  // 16 bits: the attribute bit gives alpha 128, its absence 0; 15 bits are opaque.
  s.depth = 16;
  auto sixteen = Tga(s, {0x00, 0xFC, 0x1F, 0x00});
  EXPECT_TRUE(sixteen->HasAlpha());
  ExpectRows(*sixteen, {{RvMakePixel(248, 0, 0, 128), RvMakePixel(0, 0, 248, 0)}});
  s.depth = 15;
  auto fifteen = Tga(s, {0x00, 0xFC, 0xE0, 0x03});
  EXPECT_FALSE(fifteen->HasAlpha());
  ExpectRows(*fifteen, {{RvMakePixel(248, 0, 0, 255), RvMakePixel(0, 248, 0, 255)}});
}

TEST(TGADecoder, ColourMapsOfEverySizeAndBeyondTheirRoom) {
  TgaLayout s;
  s.type = 1;
  s.depth = 8;
  s.width = 3;
  s.mapType = 1;
  s.mapFirst = 2;
  s.mapLength = 2;
  s.mapEntryBits = 24;
  s.map = {1, 2, 3, 4, 5, 6};
  auto bitmap = Tga(s, {2, 3, 0});
  ASSERT_EQ(bitmap->GetBitsPerPixel(), 8);
  ExpectPixels(*bitmap, {Px(1, 0, 3)});
  EXPECT_EQ(bitmap->GetPalette()[2], RvMakePixel(3, 2, 1));
  EXPECT_EQ(bitmap->GetPalette()[3], RvMakePixel(6, 5, 4));
  ExpectPixels(*Tga(s, {2, 3, 0}, 32), {Px(0, 0, RvMakePixel(3, 2, 1))});
  // 16-bit entries, and a map reaching past entry 255: the extra entries are read past.
  s.mapEntryBits = 16;
  s.mapFirst = 254;
  s.mapLength = 4;
  s.map = {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0xFF, 0x7F};
  auto wide = Tga(s, {254, 255, 0});
  EXPECT_EQ(wide->GetPalette()[254] & 0xFFFFFF, RvMakePixel(248, 0, 0) & 0xFFFFFF);
  EXPECT_EQ(wide->GetPalette()[255] & 0xFFFFFF, RvMakePixel(0, 248, 0) & 0xFFFFFF);
  ExpectPixels(*wide, {Px(2, 0, 0)});
}

TEST(TGADecoder, RefusedHeaders) {
  TgaLayout s;
  std::string text;
  for (int type : {0, 4, 8, 12, 32}) {
    s.type = type;
    EXPECT_EQ(DecodeError<CTGADecoder>(MakeTga(s, {1, 2, 3}), &text), kErrFormat) << type;
    EXPECT_EQ(text, "Decoder error: Unknown TGA image type.\n");
  }
  s.type = 2;
  s.depth = 12;
  EXPECT_EQ(DecodeError<CTGADecoder>(MakeTga(s, {1, 2, 3})), kErrFormat);
  // Sizes the data cannot fill are refused before allocating.
  s.depth = 24;
  s.width = s.height = 65535;
  EXPECT_EQ(DecodeError<CTGADecoder>(MakeTga(s, {1, 2, 3})), kErrFormat);
  s.type = 10;
  EXPECT_EQ(DecodeError<CTGADecoder>(MakeTga(s, {0xFF, 1, 2, 3})), kErrFormat);
  s.width = 0;
  EXPECT_EQ(DecodeError<CTGADecoder>(MakeTga(s, {})), kErrFormat);
  // A colour map longer than the file.
  TgaLayout m;
  m.mapType = 1;
  m.mapLength = 60000;
  m.mapEntryBits = 32;
  EXPECT_EQ(DecodeError<CTGADecoder>(MakeTga(m, {1, 2, 3})), kErrEndOfFile);
}
