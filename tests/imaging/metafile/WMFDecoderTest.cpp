#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DecoderTestSupport.h"
#include "imaging/AutoImageDecoder.h"
#include "imaging/metafile/MetafileGui.h"
#include "imaging/metafile/WMFDecoder.h"

using namespace dectest;

namespace {

std::string DataPath(const std::string& name) { return Data("metafile/" + name); }

// Decodes bytes as if they came from a file of the given name (the name picks the kind).
std::unique_ptr<CDIBSectionBitmap> Decode(const Bytes& bytes, const std::string& name,
                                          int bpp = 0) {
  CMemImageSource source;
  source.Open(bytes.data(), bytes.size(), name);
  auto bitmap = std::make_unique<CDIBSectionBitmap>();
  CWMFDecoder decoder;
  decoder.DecodeSource(&source, bitmap.get(), bpp);
  return bitmap;
}

int DecodeError(const Bytes& bytes, const std::string& name, std::string* text = nullptr) {
  return ErrorOf([&] { Decode(bytes, name); }, text);
}

// Probes placed in recording pixels of a picture recorded 100 pixels wide; colours without alpha.
void ExpectScaled(const CImageBitmap& b, std::vector<Probe> probes) {
  const double s = b.GetWidth() / 100.0;
  for (Probe& p : probes) p = Px(int(p.x * s), int(p.y * s), p.value);
  ExpectPixels(b, probes, false, 0xFFFFFF);
}

// Windows metafile records: parameters are 16-bit words.
class WmfWriter {
 public:
  WmfWriter& Record(int function, const std::vector<int>& words) {
    m_records.LE32(std::uint32_t(3 + words.size())).LE16(unsigned(function));
    for (int w : words) m_records.LE16(unsigned(w));
    return *this;
  }
  // The record list, preceded by the 18-byte header and optionally the placeable header.
  Bytes Build(bool placeable = false, int left = 0, int top = 0, int right = 0, int bottom = 0,
              int inch = 1440) {
    ByteWriter out;
    if (placeable) {
      for (int v : {0xCDD7, 0x9AC6, 0, left, top, right, bottom, inch, 0, 0, 0}) out.LE16(v);
    }
    const std::size_t words = 9 + m_records.Size() / 2 + 3;
    for (int v : {1, 9, 0x300, int(words & 0xFFFF), int(words >> 16), 16, 0, 0, 0}) out.LE16(v);
    out.Append(m_records.Get()).LE32(3).LE16(0);  // end record
    return out.Get();
  }
  // For records written by hand.
  ByteWriter& Raw() { return m_records; }

 private:
  ByteWriter m_records;
};

// Enhanced metafile records: parameters are 32-bit values.
class EmfWriter {
 public:
  // A picture frame in 0.01 mm, recorded on a device of 96 pixels per inch (1000 px, 264.58 mm).
  EmfWriter(int frameRight, int frameBottom) : m_right(frameRight), m_bottom(frameBottom) {}
  EmfWriter& Record(std::uint32_t type, const std::vector<std::uint32_t>& values) {
    m_records.LE32(type).LE32(std::uint32_t(8 + 4 * values.size()));
    for (std::uint32_t v : values) m_records.LE32(v);
    return *this;
  }
  Bytes Build(const std::vector<RvPixel>& palette = {}, std::uint32_t headerSize = 88) {
    const auto right = std::uint32_t(m_right), bottom = std::uint32_t(m_bottom),
               entries = std::uint32_t(palette.size());
    // Header: type, size, bounds, frame, signature, version, sizes and counts, the device's
    // pixels and millimetres.
    const std::uint32_t header[] = {1,     headerSize, 0,          0,       100, 100, 0, 0,
                                    right, bottom,     0x464D4520, 0x10000, 0,   0,   0, 0,
                                    0,     entries,    1000,       1000,    264, 264};
    ByteWriter out;
    for (std::uint32_t v : header) out.LE32(v);
    // The records, then the end record with the palette.
    out.Append(m_records.Get()).LE32(14).LE32(20 + 4 * entries).LE32(entries).LE32(16);
    for (RvPixel p : palette)
      out.LE32(RvPixelRed(p) | (RvPixelGreen(p) << 8) | (RvPixelBlue(p) << 16));
    out.LE32(20 + 4 * entries);
    return out.Get();
  }
  // For records written by hand.
  ByteWriter& Raw() { return m_records; }

