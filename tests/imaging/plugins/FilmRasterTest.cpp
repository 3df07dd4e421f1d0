// The Cineon/DPX pixel code on its own: files written by ImageMagick, hand-built headers for
// the layouts ImageMagick does not write, the error texts and malformed input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "FilmRaster.h"
#include "LogToLinear.h"
#include "TestUtil.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Load(const std::string& name) {
  const std::string text = rvtest::ReadFile(rvtest::DataDir() + "/cineon/" + name);
  return Bytes(text.begin(), text.end());
}

// A decoded picture as R, G, B, A bytes, rows top first (the layout of ImageMagick's rgba:).
struct Picture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  Bytes rgba;
  FilmError error = FilmError::kNone;
};

constexpr LogToLinearParams kStoredDefaults{1.7, 2.2, 95, 685, 0};

Picture Decode(const Bytes& file, const LogToLinearParams& params = kStoredDefaults) {
  Picture picture;
  FilmRaster raster;
  picture.error = ParseFilmRaster(file.data(), file.size(), &raster);
  if (picture.error != FilmError::kNone) return picture;
  picture.width = raster.Width();
  picture.height = raster.Height();
  std::vector<std::uint8_t> rows(std::size_t(picture.width) * picture.height * 4, 0xAB);
  std::vector<std::uint8_t*> lines(picture.height);
  for (std::uint32_t y = 0; y < picture.height; ++y)
    lines[y] = &rows[std::size_t(y) * picture.width * 4];
  picture.error = ConvertFilmRaster(file.data(), file.size(), raster, params, lines.data());
  picture.rgba.resize(rows.size());
  for (std::size_t i = 0; i < rows.size(); i += 4) {
    picture.rgba[i] = rows[i + 2];
    picture.rgba[i + 1] = rows[i + 1];
    picture.rgba[i + 2] = rows[i];
    picture.rgba[i + 3] = rows[i + 3];
  }
  return picture;
}

void Put32(Bytes* b, std::size_t at, std::uint32_t v, bool bigEndian) {
  for (int i = 0; i < 4; ++i) {
    (*b)[at + i] = std::uint8_t(bigEndian ? v >> (24 - 8 * i) : v >> (8 * i));
  }
}
void Put16(Bytes* b, std::size_t at, std::uint16_t v, bool bigEndian) {
  (*b)[at] = std::uint8_t(bigEndian ? v >> 8 : v);
  (*b)[at + 1] = std::uint8_t(bigEndian ? v : v >> 8);
}

struct DpxHeader {
  bool bigEndian = true;
  std::uint32_t width = 1;
  std::uint32_t height = 1;
  int descriptor = 50;
  int transfer = 2;  // linear
  int bits = 10;
  int packing = 1;
  int encoding = 0;
  int elements = 1;
  int orientation = 0;
  const char* version = "V2.0";
};

constexpr std::size_t kDpxData = 2048;

