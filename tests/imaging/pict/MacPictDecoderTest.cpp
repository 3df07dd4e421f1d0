#include <gtest/gtest.h>

#include <tuple>

#include "DecoderTestSupport.h"
#include "imaging/decoders/JPEGDecoder.h"
#include "imaging/decoders/MacPictDecoder.h"

using namespace dectest;

namespace {

std::unique_ptr<CImageBitmap> DecodeBytes(const Bytes& bytes, int bpp = 0) {
  return Decode<CMacPictDecoder>(bytes, bpp);
}
int DecodeError(const Bytes& bytes, std::string* text = nullptr) {
  return dectest::DecodeError<CMacPictDecoder>(bytes, text);
}

// Writes QuickDraw pictures for the cases no outside tool writes.
class PictWriter {
 public:
  explicit PictWriter(int version = 2, int width = 8, int height = 4) : m_version(version) {
    m_data.assign(512, 0);
    Word(0);
    Rect(0, 0, height, width);
    if (version == 2) {
      Word(0x0011);
      Word(0x02FF);
      Word(0x0C00);
      for (int i = 0; i < 12; ++i) Word(0);
    } else {
      Byte(0x11);
      Byte(0x01);
    }
  }
  PictWriter& Byte(int v) {
    m_data.push_back(std::uint8_t(v));
    return *this;
  }
  PictWriter& Word(int v) { return Byte(v >> 8).Byte(v); }
  PictWriter& Long(std::uint32_t v) { return Word(int(v >> 16)).Word(int(v & 0xFFFF)); }
  PictWriter& Rect(int top, int left, int bottom, int right) {
    return Word(top).Word(left).Word(bottom).Word(right);
  }
  PictWriter& Append(const Bytes& b) {
    m_data.insert(m_data.end(), b.begin(), b.end());
    return *this;
  }
  PictWriter& Op(int opcode) {
    if (m_version == 2) {
      if (m_data.size() & 1) Byte(0);
      return Word(opcode);
    }
    return Byte(opcode);
  }
  // A pixel map record (without base address) of the given depth.
  PictWriter& PixMap(int rowBytes, int height, int width, int packType, int pixelSize,
                     int cmpCount) {
    Word(0x8000 | rowBytes).Rect(0, 0, height, width);
    Word(0).Word(packType).Long(0).Long(72 << 16).Long(72 << 16);
    Word(pixelSize > 8 ? 16 : 0).Word(pixelSize).Word(cmpCount).Word(pixelSize > 8 ? 8 : pixelSize);
    return Long(0).Long(0).Long(0);
  }
  PictWriter& ColourTable(const std::vector<RvPixel>& entries) {
    Long(0).Word(0).Word(int(entries.size()) - 1);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      Word(int(i));
      Word(RvPixelRed(entries[i]) * 257).Word(RvPixelGreen(entries[i]) * 257);
      Word(RvPixelBlue(entries[i]) * 257);
    }
    return *this;
  }
  Bytes End() {
    Op(0x00FF);
    return m_data;
  }

 private:
  int m_version;
  Bytes m_data;
};

// PackBits with literal runs only: a valid encoding that any reader must accept.
Bytes PackLiteral(const Bytes& row, std::size_t unit = 1) {
  Bytes out;
  for (std::size_t i = 0; i < row.size();) {
    const std::size_t n = std::min<std::size_t>(128 * unit, row.size() - i) / unit;
    out.push_back(std::uint8_t(n - 1));
    out.insert(out.end(), row.begin() + i, row.begin() + i + n * unit);
    i += n * unit;
  }
  return out;
}

// A packed row with its byte count (one byte for rowBytes up to 250).
Bytes CountedRow(const Bytes& packed) {
  Bytes out{std::uint8_t(packed.size())};
  out.insert(out.end(), packed.begin(), packed.end());
  return out;
}

const std::vector<RvPixel> kFourColours = {RvMakePixel(255, 255, 255), RvMakePixel(255, 0, 0),
                                           RvMakePixel(0, 128, 0), RvMakePixel(0, 0, 0)};