 private:
  int m_right, m_bottom;
  ByteWriter m_records;
};

std::uint32_t Colour(int r, int g, int b) { return std::uint32_t(r | (g << 8) | (b << 16)); }

// The picture size an enhanced metafile frame (in 0.01 mm) gives on the reference device.
QSize ExpectedEmfSize(int frameWidth, int frameHeight) {
  const RvReferenceDevice d = RvMetafileReferenceDevice();
  return QSize(int(double(frameWidth) * d.pixels.width() / (d.millimetres.width() * 100)),
               int(double(frameHeight) * d.pixels.height() / (d.millimetres.height() * 100)));
}

// Mean absolute difference per channel (0-255) between the decoded picture, resampled to the
// reference's size when they differ by the rounding of the size rules, and the reference.
double MeanDifference(const CImageBitmap& b, const QImage& reference) {
  QImage ours(b.GetWidth(), b.GetHeight(), QImage::Format_RGB32);
  for (int y = 0; y < b.GetHeight(); ++y)
    for (int x = 0; x < b.GetWidth(); ++x) ours.setPixel(x, y, ColourAt(b, x, y) | 0xFF000000u);
  if (ours.size() != reference.size())
    ours = ours.scaled(reference.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  const QImage ref = reference.convertToFormat(QImage::Format_RGB32);
  double sum = 0;
  for (int y = 0; y < ref.height(); ++y)
    for (int x = 0; x < ref.width(); ++x) {
      const QRgb a = ours.pixel(x, y), c = ref.pixel(x, y);
      sum += std::abs(qRed(a) - qRed(c)) + std::abs(qGreen(a) - qGreen(c)) +
             std::abs(qBlue(a) - qBlue(c));
    }
  const double mean = sum / (3.0 * ref.width() * ref.height());
  std::printf("mean absolute difference to the reference: %.2f\n", mean);
  return mean;
}

}  // namespace

// --- Metafiles written by Inkscape, compared with Inkscape's own rendering of the drawing. ---

// Inkscape renders each metafile it wrote back into a PNG at 96 pixels per inch. Our picture is
// compared by its mean absolute difference per channel after resampling to the PNG's size (the
// reference device need not have 96 pixels per inch): edges are antialiased differently by the
// two renderers, so a faithful rendering scores a few levels, while a missing, misplaced or
// wrongly coloured shape scores well over 10.
constexpr double kMaxMeanDifference = 6.0;

TEST(WMFReference, InkscapeMetafilesMatchInkscapeRendering) {
  // Windows: placeable, bounding box 0..2999 x 0..1999 at 1200 units per inch, measured at
  // 96 ppi. Enhanced: the frame is 0..6399 x 0..4299 hundredths of a millimetre.
  const std::pair<const char*, QSize> kinds[] = {{"wmf", QSize(2999 * 96 / 1200, 1999 * 96 / 1200)},
                                                 {"emf", ExpectedEmfSize(6399, 4299)}};
  for (const auto& [kind, size] : kinds) {
    SCOPED_TRACE(kind);
    const std::string name = std::string("drawing.") + kind;
    const auto b = Decode(ReadBytes(DataPath(name)), name);
    EXPECT_EQ(QSize(b->GetWidth(), b->GetHeight()), size);
    EXPECT_EQ(b->GetBitsPerPixel(), 32);
    EXPECT_TRUE(b->HasAlpha());
    EXPECT_EQ(RvPixelAlpha(b->GetPixel(0, 0)), 255);
    const QImage reference(
        QString::fromStdString(DataPath(std::string("drawing-") + kind + "-inkscape.png")));
    ASSERT_FALSE(reference.isNull());
    EXPECT_LT(MeanDifference(*b, reference), kMaxMeanDifference);
  }
}

TEST(WMFReference, TheNameDecidesTheKindInAnyLetterCase) {
  const Bytes data = ReadBytes(DataPath("drawing.emf"));
  EXPECT_EQ(Decode(data, "/shots/DRAWING.Emf")->GetWidth(), ExpectedEmfSize(6399, 0).width());
  EXPECT_EQ(DecodeError(data, "drawing.wmf"), kErrUnsupported);
}

TEST(WMFReference, InkscapeTextIsDrawn) {
  if (!RvEnsureMetafileFonts()) GTEST_SKIP() << "no fonts installed";
  for (const char* kind : {"wmf", "emf"}) {
    SCOPED_TRACE(kind);
    const std::string name = std::string("text.") + kind;
    const QImage reference(
        QString::fromStdString(DataPath(std::string("text-") + kind + "-inkscape.png")));
    ASSERT_FALSE(reference.isNull());
    const auto b = Decode(ReadBytes(DataPath(name)), name);
    EXPECT_LT(MeanDifference(*b, reference), kMaxMeanDifference);
    // Dark text pixels along the baseline band of "Reelvane" (x 20..140, y 100..120).
    int dark = 0;
    const double sx = b->GetWidth() / 240.0, sy = b->GetHeight() / 160.0;
    for (int y = int(98 * sy); y < int(121 * sy); ++y)
      for (int x = int(20 * sx); x < int(140 * sx); ++x)
        if (Distance(b->GetPixel(x, y), RvMakePixel(0, 0, 0)) < 64) ++dark;
    EXPECT_GT(dark, 200);
  }
}

// --- Size, palette and header rules. ---

TEST(WMFRules, PictureSizeRules) {
  WmfWriter w;
  // Placeable: 1440 units per inch, 2880 x 720 units -> 192 x 48 pixels.
  auto placeable = Decode(w.Build(true, 100, 50, 2980, 770, 1440), "a.wmf");
  EXPECT_EQ(placeable->GetWidth(), 192);
  EXPECT_EQ(placeable->GetHeight(), 48);
  // An empty or inverted box, or no units per inch, falls back to 320 x 200.
  auto empty = Decode(w.Build(true, 10, 10, 10, 5, 1440), "a.wmf");
  EXPECT_EQ(empty->GetWidth(), 320);
  EXPECT_EQ(empty->GetHeight(), 200);
  auto noInch = Decode(w.Build(true, 0, 0, 100, 100, 0), "a.wmf");
  EXPECT_EQ(noInch->GetWidth(), 320);
  // A plain Windows metafile fills the reference device.
  const RvReferenceDevice device = RvMetafileReferenceDevice();
  auto plain = Decode(w.Build(), "a.wmf");
  EXPECT_EQ(plain->GetWidth(), device.pixels.width());
  EXPECT_EQ(plain->GetHeight(), device.pixels.height());
  // An empty enhanced frame gives 320 x 200 too (measured frames are in the Inkscape test).
  auto emptyEmf = Decode(EmfWriter(0, 0).Build(), "a.emf");
  EXPECT_EQ(emptyEmf->GetWidth(), 320);
  EXPECT_EQ(emptyEmf->GetHeight(), 200);
}

TEST(WMFRules, HeaderErrors) {
  std::string text;
  EXPECT_EQ(DecodeError({}, "empty.wmf", &text), kErrUnsupported);
  EXPECT_EQ(text, "Decoder error: Windows Metafile functions failed to load this image.\n");
  Bytes badType = WmfWriter().Build();
  badType[0] = 7;
  EXPECT_EQ(DecodeError(badType, "a.wmf"), kErrUnsupported);
  Bytes badPlaceable = WmfWriter().Build(true, 0, 0, 10, 10);
  badPlaceable[24] = 5;  // the header size after the placeable header
  EXPECT_EQ(DecodeError(badPlaceable, "a.wmf"), kErrUnsupported);

  EXPECT_EQ(DecodeError(EmfWriter(100, 100).Build({}, 0), "a.emf", &text), kErrFormat);
  EXPECT_EQ(text, "Decoder error: No header information in metafile\n");
  Bytes badSignature = EmfWriter(100, 100).Build();
  badSignature[40] = 'X';
  EXPECT_EQ(DecodeError(badSignature, "a.emf", &text), kErrUnsupported);
  EXPECT_EQ(text, "Decoder error: Windows Metafile functions failed to load this image.\n");
  EXPECT_EQ(DecodeError(Bytes(40, 0), "a.emf"), kErrUnsupported);
  // Absurd sizes are refused before any pixel is allocated.
  EXPECT_EQ(DecodeError(WmfWriter().Build(true, 0, 0, 32000, 32000, 1), "a.wmf", &text),
            kErrNoMemory);
  EXPECT_EQ(text, "Decoder error: Cannot allocate memory bitmap.\n");
}

TEST(WMFRobustness, AbsurdSidesAreScaledDownAndCostlyDrawingIsRefused) {
  // A frame far taller than any display (about 40 x 140000 pixels) filled by a path: drawn at
  // most kMaxShownSide tall, aspect kept.
  EmfWriter tall(1058, 3700000);
  tall.Record(59, {});                           // BEGINPATH
  tall.Record(27, {0, 0});                       // MOVETOEX
  tall.Record(54, {1000, 1000});                 // LINETO
  tall.Record(54, {0, 1000});                    // LINETO
  tall.Record(60, {}).Record(62, {0, 0, 0, 0});  // ENDPATH, FILLPATH
  const auto b = Decode(tall.Build(), "tall.emf");
  const QSize full = ExpectedEmfSize(1058, 3700000);
  const int height = full.height(), width = full.width();
  ASSERT_GT(height, CWMFDecoder::kMaxShownSide);
  EXPECT_EQ(b->GetHeight(), CWMFDecoder::kMaxShownSide);
  EXPECT_NEAR(b->GetWidth(), double(width) * CWMFDecoder::kMaxShownSide / height, 1);

  // Whole-picture rectangles: a few are drawn, thousands exceed the work budget.
  for (const int count : {100, 3000}) {
    EmfWriter w(26458, 26458);  // 1000 x 1000 recording pixels
    for (int i = 0; i < count; ++i) w.Record(43, {0, 0, 1000, 1000});
    std::string text;
    EXPECT_EQ(DecodeError(w.Build(), "many.emf", &text), count == 100 ? 0 : kErrFormat);
    if (count > 100) {
      EXPECT_NE(text.find("exceeds the work"), std::string::npos) << text;
    }
  }

  // A band reaching 67 million rows below the picture: the fill is cut to the picture and drawn
  // (the rasterizer would walk every row); a wide stroke of it would be walked, and is refused.
  for (const bool stroke : {false, true}) {
    EmfWriter far(26458, 26458);
    far.Record(37, {0x80000004u});                                  // BLACK_BRUSH
    if (stroke) far.Record(38, {1, 0, 200, 0, 0}).Record(37, {1});  // solid pen 200 wide
    far.Record(59, {}).Record(27, {500, 0}).Record(54, {1000, 0}).Record(54, {1000, 67109864});
    far.Record(54, {500, 67109864}).Record(60, {}).Record(stroke ? 64 : 62, {0, 0, 0, 0});
    SCOPED_TRACE(stroke ? "stroke" : "fill");
    std::string text;
    ASSERT_EQ(DecodeError(far.Build(), "far.emf", &text), stroke ? kErrFormat : 0) << text;
    if (stroke) continue;
    const auto b = Decode(far.Build(), "far.emf");
    EXPECT_EQ(b->GetPixel(b->GetWidth() * 3 / 4, b->GetHeight() - 2) & 0xFFFFFF, 0u);
    EXPECT_EQ(b->GetPixel(b->GetWidth() / 4, b->GetHeight() - 2) & 0xFFFFFF, 0xFFFFFFu);
  }
}

TEST(WMFRules, MetafilePaletteGivesEightBitPicture) {
  const std::vector<RvPixel> palette = {RvMakePixel(255, 255, 255), RvMakePixel(200, 0, 0),
                                        RvMakePixel(0, 0, 190)};
  EmfWriter w(2646, 2646);                      // 100 x 100 recording pixels
  w.Record(39, {1, 0, Colour(210, 10, 5), 0});  // solid brush, nearly the second entry
  w.Record(37, {1});
  w.Record(37, {0x80000008u});     // NULL_PEN
  w.Record(43, {10, 10, 50, 50});  // rectangle
  const auto b = Decode(w.Build(palette), "p.emf");
  ASSERT_EQ(b->GetBitsPerPixel(), 8);
  EXPECT_FALSE(b->HasAlpha());
  const RvPixel* entries = b->GetPalette();
  EXPECT_EQ(entries[1], palette[1]);
  EXPECT_EQ(entries[3], RvMakePixel(0, 0, 0));  // the rest of the 256 entries is black
  const double s = b->GetWidth() / 100.0;
  EXPECT_EQ(b->GetPixel(int(30 * s), int(30 * s)), 1u);
  EXPECT_EQ(b->GetPixel(int(80 * s), int(80 * s)), 0u);
  // A request for 32 bits keeps the colours.
  const auto wide = Decode(w.Build(palette), "p.emf", 32);
  EXPECT_EQ(wide->GetBitsPerPixel(), 32);
  EXPECT_LE(Distance(wide->GetPixel(int(30 * s), int(30 * s)), RvMakePixel(210, 10, 5)), 1);

  // A Windows metafile carries its palette in a palette record.
  WmfWriter p;
  p.Record(0x00F7, {0x300, 2, 0x00FF, 0x0000, 0x0000, 0x00FF});  // red, blue (r,g,b,flags bytes)
  const auto c = Decode(p.Build(true, 0, 0, 100, 100, 96), "p.wmf");
  EXPECT_EQ(c->GetBitsPerPixel(), 8);
  EXPECT_EQ(c->GetPalette()[0], RvMakePixel(255, 0, 0));
  EXPECT_EQ(c->GetPalette()[1], RvMakePixel(0, 0, 255));
}

// --- Records built here. ---

TEST(WMFRecords, WindowMappingObjectsAndShapes) {
  WmfWriter w;
  w.Record(0x020B, {0, 0});                  // window origin 0, 0
  w.Record(0x020C, {200, 400});              // window extent 400 x 200 units
  w.Record(0x02FC, {0, 0x00FF, 0x0000, 0});  // brush 0: red
  w.Record(0x02FA, {5, 0, 0, 0, 0});         // pen 1: null
  w.Record(0x012D, {0});
  w.Record(0x012D, {1});
  w.Record(0x041B, {100, 200, 0, 0});        // rectangle 0,0 - 200,100 (bottom, right, top, left)
  w.Record(0x01F0, {0});                     // delete the red brush: slot 0 is free again
  w.Record(0x02FC, {0, 0xFF00, 0x0000, 0});  // brush in slot 0: green
  w.Record(0x012D, {0});
  w.Record(0x0418, {200, 400, 100, 200});    // ellipse 200,100 - 400,200
  w.Record(0x001E, {});                      // save
  w.Record(0x02FC, {0, 0x0000, 0x00FF, 0});  // brush 2: blue
  w.Record(0x012D, {2});
  w.Record(0x0127, {0xFFFF});                       // restore: green again
  w.Record(0x0324, {3, 0, 199, 100, 101, 0, 101});  // triangle 0,199 100,101 0,101
  const auto b = Decode(w.Build(true, 0, 0, 200, 100, 48), "shapes.wmf");
  ASSERT_EQ(b->GetWidth(), 400);  // 200 units at 48 per inch, 96 pixels per inch
  ASSERT_EQ(b->GetHeight(), 200);
  EXPECT_EQ(b->GetPixel(50, 25) & 0xFFFFFF, 0xFF0000u);    // rectangle: red, top left quarter
  EXPECT_EQ(b->GetPixel(300, 150) & 0xFFFFFF, 0x00FF00u);  // ellipse centre: green
  EXPECT_EQ(b->GetPixel(205, 105) & 0xFFFFFF, 0xFFFFFFu);  // ellipse corner stays white
  EXPECT_EQ(b->GetPixel(20, 150) & 0xFFFFFF, 0x00FF00u);   // triangle with the restored brush
  EXPECT_EQ(b->GetPixel(150, 150) & 0xFFFFFF, 0xFFFFFFu);
}

TEST(WMFRecords, PolyPolygonAlternateLeavesTheHoleAndStretchDibDraws) {
  WmfWriter w;
  w.Record(0x02FC, {0, 0, 0, 0});  // black brush
  w.Record(0x012D, {0});
  // Outer square 10..90 and inner square 40..60, even-odd filling (the default).
  w.Record(0x0538, {2, 4, 4, 10, 10, 90, 10, 90, 90, 10, 90, 40, 40, 60, 40, 60, 60, 40, 60});
  // A 2 x 2 DIB (24 bits) stretched onto 100,0 - 140,40 : bottom row blue, yellow; top red,
  // green.
  std::vector<int> dib = {40, 0, 2, 0, 2, 0, 1, 24, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  // Rows bottom-up, 8 bytes each (6 + 2 padding), written as little-endian words.
  const Bytes rows = {0xFF, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0, 0xFF, 0, 0, 0};
  for (std::size_t i = 0; i < rows.size(); i += 2) dib.push_back(rows[i] | (rows[i + 1] << 8));
  std::vector<int> stretch = {0x0020, 0x00CC, 0, 2, 2, 0, 0, 40, 40, 0, 100};
  stretch.insert(stretch.end(), dib.begin(), dib.end());
  w.Record(0x0F43, stretch);
  const auto b = Decode(w.Build(true, 0, 0, 150, 100, 96), "poly.wmf");
  ASSERT_EQ(b->GetWidth(), 150);
  ExpectPixels(*b, {Px(20, 20, 0u), Px(50, 50, 0xFFFFFFu), Px(95, 95, 0xFFFFFFu)}, false, 0xFFFFFF);
  EXPECT_LE(Distance(b->GetPixel(105, 5), RvMakePixel(255, 0, 0)), 8);
  EXPECT_LE(Distance(b->GetPixel(135, 5), RvMakePixel(0, 255, 0)), 8);
  EXPECT_LE(Distance(b->GetPixel(105, 35), RvMakePixel(0, 0, 255)), 8);
  EXPECT_LE(Distance(b->GetPixel(135, 35), RvMakePixel(255, 255, 0)), 8);
}

TEST(WMFRecords, EnhancedPathsTransformsAndBitmaps) {
  EmfWriter w(2646, 2646);                     // 100 x 100 recording pixels
  w.Record(39, {1, 0, Colour(0, 0, 255), 0});  // blue brush
  w.Record(37, {1});
  w.Record(37, {0x80000008u});  // NULL_PEN
  // World transform: move everything 50 right.
  w.Record(35, {0x3F800000u, 0, 0, 0x3F800000u, 0x42480000u, 0});
  w.Record(59, {});                                                                // begin path
  w.Record(27, {0, 0});                                                            // move to 0,0
  w.Record(88, {0, 0, 0, 0, 3, 40 | (0 << 16), 40 | (40 << 16), 0 | (40 << 16)});  // bezier to
  w.Record(61, {});                                                                // close figure
  w.Record(60, {});                                                                // end path
  w.Record(62, {0, 0, 0, 0});                                                      // fill path
  w.Record(36, {0, 0, 0, 0, 0, 0, 1});  // back to identity
  // Polygon16 in the lower left: a red triangle.
  w.Record(39, {2, 0, Colour(255, 0, 0), 0});
  w.Record(37, {2});
  w.Record(86, {0, 0, 0, 0, 3, 0 | (100 << 16), 40 | (60 << 16), 40 | (100 << 16)});
  // Inside the bezier figure moved right, where it would be without the transform, the triangle.
  ExpectScaled(*Decode(w.Build(), "paths.emf"), {Px(70, 10, 0x0000FFu), Px(20, 10, 0xFFFFFFu),
                                                 Px(35, 95, 0xFF0000u), Px(5, 65, 0xFFFFFFu)});
}

TEST(WMFRecords, EnhancedTextIsDrawnWithItsColour) {
  if (!RvEnsureMetafileFonts()) GTEST_SKIP() << "no fonts installed";
  EmfWriter w(2646, 2646);
  // Font: height -30, weight 700, face "DejaVu Sans".
  std::vector<std::uint32_t> font = {1, std::uint32_t(-30), 0, 0, 0, 700, 0, 0};
  const std::u16string face = u"DejaVu Sans";
  std::vector<std::uint16_t> chars(32, 0);
  std::copy(face.begin(), face.end(), chars.begin());
  for (int i = 0; i < 32; i += 2) font.push_back(chars[i] | (std::uint32_t(chars[i + 1]) << 16));
  w.Record(82, font);
  w.Record(37, {1});
  w.Record(24, {Colour(0, 160, 0)});  // text colour
  w.Record(18, {1});                  // transparent background
  // ExtTextOutW "HH" at 10, 60 (top-left reference): string at offset 76.
  w.Record(84, {0, 0, 0, 0, 1, 0, 0, 10, 60, 2, 76, 0, 0, 0, 0, 0, 0, 'H' | ('H' << 16)});
  const auto b = Decode(w.Build(), "text.emf");
  int green = 0;
  for (int y = 0; y < b->GetHeight(); ++y)
    for (int x = 0; x < b->GetWidth(); ++x)
      if (Distance(b->GetPixel(x, y), RvMakePixel(0, 160, 0)) < 40) ++green;
  EXPECT_GT(green, 60);
  ExpectScaled(*b, {Px(10, 40, 0xFFFFFFu)});  // nothing above the text
}

// --- Malformed data ends the picture, never reads past it. ---

TEST(WMFRobustness, RecordClaimingMoreThanTheFileEndsThePicture) {
  WmfWriter w;
  w.Record(0x02FC, {0, 0, 0, 0});
  w.Record(0x012D, {0});
  w.Record(0x041B, {50, 50, 0, 0});  // black square: drawn
  // A record claiming 200000 bytes.
  w.Raw().LE32(100000).LE16(0x041B).LE16(100).LE16(100).LE16(50).LE16(50);
  Bytes data = w.Build(true, 0, 0, 100, 100, 96);
  data.resize(data.size() - 6);  // and no end record
  const auto b = Decode(data, "cut.wmf");
  ExpectPixels(*b, {Px(25, 25, 0u), Px(75, 75, 0xFFFFFFu)}, false, 0xFFFFFF);

  EmfWriter e(2646, 2646);
  e.Record(39, {1, 0, 0, 0});
  e.Record(37, {1});
  e.Record(43, {0, 0, 50, 50});
  e.Raw().LE32(43).LE32(0x7FFFFFF0u);  // size far past the end
  e.Raw().LE32(50).LE32(50).LE32(100).LE32(100);
  ExpectScaled(*Decode(e.Build(), "cut.emf"), {Px(25, 25, 0u), Px(75, 75, 0xFFFFFFu)});

  // A polygon whose count runs past its record is malformed: nothing of it is drawn.
  WmfWriter p;
  p.Record(0x02FC, {0, 0, 0, 0});
  p.Record(0x012D, {0});
  p.Record(0x0324, {30000, 0, 0, 100, 0, 100, 100});
  p.Record(0x041B, {100, 100, 0, 0});  // after the malformed record: not played
  const auto d = Decode(p.Build(true, 0, 0, 100, 100, 96), "poly.wmf");
  EXPECT_EQ(d->GetPixel(50, 50) & 0xFFFFFF, 0xFFFFFFu);
}

TEST(WMFRobustness, TruncatedAndCorruptedFilesNeverCrash) {
  for (const char* name : {"drawing.wmf", "drawing.emf", "text.wmf", "text.emf"}) {
    SCOPED_TRACE(name);
    const Bytes full = ReadBytes(DataPath(name));
    // A cut file decodes what is there, or raises a decoder error.
    for (std::size_t n = 0; n < full.size(); n += 13) {
      const int code = DecodeError(Bytes(full.begin(), full.begin() + n), name);
      EXPECT_TRUE(code == 0 || code == kErrUnsupported || code == kErrFormat) << n << ": " << code;
    }
    std::uint32_t seed = 777;
    for (int round = 0; round < 150; ++round) {
      Bytes bad = full;
      for (int k = 0; k < 6; ++k) {
        seed = seed * 1103515245 + 12345;
        const std::size_t at = 100 + (seed >> 8) % (bad.size() - 100);
        bad[at] = std::uint8_t(seed >> 24);
      }
      const int code = DecodeError(bad, name);
      EXPECT_TRUE(code == 0 || code == kErrUnsupported || code == kErrFormat ||
                  code == kErrNoMemory)
          << round << ": " << code;
    }
  }
}

TEST(WMFThreads, WorkerThreadsRenderTheSamePicture) {
  const Bytes data = ReadBytes(DataPath("text.emf"));
  const Bytes expected = BitmapToRGBA(*Decode(data, "text.emf"));
  Bytes results[2];
  std::thread first([&] { results[0] = BitmapToRGBA(*Decode(data, "text.emf")); });
  std::thread second([&] { results[1] = BitmapToRGBA(*Decode(data, "text.emf")); });
  first.join();
  second.join();
  EXPECT_EQ(results[0], expected);
  EXPECT_EQ(results[1], expected);
}

// The general decoding hands metafile names to the registered decoder, whatever the content.
TEST(WMFRegistration, GeneralDecoderUsesTheRegisteredFactory) {
  RvRegisterMetafileDecoder();
  CAutoImageDecoder decoder;
  CDIBSectionBitmap bitmap;
  decoder.DecodeFile(DataPath("drawing.wmf"), &bitmap);
  EXPECT_EQ(bitmap.GetWidth(), 2999 * 96 / 1200);
  EXPECT_EQ(decoder.GetLastDecoderName(), "wmf");
  const Bytes png = ReadBytes(Data("imaging/png_rgb8.png"));
  CMemImageSource source;
  source.Open(png.data(), png.size(), "/shots/drawing.EMF");
  std::string text;
  EXPECT_EQ(ErrorOf([&] { decoder.DecodeSource(&source, &bitmap, 0); }, &text), kErrUnsupported);
  EXPECT_EQ(text, "Decoder error: Windows Metafile functions failed to load this image.\n");
  EXPECT_EQ(decoder.GetLastDecoderName(), "emf");
}

TEST(WMFRecords, PieFollowsItsRadialsAndClipRectanglesLimitDrawing) {
  WmfWriter w;
  w.Record(0x02FC, {0, 0x0000, 0x00FF, 0});  // blue brush
  w.Record(0x012D, {0});
  // Pie in 0,0 - 100,100 from the 3 o'clock radial counter-clockwise to 12 o'clock.
  w.Record(0x081A, {0, 50, 50, 100, 100, 100, 0, 0});
  w.Record(0x0416, {200, 150, 0, 100});  // clip to 100,0 - 150,200
  w.Record(0x041B, {200, 200, 0, 100});  // rectangle 100,0 - 200,200: only its left half shows
  const auto b = Decode(w.Build(true, 0, 0, 200, 200, 96), "pie.wmf");
  ExpectPixels(*b,
               {Px(75, 25, 0x0000FFu), Px(25, 25, 0xFFFFFFu), Px(75, 75, 0xFFFFFFu),
                Px(125, 100, 0x0000FFu), Px(175, 100, 0xFFFFFFu)},
               false, 0xFFFFFF);
}

TEST(WMFRecords, EnhancedMapModesAndStretchDiBits) {
  // Anisotropic: 1000 logical units are 100 recording pixels.
  EmfWriter a(2646, 2646);
  a.Record(17, {8});
  a.Record(9, {1000, 1000});
  a.Record(11, {100, 100});
  a.Record(39, {1, 0, 0, 0});
  a.Record(37, {1});
  a.Record(43, {0, 0, 500, 250});
  ExpectScaled(*Decode(a.Build(), "aniso.emf"),
               {Px(40, 20, 0u), Px(60, 20, 0xFFFFFFu), Px(40, 30, 0xFFFFFFu)});

  // Low metric: tenths of a millimetre with y counting upwards.
  EmfWriter m(2646, 2646);
  m.Record(17, {2});
  m.Record(39, {1, 0, 0, 0});
  m.Record(37, {1});
  m.Record(43, {0, 0, 150, std::uint32_t(-150)});  // 15 mm square below the origin
  const auto c = Decode(m.Build(), "metric.emf");
  const double mmPx = c->GetWidth() / 26.46;  // picture pixels per millimetre
  ExpectPixels(
      *c, {Px(int(10 * mmPx), int(10 * mmPx), 0u), Px(int(20 * mmPx), int(20 * mmPx), 0xFFFFFFu)},
      false, 0xFFFFFF);

  // StretchDIBits: a 1 x 1 green bitmap stretched over 20,20 - 60,60.
  EmfWriter d(2646, 2646);
  d.Record(81, {0,           0,  0,  0,  20, 20, 0,           0, 1, 1, 80, 40, 120, 4,          0,
                0x00CC0020u, 40, 40, 40, 1,  1,  0x00180001u, 0, 4, 0, 0,  0,  0,   0x0000FF00u});
  ExpectScaled(*Decode(d.Build(), "dib.emf"), {Px(40, 40, 0x00FF00u), Px(70, 40, 0xFFFFFFu)});
}

TEST(WMFRobustness, ManyObjectsKeepTheirSlots) {
  // 20000 brushes, never deleted, then the first and the last selected: slots are numbered in
  // creation order and found without searching the whole table each time.
  WmfWriter w;
  for (int i = 0; i < 20000; ++i) w.Record(0x02FC, {0, i == 19999 ? 0x00FF : 0, 0, 0});
  w.Record(0x01F0, {5});                // free slot 5 ...
  w.Record(0x02FC, {0, 0xFF00, 0, 0});  // ... which the next object takes: green
  w.Record(0x012D, {19999});            // red
  w.Record(0x041B, {50, 50, 0, 0});
  w.Record(0x012D, {5});  // green
  w.Record(0x041B, {100, 100, 50, 50});
  const auto b = Decode(w.Build(true, 0, 0, 100, 100, 96), "many.wmf");
  ExpectPixels(*b, {Px(25, 25, 0xFF0000u), Px(75, 75, 0x00FF00u)}, false, 0xFFFFFF);
}