// A DPX file with the given header fields and pixel bytes at offset 2048.
Bytes MakeDpx(const DpxHeader& h, const Bytes& pixels) {
  Bytes b(kDpxData, 0);
  std::memcpy(b.data(), h.bigEndian ? "SDPX" : "XPDS", 4);
  Put32(&b, 4, kDpxData, h.bigEndian);
  std::memcpy(b.data() + 8, h.version, std::strlen(h.version));
  Put16(&b, 768, std::uint16_t(h.orientation), h.bigEndian);
  Put16(&b, 770, std::uint16_t(h.elements), h.bigEndian);
  Put32(&b, 772, h.width, h.bigEndian);
  Put32(&b, 776, h.height, h.bigEndian);
  b[800] = std::uint8_t(h.descriptor);
  b[801] = std::uint8_t(h.transfer);
  b[803] = std::uint8_t(h.bits);
  Put16(&b, 804, std::uint16_t(h.packing), h.bigEndian);
  Put16(&b, 806, std::uint16_t(h.encoding), h.bigEndian);
  Put32(&b, 808, kDpxData, h.bigEndian);
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

struct CineonHeader {
  bool bigEndian = true;
  int channels = 3;
  int bits = 10;
  int packing = 5;
  int interleave = 0;
  std::uint32_t width = 1;
  std::uint32_t height = 1;
  int orientation = 0;
  const char* version = "V4.5";
};

constexpr std::size_t kCinData = 1024;

Bytes MakeCineon(const CineonHeader& h, const Bytes& pixels) {
  Bytes b(kCinData, 0);
  Put32(&b, 0, 0x802A5FD7, h.bigEndian);
  Put32(&b, 4, kCinData, h.bigEndian);
  std::memcpy(b.data() + 24, h.version, std::strlen(h.version));
  b[192] = std::uint8_t(h.orientation);
  b[193] = std::uint8_t(h.channels);
  for (int c = 0; c < h.channels; ++c) {
    const std::size_t at = 196 + 28 * c;
    b[at + 1] = std::uint8_t(h.channels == 1 ? 0 : c + 1);
    b[at + 2] = std::uint8_t(h.bits);
    Put32(&b, at + 4, h.width, h.bigEndian);
    Put32(&b, at + 8, h.height, h.bigEndian);
  }
  b[680] = std::uint8_t(h.interleave);
  b[681] = std::uint8_t(h.packing);
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

Bytes Pixel(const Picture& p, std::uint32_t x, std::uint32_t y) {
  const std::size_t at = (std::size_t(y) * p.width + x) * 4;
  return Bytes(p.rgba.begin() + at, p.rgba.begin() + at + 4);
}

}  // namespace

// --- files written by ImageMagick --------------------------------------------------------

TEST(FilmRasterFiles, LinearDpxOfEveryDepthDecodesToTheSourcePixels) {
  for (const char* name : {"dpx8.dpx", "dpx10.dpx", "dpx12.dpx", "dpx16.dpx", "rgba10.dpx"}) {
    SCOPED_TRACE(name);
    const Picture p = Decode(Load(name));
    ASSERT_EQ(p.error, FilmError::kNone);
    EXPECT_EQ(p.width, 6u);
    EXPECT_EQ(p.height, 4u);
    EXPECT_EQ(p.rgba, Load(name[0] == 'r' ? "srca.rgba" : "src.rgba"));  // alpha kept
  }
}

TEST(FilmRasterFiles, GreyDpxFillsAllThreeColours) {
  const Picture p = Decode(Load("grey10.dpx"));
  ASSERT_EQ(p.error, FilmError::kNone);
  const Bytes grey = Load("grey.gray");
  ASSERT_EQ(grey.size(), 24u);
  for (std::size_t i = 0; i < grey.size(); ++i) {
    EXPECT_NEAR(p.rgba[i * 4], grey[i], 1) << i;
    EXPECT_EQ(p.rgba[i * 4 + 1], p.rgba[i * 4]);
    EXPECT_EQ(p.rgba[i * 4 + 2], p.rgba[i * 4]);
    EXPECT_EQ(p.rgba[i * 4 + 3], 255);
  }
}

TEST(FilmRasterFiles, CineonFilesOfThreeDepthsShowTheSamePicture) {
  const Picture p10 = Decode(Load("cin10.cin"));
  ASSERT_EQ(p10.error, FilmError::kNone);
  ASSERT_EQ(p10.rgba.size(), 96u);
  // 8-bit log codes are coarse, 16-bit ones finer than 10-bit.
  for (const auto& [name, tolerance] : {std::pair("cin8.cin", 8), std::pair("cin16.cin", 2)}) {
    const Picture p = Decode(Load(name));
    ASSERT_EQ(p.error, FilmError::kNone) << name;
    ASSERT_EQ(p.rgba.size(), 96u) << name;
    for (std::size_t i = 0; i < 96; ++i)
      EXPECT_NEAR(p.rgba[i], p10.rgba[i], tolerance) << name << " " << i;
  }
}

TEST(FilmRasterFiles, CineonLogDataMapsBlackAndPrimaries) {
  // ImageMagick encodes with reference black 95 and white 685, as the stored defaults do.
  const Picture p = Decode(Load("cin10.cin"));
  ASSERT_EQ(p.error, FilmError::kNone);
  EXPECT_EQ(Pixel(p, 0, 0), (Bytes{0, 0, 0, 255}));  // opaque (white is the curve's)
  const Bytes red = Pixel(p, 0, 1);
  EXPECT_GE(red[0], 250);
  EXPECT_LE(red[1], 3);
  EXPECT_LE(red[2], 3);
  for (std::uint32_t x = 1; x < 6; ++x) {
    EXPECT_GT(Pixel(p, x, 0)[0], Pixel(p, x - 1, 0)[0]) << x;  // the grey ramp rises
  }
}

TEST(FilmRasterFiles, LogTransferMakesDpxGoThroughTheConversion) {
  const Bytes log = Load("dpxlog10.dpx");
  const Picture a = Decode(log, kStoredDefaults);
  LogToLinearParams other = kStoredDefaults;
  other.referenceWhite = 900;
  const Picture b = Decode(log, other);
  ASSERT_EQ(a.error, FilmError::kNone);
  ASSERT_EQ(b.error, FilmError::kNone);
  EXPECT_NE(a.rgba, b.rgba);
  EXPECT_NE(a.rgba, Load("src.rgba"));
}

TEST(FilmRasterFiles, EveryPrefixOfAFileFailsCleanlyOrDecodesInBounds) {
  for (const char* name : {"cin10.cin", "cin8.cin", "dpx10.dpx", "rgba10.dpx"}) {
    const Bytes full = Load(name);
    for (std::size_t n = 0; n < full.size(); n += (n < 900 ? 1 : 7)) {
      // A copy of exactly n bytes, so the sanitizer sees any read past the end. A cut before the
      // pixel data (at 2048 in all four) is a read error; a later one may also be read as
      // tightly packed lines (the layout is told by the file's size alone).
      const Picture p = Decode(Bytes(full.begin(), full.begin() + n));
      if (n < 2048 || p.error != FilmError::kNone) {
        EXPECT_EQ(p.error, FilmError::kRead) << name << " " << n;
      }
    }
  }
}

// --- layouts built here --------------------------------------------------------------------

TEST(FilmRasterLayouts, DpxPackingsByteOrdersAndComponentOrders) {
  struct Case {
    const char* what;
    void (*change)(DpxHeader*);
    Bytes pixels;
    Bytes rgba;
  };
  const Case cases[] = {
      // R=1023, G=512, B=1 as (R << 20) | (G << 10) | B: the padding in the top bits.
      {"method B",
       [](DpxHeader* h) { h->packing = 2; },
       {0x3F, 0xF8, 0x00, 0x01},
       {255, 128, 0, 255}},
      // (1023 << 22) | (512 << 12) | (1 << 2) = 0xFFE00004, stored little-endian.
      {"little-endian",
       [](DpxHeader* h) { h->bigEndian = false; },
       {0x04, 0x00, 0xE0, 0xFF},
       {255, 128, 0, 255}},
      // Samples 1023, 0, 512 | 1, 1023, 0 back to back, most significant bit first.
      {"packed 10-bit",
       [](DpxHeader* h) { h->packing = 0, h->width = 2; },
       {0xFF, 0xC0, 0x08, 0x00, 0x01, 0xFF, 0xC0, 0x00},
       {255, 0, 128, 255, 0, 255, 0, 255}},
      // A, B, G, R.
      {"ABGR",
       [](DpxHeader* h) { h->descriptor = 52, h->bits = 8, h->packing = 0; },
       {10, 20, 30, 40},
       {40, 30, 20, 10}},
  };
  for (const Case& c : cases) {
    DpxHeader h;
    c.change(&h);
    const Picture p = Decode(MakeDpx(h, c.pixels));
    ASSERT_EQ(p.error, FilmError::kNone) << c.what;
    EXPECT_EQ(p.rgba, c.rgba) << c.what;
  }
}

TEST(FilmRasterLayouts, LittleEndianCineonIsRecognisedByItsMagic) {
  CineonHeader h;
  h.bigEndian = false;
  const Bytes file = MakeCineon(h, {0x04, 0x00, 0xE0, 0xFF});
  const Picture p = Decode(file, LogToLinearParams{1.0, 1.0, 0, 1023, 0});
  ASSERT_EQ(p.error, FilmError::kNone);
  EXPECT_EQ(p.rgba[0], 255);  // 1023 is the reference white
  EXPECT_EQ(p.rgba[2], 0);    // 1 is below one step of the curve
}

TEST(FilmRasterLayouts, OrientationFlipsAndTransposes) {
  // A 2 x 1 stored line of grey 8-bit samples 0 and 255.
  CineonHeader h;
  h.channels = 1;
  h.bits = 8;
  h.packing = 1;
  h.width = 2;
  const LogToLinearParams threshold{1.0, 1.0, 0, 255, 0};  // only 255 (code 1023) is white
  struct Case {
    int orientation;
    std::uint32_t width, height;
    std::uint8_t first;
  } cases[] = {{0, 2, 1, 0}, {2, 2, 1, 255}, {4, 1, 2, 0}, {6, 1, 2, 255}};
  for (const Case& c : cases) {
    h.orientation = c.orientation;
    const Picture p = Decode(MakeCineon(h, {0, 255, 0, 0}), threshold);
    ASSERT_EQ(p.error, FilmError::kNone) << c.orientation;
    EXPECT_EQ(p.width, c.width) << c.orientation;
    EXPECT_EQ(p.height, c.height) << c.orientation;
    EXPECT_EQ(p.rgba[0], c.first) << c.orientation;
  }
}

// --- errors ------------------------------------------------------------------------------

TEST(FilmRasterErrors, EachFailureHasItsText) {
  EXPECT_STREQ(FilmErrorText(FilmError::kVersion), "Unsupported file version.");
  EXPECT_STREQ(FilmErrorText(FilmError::kInterleave), "Unknown data interleaving scheme.");
  EXPECT_STREQ(FilmErrorText(FilmError::kPacking), "Unknown data packing scheme.");
  EXPECT_STREQ(FilmErrorText(FilmError::kDimensions),
               "Channels with varying dimensions not supported.");
  EXPECT_STREQ(FilmErrorText(FilmError::kChannels),
               "File does not contain RGB data in supported (universal metric) channels.");
  EXPECT_STREQ(FilmErrorText(FilmError::kRead), "Error reading file.");
}

TEST(FilmRasterErrors, HeadersMapToTheirFailures) {
  const Bytes word = {0xFF, 0xC0, 0x00, 0x00};
  using Change = void (*)(DpxHeader*);
  const std::pair<Change, FilmError> dpxCases[] = {
      {[](DpxHeader* h) { h->version = "V3.0"; }, FilmError::kVersion},
      {[](DpxHeader* h) { h->descriptor = 1, h->elements = 3; }, FilmError::kInterleave},
      {[](DpxHeader* h) { h->packing = 3; }, FilmError::kPacking},
      {[](DpxHeader* h) { h->encoding = 1; }, FilmError::kPacking},
      {[](DpxHeader* h) { h->bits = 32; }, FilmError::kPacking},
      {[](DpxHeader* h) { h->descriptor = 100; }, FilmError::kChannels},
      {[](DpxHeader* h) { h->width = 2; }, FilmError::kRead},  // needs two words, has one
      {[](DpxHeader* h) { h->width = 0; }, FilmError::kRead},
      // Beyond the pixel limit, refused before any allocation.
      {[](DpxHeader* h) { h->width = h->height = 60000; }, FilmError::kRead}};
  for (const auto& [change, error] : dpxCases) {
    DpxHeader dpx;
    change(&dpx);
    EXPECT_EQ(Decode(MakeDpx(dpx, word)).error, error) << int(error);
  }
  using CinChange = void (*)(CineonHeader*);
  const std::pair<CinChange, FilmError> cinCases[] = {
      {[](CineonHeader* h) { h->version = "V3.0"; }, FilmError::kVersion},
      {[](CineonHeader* h) { h->interleave = 1; }, FilmError::kInterleave},
      {[](CineonHeader* h) { h->packing = 7; }, FilmError::kPacking},
      {[](CineonHeader* h) { h->channels = 2; }, FilmError::kChannels}};
  for (const auto& [change, error] : cinCases) {
    CineonHeader cin;
    change(&cin);
    EXPECT_EQ(Decode(MakeCineon(cin, word)).error, error) << int(error);
  }
  Bytes metric = MakeCineon(CineonHeader{}, word);
  metric[196 + 28] = 1;  // second channel not in universal metric
  EXPECT_EQ(Decode(metric).error, FilmError::kChannels);
  Bytes varying = MakeCineon(CineonHeader{}, word);
  Put32(&varying, 196 + 2 * 28 + 4, 2, true);  // third channel twice as wide
  EXPECT_EQ(Decode(varying).error, FilmError::kDimensions);
  Bytes offset = MakeCineon(CineonHeader{}, word);
  Put32(&offset, 4, 0xFFFFFFF0u, true);
  EXPECT_EQ(Decode(offset).error, FilmError::kRead);
}

TEST(FilmRasterErrors, OnlyTheFourMagicsAreFilmFiles) {
  const std::uint8_t cineonBE[] = {0x80, 0x2A, 0x5F, 0xD7};
  const std::uint8_t cineonLE[] = {0xD7, 0x5F, 0x2A, 0x80};
  EXPECT_TRUE(IsFilmFile(cineonBE, 4));
  EXPECT_TRUE(IsFilmFile(cineonLE, 4));
  EXPECT_TRUE(IsFilmFile(reinterpret_cast<const std::uint8_t*>("SDPX"), 4));
  EXPECT_TRUE(IsFilmFile(reinterpret_cast<const std::uint8_t*>("XPDS"), 4));
  EXPECT_FALSE(IsFilmFile(reinterpret_cast<const std::uint8_t*>("SDPY"), 4));
  EXPECT_FALSE(IsFilmFile(cineonBE, 3));
}

// --- the log-to-linear curve ---------------------------------------------------------------

TEST(LogToLinearCurve, ReferencePoints) {
  EXPECT_EQ(LogToDisplay(685, kStoredDefaults), 255);
  EXPECT_EQ(LogToDisplay(95, kStoredDefaults), 0);
  EXPECT_EQ(LogToDisplay(1023, kStoredDefaults), 255);
  EXPECT_EQ(LogToDisplay(0, kStoredDefaults), 0);
}

// (That each of the five values changes a log picture is CineonPlugInTest's; here the way.)
TEST(LogToLinearCurve, ParametersMoveTheCurveTheirWay) {
  const int base = LogToDisplay(445, kStoredDefaults);
  LogToLinearParams p = kStoredDefaults;
  p.gammaDisplay = 1.0;
  EXPECT_LT(LogToDisplay(445, p), base);  // a lower display gamma shows darker mid-tones
  p = kStoredDefaults;
  p.referenceBlack = 200;
  EXPECT_LT(LogToDisplay(445, p), base);  // so does a higher reference black
  p = kStoredDefaults;
  p.referenceWhite = 600;
  EXPECT_GT(LogToDisplay(445, p), base);
  p = kStoredDefaults;
  p.softClip = 50;  // the knee starts at 635; a value above it rolls off
  EXPECT_LT(LogToDisplay(680, p), LogToDisplay(680, kStoredDefaults));
}

TEST(LogToLinearCurve, SoftClipReachesWhiteFiveWidthsAboveTheKnee) {
  LogToLinearParams p = kStoredDefaults;
  p.softClip = 20;
  EXPECT_LT(LogToDisplay(685, p), 255);
  EXPECT_EQ(LogToDisplay(665 + 100, p), 255);
  EXPECT_LT(LogToDisplay(665 + 50, p), LogToDisplay(665 + 90, p));
}

TEST(LogToLinearCurve, DegenerateParametersStayFinite) {
  LogToLinearParams p = kStoredDefaults;
  p.referenceWhite = 95;  // white at black: a hard step
  EXPECT_EQ(LogToDisplay(94, p), 0);
  EXPECT_EQ(LogToDisplay(95, p), 255);
  p = kStoredDefaults;
  p.gammaLog = 0.0;
  EXPECT_EQ(LogToDisplay(684, p), 0);
  EXPECT_EQ(LogToDisplay(685, p), 255);
  p = kStoredDefaults;
  p.gammaDisplay = 0.0;  // counts as 1.0
  LogToLinearParams one = kStoredDefaults;
  one.gammaDisplay = 1.0;
  EXPECT_EQ(LogToDisplay(400, p), LogToDisplay(400, one));
}

TEST(LogToLinearCurve, LinearTablesScaleToEightBits) {
  const std::vector<std::uint8_t> t10 = BuildSampleTable(10, false, kStoredDefaults);
  ASSERT_EQ(t10.size(), 1024u);
  EXPECT_EQ(t10[0], 0);
  EXPECT_EQ(t10[1023], 255);
  EXPECT_EQ(t10[512], 128);
  const std::vector<std::uint8_t> t8 = BuildSampleTable(8, true, kStoredDefaults);
  // 8-bit log codes are stretched to the 10-bit scale: 170 is code 682, just under white.
  EXPECT_EQ(t8[170], LogToDisplay(170 * 1023.0 / 255.0, kStoredDefaults));
}