// An 8 x 4 PackBitsRect picture with 2-bit pixels: row y holds the index (x + y) % 4.
PictWriter TwoBitPicture() {
  PictWriter w(2, 8, 4);
  w.Op(0x98).PixMap(2, 4, 8, 0, 2, 1).ColourTable(kFourColours);
  w.Rect(0, 0, 4, 8).Rect(0, 0, 4, 8).Word(0);
  for (int y = 0; y < 4; ++y) {
    Bytes row(2, 0);
    for (int x = 0; x < 8; ++x) row[x / 4] |= std::uint8_t(((x + y) % 4) << (6 - 2 * (x % 4)));
    w.Append(row);  // rows under 8 bytes are stored unpacked
  }
  return w;
}

}  // namespace

// --- QuickTime JPEG pictures (their other tool files are in the decoder tables). ---

TEST(MacPictReference, QuickTimeJpegMatchesTheJpegDecoderAndIsPlacedByItsMatrix) {
  const auto direct = Decode<CJPEGDecoder>(DataBytes("pict/rgb37x23.jpg"), 32);
  const auto b = DecodeBytes(DataBytes("pict/jpeg37x23.pict"));
  EXPECT_EQ(b->GetBitsPerPixel(), 32);
  ExpectSamePicture(RgbaOf(*b), RgbaOf(*direct), -1);

  // The same JPEG moved to 5, 3 in a 50 x 30 frame.
  const auto offset = DecodeBytes(DataBytes("pict/jpeg-offset.pict"));
  ASSERT_EQ(offset->GetWidth(), 50);
  ASSERT_EQ(offset->GetHeight(), 30);
  ExpectPixels(
      *offset,
      {Px(0, 0, 0xFFFFFF), Px(4, 2, 0xFFFFFF), Px(49, 29, 0xFFFFFF), Px(5 + 37, 3, 0xFFFFFF),
       Px(5, 3, direct->GetPixel(0, 0)), Px(5 + 36, 3 + 22, direct->GetPixel(36, 22))},
      false, 0xFFFFFF);
}

// --- Pictures built here. ---

TEST(MacPictIndexed, VersionOneBitmapIsBlackOnWhite) {
  PictWriter w(1, 10, 3);
  w.Op(0x90).Word(2).Rect(0, 0, 3, 10).Rect(0, 0, 3, 10).Rect(0, 0, 3, 10).Word(0);
  w.Append({0xA0, 0x40}).Append({0xFF, 0xC0}).Append({0x00, 0x00});
  const auto b = DecodeBytes(w.End());
  ASSERT_EQ(b->GetBitsPerPixel(), 8);
  ASSERT_EQ(b->GetWidth(), 10);
  ExpectPixels(*b,
               {Px(0, 0, RvMakePixel(0, 0, 0)), Px(1, 0, RvMakePixel(255, 255, 255)),
                Px(2, 0, RvMakePixel(0, 0, 0)), Px(9, 0, RvMakePixel(0, 0, 0)),
                Px(9, 1, RvMakePixel(0, 0, 0)), Px(5, 2, RvMakePixel(255, 255, 255))},
               true);
}

// (Packed 8-bit rows are in the decoder tables; all depths under 8 bits share one expansion.)
TEST(MacPictIndexed, TwoBitPixelsUseTheColourTable) {
  const auto two = DecodeBytes(TwoBitPicture().End());
  ASSERT_EQ(two->GetBitsPerPixel(), 8);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(ColourAt(*two, x, y), kFourColours[(x + y) % 4]);
  // 32 bits when asked for.
  const auto wide = DecodeBytes(TwoBitPicture().End(), 32);
  EXPECT_EQ(wide->GetBitsPerPixel(), 32);
  EXPECT_EQ(wide->GetPixel(1, 0), kFourColours[1]);
}

