#include "imaging/decoders/PCXDecoder.h"

#include <gtest/gtest.h>

#include "DecoderTestSupport.h"

using namespace dectest;

namespace {

struct PcxLayout {
  int bits = 8;
  int planes = 1;
  int width = 1;
  int height = 1;
  int bytesPerLine = -1;  // -1: just enough for the row
  int encoding = 1;
  int xmin = 0;
  int ymin = 0;
};

// The 16-entry header palette: entry i is (16 i, 255 - 16 i, i).
Bytes MakePcx(const PcxLayout& s, const Bytes& encoded) {
  const int bpl = s.bytesPerLine >= 0 ? s.bytesPerLine : (s.width * s.bits + 7) / 8;
  ByteWriter w;
  w.U8(0x0A).U8(5).U8(s.encoding).U8(s.bits);
  w.LE16(s.xmin).LE16(s.ymin).LE16(s.xmin + s.width - 1).LE16(s.ymin + s.height - 1);
  w.LE16(72).LE16(72);
  for (int i = 0; i < 16; ++i) w.U8(16 * i).U8(255 - 16 * i).U8(i);
  w.U8(0).U8(s.planes).LE16(bpl).LE16(1);
  w.Zeros(128 - w.Size());
  w.Append(encoded);
  return w.Get();
}

}  // namespace

// One-bit, two-bit packed (like four-bit packed, through the header palette), four-plane, 8-bit
// and 24-bit pictures are those of the tool-written files in the decoder tables.
TEST(PCXDecoder, RunsAndTheColourTable) {
  PcxLayout s;
  s.width = 3;
  s.height = 2;
  // A run of four 2s crosses the row end, then a literal 1 and a run-coded 0xC5 (which needs
  // the run form to be stored at all).
  Bytes data = {0xC4, 2, 1, 0xC1, 0xC5};
  ByteWriter table;
  table.U8(0x0C);
  for (int i = 0; i < 256; ++i) table.U8(i).U8(0).U8(255 - i);
  Bytes file = MakePcx(s, data);
  const Bytes tableBytes = table.Get();
  Bytes withTable = file;
  withTable.insert(withTable.end(), tableBytes.begin(), tableBytes.end());
  ExpectPixels(*Decode<CPCXDecoder>(withTable),
               {Px(2, 0, RvMakePixel(2, 0, 253)), Px(0, 1, RvMakePixel(2, 0, 253)),
                Px(1, 1, RvMakePixel(1, 0, 254)), Px(2, 1, RvMakePixel(0xC5, 0, 255 - 0xC5))});

  // A table placed at the end of the file after some stray bytes is still found.
  Bytes padded = file;
  padded.insert(padded.end(), {0, 0, 0});
  padded.insert(padded.end(), tableBytes.begin(), tableBytes.end());
  ExpectPixels(*Decode<CPCXDecoder>(padded), {Px(0, 0, RvMakePixel(2, 0, 253))});

  std::string text;
  Bytes badSignature = withTable;
  badSignature[file.size()] = 0x0D;
  EXPECT_EQ(DecodeError<CPCXDecoder>(badSignature, &text), kErrCorrupt);
  EXPECT_EQ(text, "Decoder error: bad color map signature.\n");
  EXPECT_EQ(DecodeError<CPCXDecoder>(file), kErrEndOfFile);
  EXPECT_EQ(DecodeError<CPCXDecoder>(Bytes(withTable.begin(), withTable.end() - 100)),
            kErrEndOfFile);
}

TEST(PCXDecoder, HeaderErrorsCarryTheirCodesAndTexts) {
  PcxLayout s;
  Bytes notPcx = MakePcx(s, {1});
  notPcx[0] = 0x0B;
  s.encoding = 0;
  ExpectErrorTexts<CPCXDecoder>(
      kErrWrongSignature,
      {{notPcx, "Decoder error: Error decoding pcx: Not a PCX file.\n"},
       {MakePcx(s, {1}), "Decoder error: File has unknown encoding scheme.\n"}});
  // Eight pixels of the given bits and planes, with room for any of them.
  auto combo = [](int bits, int planes) {
    PcxLayout c;
    c.bits = bits;
    c.planes = planes;
    c.width = c.bytesPerLine = 8;
    return MakePcx(c, Bytes(64, 0));
  };
  const std::string planesText = "Decoder error: Can't handle bits per pixel image with planes.\n";
  ExpectErrorTexts<CPCXDecoder>(
      kErrFormat, {{combo(1, 5), "Decoder error: Can't handle image with more than 4 planes.\n"},
                   {combo(1, 0), planesText},
                   {combo(8, 2), planesText},
                   {combo(16, 1), planesText}});
  ExpectErrorTexts<CPCXDecoder>(
      kErrCorrupt, {{combo(2, 3), "Decoder error: Can't handle more than 1 bit per pixel.\n"}});
}

TEST(PCXDecoder, RunsPastTheImageAndLyingSizes) {
  PcxLayout s;
  s.bits = 1;
  s.width = 8;
  s.height = 2;
  std::string text;
  EXPECT_EQ(DecodeError<CPCXDecoder>(MakePcx(s, {0xFF, 0xC3, 1}), &text), kErrCorrupt);
  EXPECT_EQ(text, "Decoder error: repeat count spans end of image.\n");

  // Bytes per line too small for the width would make rows read into each other.
  s.bytesPerLine = 0;
  EXPECT_EQ(DecodeError<CPCXDecoder>(MakePcx(s, {1, 2})), kErrFormat);

  PcxLayout huge;
  huge.width = 65535;
  huge.height = 65535;
  huge.planes = 3;
  EXPECT_EQ(DecodeError<CPCXDecoder>(MakePcx(huge, {0xFF, 0})), kErrFormat);
  // xmax below xmin gives no pixels.
  PcxLayout empty;
  empty.xmin = 10;
  empty.width = -3;
  EXPECT_EQ(DecodeError<CPCXDecoder>(MakePcx(empty, {1})), kErrFormat);
}
