// The two families every decoder shares, one table each: files written by independent tools
// decode like the tools' own decode (or the stored picture they were written from), and cut
// copies of valid files fail with the right error and never read outside their data.
#include <gtest/gtest.h>

#include "DecoderTestSupport.h"
#include "imaging/FrameDecoder.h"
#include "imaging/decoders/GIFDecoder.h"
#include "imaging/decoders/JPEGDecoder.h"
#include "imaging/decoders/LightwaveIFFDecoder.h"
#include "imaging/decoders/MacPictDecoder.h"
#include "imaging/decoders/PCXDecoder.h"
#include "imaging/decoders/PGMDecoder.h"
#include "imaging/decoders/PNGDecoder.h"
#include "imaging/decoders/SGIDecoder.h"
#include "imaging/decoders/TGADecoder.h"
#include "imaging/decoders/TIFFDecoder.h"
#include "imaging/decoders/WinBmpDecoder.h"

using namespace dectest;

namespace {

std::string TestName(std::string name) {
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

struct ToolFile {
  const char* file;       // under tests/data
  const char* decoder;    // the frame decoder's name for it
  const char* reference;  // "": ImageMagick's decode; a netpbm reader's name; "oiio/D" or
                          // "oiio/D:file": oiiotool's decode (see OiioDecode) of this file or
                          // of its source; "x.ppm"/"x.pam": the stored picture it was made from
  int bpp;
  bool alpha;
  int tolerance = 0;  // per component
  int bppWanted = 0;
};

void PrintTo(const ToolFile& c, std::ostream* os) { *os << c.file << " " << c.bppWanted; }

class ToolFiles : public ::testing::TestWithParam<ToolFile> {};

TEST_P(ToolFiles, DecodeLikeTheToolsOwnDecode) {
  const ToolFile& c = GetParam();
  const std::string ref = c.reference, path = Data(c.file);
  Rgba theirs;
  std::string why;
  bool ok;
  if (ref.rfind("oiio/", 0) == 0) {
    const std::size_t colon = ref.find(':');
    ok = OiioDecode(colon == std::string::npos ? path : Data(ref.substr(colon + 1)),
                    std::atoi(ref.c_str() + 5), &theirs, &why);
  } else if (ref.find(".p") != std::string::npos) {
    ok = ParsePnm(DataBytes(ref), &theirs);
  } else {
    ok = ToolDecode(path, ref, &theirs, &why);
  }
  if (!ok) GTEST_SKIP() << why;

  CFrameDecoder decoder;
  CDIBSectionBitmap bitmap;
  decoder.DecodeFile(path, &bitmap, c.bppWanted);
  EXPECT_EQ(decoder.GetLastDecoderName(), c.decoder);
  EXPECT_EQ(bitmap.GetBitsPerPixel(), c.bpp);
  EXPECT_EQ(bitmap.HasAlpha(), c.alpha);
  EXPECT_EQ(bitmap.GetLockCount(), 0);
  // Rows whose tolerance is a loss of low bits may be off by half of it on average.
  const double mean = c.tolerance > 4 ? c.tolerance / 2.0 : c.tolerance ? 1.0 : 0.0;
  // Alpha within 1 where 16-bit samples are rounded, else exact.
  ExpectSamePicture(RgbaOf(bitmap), theirs, c.alpha ? std::min(c.tolerance, 1) : 0, c.tolerance,
                    mean);
}

// 16-bit PNG samples are rounded to 8 bits by both sides but by different formulas: 1 apart.
// JPEG: the floating-point IDCT against ImageMagick's integer one. A maximum of 1000 in a PGM
// is rescaled with truncation here, with rounding by ImageMagick. 16-bit bitmap components keep
// their top five bits here while ImageMagick rescales them. ImageMagick shows one-bit PCX files
// inverted; netpbm, which wrote them, reads them as written.
const ToolFile kToolFiles[] = {
    {"decoders/p5.pgm", "pgm", "", 8, false},
    {"decoders/p2.pgm", "pgm", "", 8, false},
    {"decoders/p2max15.pgm", "pgm", "", 8, false},
    {"decoders/p5max1000.pgm", "pgm", "", 8, false, 1},
    {"decoders/p5.pgm", "pgm", "", 32, false, 0, 32},
    {"decoders/sgi24.sgi", "sgi", "", 32, true},
    {"decoders/sgi24rle.sgi", "sgi", "", 32, true},
    {"decoders/sgi32.sgi", "sgi", "", 32, true},
    {"decoders/sgi32rle.sgi", "sgi", "", 32, true},
    {"decoders/sgi48.sgi", "sgi", "", 32, true},
    {"decoders/tga24.tga", "tga", "", 32, false},
    {"decoders/tga24rle.tga", "tga", "", 32, false},
    {"decoders/tga32.tga", "tga", "", 32, true},
    {"decoders/tga32rle.tga", "tga", "", 32, true},
    {"decoders/tga8map.tga", "tga", "", 8, false},
    {"decoders/tga8maprle.tga", "tga", "", 8, false},
    {"decoders/tgagrey.tga", "tga", "", 8, false},
    {"decoders/tgagreyrle.tga", "tga", "", 8, false},
    {"decoders/tgagreyrle.tga", "tga", "", 32, false, 0, 32},
    {"decoders/pcx24.pcx", "pcx", "pcxtoppm", 32, false},
    {"decoders/pcx8.pcx", "pcx", "pcxtoppm", 32, false},
    {"decoders/pcx1.pcx", "pcx", "pcxtoppm", 32, false},
    {"decoders/pcx4planes.pcx", "pcx", "pcxtoppm", 32, false},
    {"decoders/pcx2packed.pcx", "pcx", "pcxtoppm", 32, false},
    {"decoders/ilbm24.iff", "lightwave-iff", "ilbmtoppm", 32, true},
    {"decoders/ilbm24rle.iff", "lightwave-iff", "ilbmtoppm", 32, true},
    {"decoders/bmp24.bmp", "bmp", "", 32, false},
    {"decoders/bmp32.bmp", "bmp", "", 32, false},
    {"decoders/bmp8.bmp", "bmp", "", 8, false},
    {"decoders/bmp8v5.bmp", "bmp", "", 8, false},
    {"decoders/bmp8rle.bmp", "bmp", "", 8, false},
    {"decoders/bmp8rle.bmp", "bmp", "", 32, false, 0, 32},
    {"decoders/bmp4.bmp", "bmp", "", 8, false},
    {"decoders/bmp1.bmp", "bmp", "", 8, false},
    {"decoders/bmp565.bmp", "bmp", "", 32, false, 7},
    {"decoders/bmp555.bmp", "bmp", "", 32, false, 7},
    // oiiotool 2.4 misreads two kinds of its own Maya files: verbatim 16-bit tiles (zeros) and
    // the alpha of run-length 16-bit tiles (bytes swapped against its writer and other
    // readers); those are compared with its decode of the picture they were written from.
    {"decoders/maya24rle.iff", "maya-iff", "oiio/1", 32, true},
    {"decoders/maya16rle.iff", "maya-iff", "oiio/257", 32, true},
    {"decoders/maya16.iff", "maya-iff", "oiio/257:decoders/src16.png", 32, true},
    {"decoders/mayaa16rle.iff", "maya-iff", "oiio/257:decoders/srca16.png", 32, true},
    {"decoders/mayaa16.iff", "maya-iff", "oiio/257:decoders/srca16.png", 32, true},
    {"pict/rgb37x23-im.pict", "pict", "pict/rgb37x23.ppm", 32, false},
    {"pict/pal29x17-im.pict", "pict", "pict/pal29x17.ppm", 32, false},
    {"pict/rgba37x23-im.pict", "pict", "pict/rgba37x23.pam", 32, true},
    {"pict/pal29x17-im8.pict", "pict", "pict/pal29x17.ppm", 8, false},
    {"pict/pal29x17-netpbm.pict", "pict", "pict/pal29x17.ppm", 8, false},
    {"pict/rgbq37x23-netpbm.pict", "pict", "pict/rgbq37x23.ppm", 8, false},
    {"imaging/png_grey1.png", "png", "", 8, false},
    {"imaging/png_grey2.png", "png", "", 8, false},
    {"imaging/png_grey4.png", "png", "", 8, false},
    {"imaging/png_grey8.png", "png", "", 8, false},
    {"imaging/png_grey16.png", "png", "", 8, false, 1},
    {"imaging/png_grey4.png", "png", "", 32, false, 0, 32},
    {"imaging/png_grey_trns.png", "png", "", 32, true},
    {"imaging/png_greyalpha8.png", "png", "", 32, true},
    {"imaging/png_greyalpha16.png", "png", "", 32, true, 1},
    {"imaging/png_rgb8.png", "png", "", 32, false},
    {"imaging/png_rgb16.png", "png", "", 32, false, 1},
    {"imaging/png_rgba8.png", "png", "", 32, true},
    {"imaging/png_rgba16.png", "png", "", 32, true, 1},
    {"imaging/png_pal2.png", "png", "", 8, false},
    {"imaging/png_pal4.png", "png", "", 8, false},
    {"imaging/png_pal8.png", "png", "", 8, false},
    {"imaging/png_pal8.png", "png", "", 32, false, 0, 32},
    {"imaging/png_pal_trns.png", "png", "", 32, true},
    {"imaging/png_rgb_interlaced.png", "png", "", 32, false},
    {"imaging/png_rgba_interlaced.png", "png", "", 32, true, 1},
    {"imaging/jpeg_rgb.jpg", "jpeg", "", 32, false, 4},
    {"imaging/jpeg_grey.jpg", "jpeg", "", 8, false, 4},
    {"imaging/jpeg_cmyk.jpg", "jpeg", "", 32, false, 4},
    {"imaging/jpeg_progressive.jpg", "jpeg", "", 32, false, 4},
    {"imaging/jpeg_rgb420.jpg", "jpeg", "", 32, false, 4},
    {"imaging/tiff_pal8.tif", "tiff", "", 8, false},
    {"imaging/tiff_grey8.tif", "tiff", "", 8, false},
    {"imaging/tiff_grey8.tif", "tiff", "", 32, false, 0, 32},
    {"imaging/tiff_grey1.tif", "tiff", "", 8, false},
    {"imaging/tiff_rgb.tif", "tiff", "", 32, false},
    {"imaging/tiff_rgba.tif", "tiff", "", 32, true},
    {"imaging/tiff_rgba_unassoc.tif", "tiff", "", 32, true},
    {"imaging/tiff_rgba_planar.tif", "tiff", "", 32, true},
    {"imaging/tiff_rgb16.tif", "tiff", "", 32, false},
    {"imaging/tiff_rgba16.tif", "tiff", "", 32, true},
    {"imaging/tiff_rgb16_planar.tif", "tiff", "", 32, false},
    {"imaging/tiff_rgb16_tiled.tif", "tiff", "", 32, false},
    {"imaging/tiff_grey16.tif", "tiff", "", 32, false},
    {"imaging/tiff_grey8_tiled.tif", "tiff", "", 32, false},
    {"imaging/tiff_rgb_tiled.tif", "tiff", "", 32, false},
    // Float and half samples (written by oiiotool) clipped to 0-1, scaled to 8 bits and rounded.
    {"imaging/tiff_float.tif", "tiff", "oiio/0", 32, false},
    {"imaging/tiff_half_rgba.tif", "tiff", "oiio/0", 32, true},
    {"imaging/gif_16.gif", "gif", "", 8, false},
    {"imaging/gif_interlaced.gif", "gif", "", 8, false},
};

INSTANTIATE_TEST_SUITE_P(Decoders, ToolFiles, ::testing::ValuesIn(kToolFiles),
                         [](const ::testing::TestParamInfo<ToolFile>& info) {
                           return TestName(info.param.file) + (info.param.bppWanted ? "_to32" : "");
                         });

using Maker = std::unique_ptr<CImageDecoder> (*)();
template <class D>
std::unique_ptr<CImageDecoder> Make() {
  return std::make_unique<D>();
}

struct Cuts {
  const char* file;  // under tests/data
  Maker decoder;
  long from;  // the first cut; below 0 counts from the end of the file
  long to;    // the end of the cuts; 0 or less counts from the end
  long step;  // 0: about 100 cuts
  std::vector<int> codes;
  bool mayDecode = false;  // a cut may decode when its pixels are the whole file's
};

void PrintTo(const Cuts& c, std::ostream* os) { *os << c.file << " " << c.from << ".." << c.to; }

class Truncations : public ::testing::TestWithParam<Cuts> {};

TEST_P(Truncations, FailWithTheirCodeAndStayInsideTheData) {
  const Cuts& c = GetParam();
  const Bytes file = DataBytes(c.file);
  const long size = long(file.size());
  const long from = c.from < 0 ? size + c.from : c.from, to = c.to > 0 ? c.to : size + c.to;
  ASSERT_LT(from, to);
  ExpectCutsFail(
      [&](const Bytes& bytes) -> std::unique_ptr<CImageBitmap> {
        const auto exact = std::make_unique<std::uint8_t[]>(std::max<std::size_t>(1, bytes.size()));
        std::copy(bytes.begin(), bytes.end(), exact.get());
        auto bitmap = std::make_unique<CDIBSectionBitmap>();
        c.decoder()->DecodeMemory(exact.get(), bytes.size(), bitmap.get());
        return bitmap;
      },
      file, c.codes, c.mayDecode, std::size_t(from), std::size_t(to),
      std::size_t(c.step ? c.step : std::max(1L, (to - from) / 100)));
}

constexpr int kEnd = kErrEndOfFile;

// Inside a header the data simply ends; uncompressed pixels cut short are refused by the
// size check before decoding (the header claims more than the file holds); run-length data
// ends before the picture is complete.
const Cuts kCuts[] = {
    {"decoders/p5.pgm", Make<CPGMDecoder>, -1, 0, 1, {kErrFormat}},
    {"decoders/sgi24.sgi", Make<CSGIDecoder>, 511, 512, 1, {kEnd}},
    {"decoders/sgi24.sgi", Make<CSGIDecoder>, -1, 0, 1, {kErrFormat}},
    {"decoders/sgi32rle.sgi", Make<CSGIDecoder>, 512 + 8 * 11 * 4, -1, 53, {kEnd}},
    {"decoders/tga24.tga", Make<CTGADecoder>, 0, 18, 17, {kEnd}},
    {"decoders/tga24.tga", Make<CTGADecoder>, 400, 401, 1, {kErrFormat}},
    {"decoders/tga32rle.tga", Make<CTGADecoder>, 40, -30, 23, {kEnd}},
    {"decoders/ilbm24.iff", Make<CLightwaveIFFDecoder>, 0, 41, 1, {kEnd}},
    {"decoders/ilbm24.iff", Make<CLightwaveIFFDecoder>, -1, 0, 1, {kErrFormat}},
    {"decoders/ilbm24rle.iff", Make<CLightwaveIFFDecoder>, 80, -1, 47, {kEnd}},
    {"decoders/pcx24.pcx", Make<CPCXDecoder>, 0, 128, 1, {kEnd}},
    {"decoders/pcx24.pcx", Make<CPCXDecoder>, 170, 0, 41, {kEnd}},
    {"decoders/bmp24.bmp", Make<CWinBmpDecoder>, 0, 54, 1, {kEnd}},
    {"decoders/bmp24.bmp", Make<CWinBmpDecoder>, 55, -1, 37, {kErrFormat}},
    {"decoders/bmp8rle.bmp", Make<CWinBmpDecoder>, 1078 + 2, -2, 37, {kEnd}},
    {"pict/rgb37x23-im.pict", Make<CMacPictDecoder>, 0, 0, 1, {kEnd, kErrFormat}},
    {"pict/pal29x17-netpbm.pict", Make<CMacPictDecoder>, 0, 0, 1, {kEnd, kErrFormat}},
    {"pict/jpeg37x23.pict", Make<CMacPictDecoder>, 0, 0, 1, {kEnd, kErrFormat}},
    {"pict/rgba37x23-im.pict", Make<CMacPictDecoder>, 0, 0, 1, {kEnd, kErrFormat}},
    {"pict/rgbq37x23-netpbm.pict", Make<CMacPictDecoder>, 0, 0, 1, {kEnd, kErrFormat}},
    // The library adapters: a header the library cannot parse is the format's refusal; a TIFF
    // may end with tag data the picture does not need.
    {"imaging/png_rgba8.png", Make<CPNGDecoder>, 0, 0, 0, {kEnd, kErrFormat}, true},
    {"imaging/png_rgb_interlaced.png", Make<CPNGDecoder>, 0, 0, 0, {kEnd, kErrFormat}, true},
    {"imaging/jpeg_rgb.jpg", Make<CJPEGDecoder>, 0, 0, 0, {kEnd, kErrFormat}, true},
    {"imaging/jpeg_progressive.jpg", Make<CJPEGDecoder>, 0, 0, 0, {kEnd, kErrFormat}, true},
    {"imaging/tiff_rgb.tif", Make<CTIFFDecoder>, 0, 0, 0, {kEnd, kErrFormat, 1}, true},
    {"imaging/tiff_pal8.tif", Make<CTIFFDecoder>, 0, 0, 0, {kEnd, kErrFormat, 1}, true},
    {"imaging/gif_16.gif", Make<CGIFDecoder>, 0, 0, 0, {kEnd, kErrFormat, 1}, true},
};

INSTANTIATE_TEST_SUITE_P(Decoders, Truncations, ::testing::ValuesIn(kCuts),
                         [](const ::testing::TestParamInfo<Cuts>& info) {
                           return TestName(info.param.file) + "_" + std::to_string(info.index);
                         });

}  // namespace