TEST(MacPictIndexed, RepeatRunsAndRegionFormsDecode) {
  PictWriter w(2, 12, 2);
  w.Op(0x99).PixMap(12, 2, 12, 0, 8, 1).ColourTable(kFourColours);
  w.Rect(0, 0, 2, 12).Rect(0, 0, 2, 12).Word(0);
  w.Word(10).Rect(0, 0, 2, 12);                          // a rectangular mask region
  w.Append(CountedRow({0xF5, 0x02, 0x00, 0x01}));        // twelve 2s ... then a literal cut off
  w.Append(CountedRow({0x01, 0x03, 0x01, 0xF7, 0x00}));  // 3, 1, then ten 0s
  const auto b = DecodeBytes(w.End());
  for (int x = 0; x < 12; ++x) EXPECT_EQ(ColourAt(*b, x, 0), kFourColours[2]) << x;
  ExpectPixels(*b, {Px(0, 1, kFourColours[3]), Px(1, 1, kFourColours[1])}, true);
  for (int x = 2; x < 12; ++x) EXPECT_EQ(ColourAt(*b, x, 1), kFourColours[0]) << x;
}

TEST(MacPictIndexed, ImagesSharingATableStayEightBitsOtherwiseThirtyTwo) {
  auto twoImages = [](const std::vector<RvPixel>& second) {
    PictWriter w(2, 8, 8);
    for (int band = 0; band < 2; ++band) {
      w.Op(0x98).PixMap(2, 4, 8, 0, 2, 1).ColourTable(band == 0 ? kFourColours : second);
      w.Rect(0, 0, 4, 8).Rect(band * 4, 0, band * 4 + 4, 8).Word(0);
      for (int y = 0; y < 4; ++y) w.Append({0x1B, 0x1B});  // indexes 0 1 2 3 0 1 2 3
    }
    return w.End();
  };
  const auto same = DecodeBytes(twoImages(kFourColours));
  EXPECT_EQ(same->GetBitsPerPixel(), 8);
  EXPECT_EQ(ColourAt(*same, 2, 6), kFourColours[2]);

  std::vector<RvPixel> other = kFourColours;
  other[2] = RvMakePixel(1, 2, 3);
  const auto mixed = DecodeBytes(twoImages(other));
  EXPECT_EQ(mixed->GetBitsPerPixel(), 32);
  ExpectPixels(*mixed, {Px(2, 1, kFourColours[2]), Px(2, 6, RvMakePixel(1, 2, 3))});
}

TEST(MacPictIndexed, UncoveredFrameIsWhiteAndScaledImagesRepeatPixels) {
  // A 2 x 2 image drawn 4 x 4 at (2, 1) in an 8 x 6 frame whose table has no white.
  const std::vector<RvPixel> table = {RvMakePixel(10, 20, 30), RvMakePixel(200, 0, 0)};
  PictWriter w(2, 8, 6);
  w.Op(0x98).PixMap(1, 2, 2, 0, 1, 1).ColourTable(table);
  w.Rect(0, 0, 2, 2).Rect(1, 2, 5, 6).Word(0);
  w.Append({0x40}).Append({0x80});  // row 0: 0 1, row 1: 1 0
  const auto b = DecodeBytes(w.End());
  ASSERT_EQ(b->GetBitsPerPixel(), 8);
  ExpectPixels(*b,
               {Px(0, 0, RvMakePixel(255, 255, 255)), Px(7, 5, RvMakePixel(255, 255, 255)),
                Px(2, 1, table[0]), Px(3, 2, table[0]), Px(4, 1, table[1]), Px(5, 2, table[1]),
                Px(2, 3, table[1]), Px(5, 4, table[0]), Px(6, 1, RvMakePixel(255, 255, 255))},
               true);
}

TEST(MacPictDirect, SixteenBitPixelsPackedAndRaw) {
  // 0x7FFF white, 0x7C00 red, 0x4210 = 16/16/16 -> 132 each.
  const std::vector<int> values = {0x7FFF, 0x7C00, 0x03E0, 0x001F, 0x4210};
  Bytes row;
  for (int v : values) row.push_back(std::uint8_t(v >> 8)), row.push_back(std::uint8_t(v));
  for (int packType : {3, 1}) {
    SCOPED_TRACE(packType);
    PictWriter w(2, 5, 1);
    w.Op(0x9A).Long(0xFF).PixMap(10, 1, 5, packType, 16, 3);
    w.Rect(0, 0, 1, 5).Rect(0, 0, 1, 5).Word(0);
    w.Append(packType == 3 ? CountedRow(PackLiteral(row, 2)) : row);
    const auto b = DecodeBytes(w.End());
    ASSERT_EQ(b->GetBitsPerPixel(), 32);
    ExpectPixels(*b, {Px(0, 0, RvMakePixel(255, 255, 255)), Px(1, 0, RvMakePixel(255, 0, 0)),
                      Px(2, 0, RvMakePixel(0, 255, 0)), Px(3, 0, RvMakePixel(0, 0, 255)),
                      Px(4, 0, RvMakePixel(132, 132, 132))});
  }
  // A word repeat: four copies of red.
  PictWriter w(2, 4, 1);
  w.Op(0x9A).Long(0xFF).PixMap(8, 1, 4, 3, 16, 3).Rect(0, 0, 1, 4).Rect(0, 0, 1, 4).Word(0);
  w.Append(CountedRow({0xFD, 0x7C, 0x00}));
  const auto b = DecodeBytes(w.End());
  for (int x = 0; x < 4; ++x) EXPECT_EQ(b->GetPixel(x, 0), RvMakePixel(255, 0, 0));
}

TEST(MacPictDirect, ThirtyTwoBitRawAndPadlessRows) {
  PictWriter raw(2, 2, 1);
  raw.Op(0x9A).Long(0xFF).PixMap(8, 1, 2, 1, 32, 3).Rect(0, 0, 1, 2).Rect(0, 0, 1, 2).Word(0);
  raw.Append({0, 10, 20, 30, 0, 40, 50, 60});
  const auto a = DecodeBytes(raw.End());
  ExpectPixels(*a, {Px(0, 0, RvMakePixel(10, 20, 30)), Px(1, 0, RvMakePixel(40, 50, 60))});
  EXPECT_FALSE(a->HasAlpha());

  PictWriter rgb(2, 3, 1);
  rgb.Op(0x9A).Long(0xFF).PixMap(12, 1, 3, 2, 32, 3).Rect(0, 0, 1, 3).Rect(0, 0, 1, 3).Word(0);
  rgb.Append({1, 2, 3, 4, 5, 6, 7, 8, 9});
  const auto c = DecodeBytes(rgb.End());
  ExpectPixels(*c, {Px(0, 0, RvMakePixel(1, 2, 3)), Px(2, 0, RvMakePixel(7, 8, 9))});
}

TEST(MacPictDirect, AllZeroAlphaMeansOpaque) {
  PictWriter w(2, 3, 1);
  w.Op(0x9A).Long(0xFF).PixMap(12, 1, 3, 4, 32, 4).Rect(0, 0, 1, 3).Rect(0, 0, 1, 3).Word(0);
  w.Append(CountedRow(PackLiteral({0, 0, 0, 9, 8, 7, 1, 2, 3, 4, 5, 6})));
  const auto b = DecodeBytes(w.End());
  EXPECT_FALSE(b->HasAlpha());
  ExpectPixels(*b, {Px(0, 0, RvMakePixel(9, 1, 4, 255)), Px(2, 0, RvMakePixel(7, 3, 6, 255))});
}

TEST(MacPictOpcodes, DrawingOpcodesBeforeTheImageAreSkipped) {
  PictWriter w(2, 8, 4);
  w.Op(0x0001).Word(10).Rect(0, 0, 4, 8);                           // clip region
  w.Op(0x001A).Word(0xFFFF).Word(0).Word(0);                        // foreground colour
  w.Op(0x0012).Word(2).Append(Bytes(8, 0)).Append(Bytes(6, 0x80));  // dither pixel pattern
  // A full pixel pattern: 8 x 8 at 1 bit, its colour table and unpacked rows.
  w.Op(0x0014).Word(1).Append(Bytes(8, 0)).Word(0x8002).Rect(0, 0, 8, 8);
  w.Word(0).Word(0).Long(0).Long(0).Long(0).Word(0).Word(1).Word(1).Word(1).Long(0).Long(0).Long(0);
  w.ColourTable({RvMakePixel(0, 0, 0), RvMakePixel(255, 255, 255)}).Append(Bytes(16, 0xAA));
  w.Op(0x0030).Rect(0, 0, 2, 2);                                           // frame rectangle
  w.Op(0x0060).Rect(0, 0, 2, 2).Word(0).Word(90);                          // frame arc
  w.Op(0x0070).Word(18).Rect(0, 0, 2, 2).Word(0).Word(0).Word(1).Word(1);  // polygon
  w.Op(0x0028).Word(1).Word(1).Byte(3).Append({'a', 'b', 'c'});            // long text
  w.Op(0x002C).Word(5).Word(3).Byte(2).Append({'H', 'i'});                 // font name
  w.Op(0x00A0).Word(42);                                                   // short comment
  w.Op(0x00A1).Word(100).Word(3).Append({1, 2, 3});                        // long comment
  w.Op(0x00D0).Long(4).Long(0);                                            // reserved, long length
  w.Op(0x0200).Long(0);          // reserved, length in the opcode
  w.Op(0x8100).Long(2).Word(0);  // reserved, long length
  w.Op(0x98).PixMap(2, 4, 8, 0, 2, 1).ColourTable(kFourColours);
  w.Rect(0, 0, 4, 8).Rect(0, 0, 4, 8).Word(0);
  for (int y = 0; y < 4; ++y) w.Append({0x1B, 0x1B});
  const auto b = DecodeBytes(w.End());
  ExpectPixels(*b, {Px(1, 3, kFourColours[1]), Px(7, 0, kFourColours[3])}, true);
}

// --- Errors: a code and a message, never a crash. ---

TEST(MacPictErrors, EachFailureHasItsCodeAndMessage) {
  PictWriter vector(2, 8, 4);
  vector.Op(0x0030).Rect(0, 0, 2, 2);
  Bytes noVersion(512, 0);
  noVersion.insert(noVersion.end(), {0, 0, 0, 0, 0, 0, 0, 4, 0, 8, 0x12, 0x01, 0, 0xFF});
  Bytes badVersion = noVersion;
  badVersion[522] = 0x11;
  badVersion[523] = 0x03;
  Bytes noFF = badVersion;
  noFF[523] = 0x02;  // version 2 needs 0xFF next
  PictWriter pattern(2, 8, 4);
  pattern.Op(0x0012).Word(7).Append(Bytes(8, 0));
  // Index 3 with a table of two entries.
  PictWriter index(2, 4, 1);
  index.Op(0x98).PixMap(1, 1, 4, 0, 2, 1).ColourTable({0, 0}).Rect(0, 0, 1, 4).Rect(0, 0, 1, 4);
  index.Word(0).Append({0x03});
  PictWriter depth(2, 4, 1);
  depth.Op(0x98).PixMap(2, 1, 4, 0, 3, 1).ColourTable(kFourColours).Rect(0, 0, 1, 4);
  depth.Rect(0, 0, 1, 4).Word(0).Append({0, 0});
  PictWriter direct(2, 4, 1);
  direct.Op(0x9A).Long(0xFF).PixMap(12, 1, 4, 1, 24, 3).Rect(0, 0, 1, 4).Rect(0, 0, 1, 4);
  direct.Word(0).Append(Bytes(12, 0));
  const std::tuple<Bytes, int, const char*> cases[] = {
      {vector.End(), kErrUnsupported, "PICT contained only vector data!\n"},
      {noVersion, kErrWrongSignature, "Error decoding pict: Version number missing."},
      {badVersion, kErrWrongSignature, "Illegal version number."},
      {noFF, kErrWrongSignature, "Illegal version number."},
      {pattern.End(), kErrFormat, "Unknown pattern type in pixPat."},
      {index.End(), kErrFormat, "pixel value greater than colour table size."},
      {depth.End(), kErrFormat, "Bad bits per pixel in expandBuf."},
      {direct.End(), kErrFormat, "Bad bits per pixel in expandBuf8."}};
  for (const auto& [data, code, message] : cases) {
    std::string text;
    EXPECT_EQ(DecodeError(data, &text), code) << message;
    EXPECT_EQ(text, std::string("Decoder error: ") + message + "\n");
  }
}

TEST(MacPictErrors, QuickTimeOtherThanJpegIsRefused) {
  Bytes data = DataBytes("pict/jpeg37x23.pict");
  // The codec type follows the image description's size, 68 bytes into the opcode's data.
  const std::size_t codec = 512 + 2 + 8 + 4 + 2 + 24 + 2 + 2 + 10 + 2 + 4 + 68 + 4;
  ASSERT_EQ(std::string(data.begin() + codec, data.begin() + codec + 4), "jpeg");
  data[codec] = 'r';
  std::string text;
  EXPECT_EQ(DecodeError(data, &text), kErrUnsupported);
  EXPECT_EQ(text, "Decoder error: PICT file contains unrecognized quicktime data.\n\n");
}

TEST(MacPictErrors, AbsurdFrameIsRefusedBeforeAllocating) {
  PictWriter w(2, 8, 4);
  w.Op(0x98).PixMap(2, 1, 8, 0, 2, 1).ColourTable(kFourColours);
  Bytes data = w.Rect(0, 0, 1, 8).Rect(0, 0, 1, 8).Word(0).Append({0, 0}).End();
  // Frame -32768 .. 32767 in both directions.
  const Bytes frame = {0x80, 0x00, 0x80, 0x00, 0x7F, 0xFF, 0x7F, 0xFF};
  std::copy(frame.begin(), frame.end(), data.begin() + 514);
  EXPECT_EQ(DecodeError(data), kErrNoMemory);
}

TEST(MacPictErrors, PicturesTheFileCannotCoverAreRefusedUnlessSmall) {
  // One 2 x 1 image stretched over a 5000 x 5000 frame (100 MB of canvas from a few hundred
  // bytes) is refused; over a 1000 x 1000 frame it is drawn.
  for (const int side : {5000, 1000}) {
    PictWriter w(2, side, side);
    w.Op(0x98).PixMap(2, 1, 8, 0, 2, 1).ColourTable(kFourColours);
    const Bytes data = w.Rect(0, 0, 1, 8).Rect(0, 0, side, side).Word(0).Append({0, 0}).End();
    std::string text;
    const int code = DecodeError(data, &text);
    EXPECT_EQ(code, side == 5000 ? kErrFormat : 0) << side;
    if (code) {
      EXPECT_NE(text.find("larger than the file's data can describe"), std::string::npos);
    }
  }
  // Empty raw rows (row bytes 0) over 30000 x 2000 bounds: 60 M pixels expanded from nothing.
  PictWriter empty(2, 8, 4);
  empty.Op(0x9A).Long(0xFF).PixMap(0, 2000, 30000, 1, 32, 3);
  std::string text;
  EXPECT_EQ(DecodeError(empty.Rect(0, 0, 4, 8).Rect(0, 0, 4, 8).Word(0).End(), &text), kErrFormat);
  EXPECT_NE(text.find("images are larger than the file's data"), std::string::npos) << text;
}

// Corrupted bytes either decode or raise a decoder error (cut files are in the decoder tables).
TEST(MacPictErrors, CorruptedFilesDecodeOrRaiseDecoderErrors) {
  for (const char* name : {"rgb37x23-im.pict", "pal29x17-netpbm.pict", "jpeg37x23.pict",
                           "rgba37x23-im.pict", "rgbq37x23-netpbm.pict"}) {
    const Bytes full = DataBytes(std::string("pict/") + name);
    std::uint32_t seed = 12345;
    for (int round = 0; round < 300; ++round) {
      Bytes bad = full;
      for (int k = 0; k < 4; ++k) {
        seed = seed * 1103515245 + 12345;
        bad[512 + (seed >> 8) % (bad.size() - 512)] = std::uint8_t(seed >> 24);
      }
      const int code = DecodeError(bad);
      EXPECT_TRUE(code == 0 || (code >= kErrWrongSignature && code <= kErrEndOfFile))
          << name << " round " << round << ": code " << code;
    }
  }
}
