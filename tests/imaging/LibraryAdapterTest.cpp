// The PNG, JPEG, TIFF and GIF adapters on files written by ImageMagick and netpbm, compared
// with ImageMagick's own decode; and on damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ImagingTestSupport.h"
#include "decoders/DecoderTestUtil.h"
#include "imaging/FrameDecoder.h"
#include "imaging/decoders/GIFDecoder.h"
#include "imaging/decoders/JPEGDecoder.h"
#include "imaging/decoders/PNGDecoder.h"
#include "imaging/decoders/TIFFDecoder.h"

namespace {

using rvtest::ImagingData;

struct Case {
  const char* file;
  int bpp;        // expected bitmap depth
  bool alpha;     // expected alpha flag
  int tolerance;  // largest colour difference accepted
  bool premultiplied;
  const char* decoder;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.file; }

class ReferenceFiles : public ::testing::TestWithParam<Case> {};

TEST_P(ReferenceFiles, PixelsEqualTheToolsOwnDecode) {
  const Case& c = GetParam();
  if (!rvtest::HaveProgram("convert")) GTEST_SKIP() << "ImageMagick missing";
  const std::string path = ImagingData(c.file);
  int width = 0, height = 0;
  const std::vector<std::uint8_t> theirs = rvtest::ReferenceRGBA(path, &width, &height);
  ASSERT_FALSE(theirs.empty());

  CFrameDecoder decoder;
  CDIBSectionBitmap bitmap;
  decoder.DecodeFile(path, &bitmap);
  EXPECT_EQ(decoder.GetLastDecoderName(), c.decoder);
  EXPECT_EQ(bitmap.GetWidth(), width);
  EXPECT_EQ(bitmap.GetHeight(), height);
  EXPECT_EQ(bitmap.GetBitsPerPixel(), c.bpp);
  EXPECT_EQ(bitmap.HasAlpha(), c.alpha);
  EXPECT_EQ(bitmap.GetLockCount(), 0);
  const std::vector<std::uint8_t> ours = BitmapToRGBA(bitmap);
  ASSERT_EQ(ours.size(), theirs.size());
  const rvtest::PixelDiff d = rvtest::Compare(ours, theirs, c.premultiplied);
  EXPECT_LE(d.maxColour, c.tolerance);
  EXPECT_LE(d.meanColour, c.tolerance == 0 ? 0.0 : 1.0);
  EXPECT_LE(d.maxAlpha, c.alpha ? std::min(c.tolerance, 1) : 0);
}

// 16-bit samples are reduced with rounding on both sides but by different formulas: 1 apart.
// JPEG: the floating-point IDCT against ImageMagick's integer one.
const Case kCases[] = {
    {"png_grey1.png", 8, false, 0, false, "png"},
    {"png_grey2.png", 8, false, 0, false, "png"},
    {"png_grey4.png", 8, false, 0, false, "png"},
    {"png_grey8.png", 8, false, 0, false, "png"},
    {"png_grey16.png", 8, false, 1, false, "png"},
    {"png_grey_trns.png", 32, true, 0, false, "png"},
    {"png_greyalpha8.png", 32, true, 0, false, "png"},
    {"png_greyalpha16.png", 32, true, 1, false, "png"},
    {"png_rgb8.png", 32, false, 0, false, "png"},
    {"png_rgb16.png", 32, false, 1, false, "png"},
    {"png_rgba8.png", 32, true, 0, false, "png"},
    {"png_rgba16.png", 32, true, 1, false, "png"},
    {"png_pal2.png", 8, false, 0, false, "png"},
    {"png_pal4.png", 8, false, 0, false, "png"},
    {"png_pal8.png", 8, false, 0, false, "png"},
    {"png_pal_trns.png", 32, true, 0, false, "png"},
    {"png_rgb_interlaced.png", 32, false, 0, false, "png"},
    {"png_rgba_interlaced.png", 32, true, 1, false, "png"},
    {"jpeg_rgb.jpg", 32, false, 4, false, "jpeg"},
    {"jpeg_grey.jpg", 8, false, 4, false, "jpeg"},
    {"jpeg_cmyk.jpg", 32, false, 4, false, "jpeg"},
    {"jpeg_progressive.jpg", 32, false, 4, false, "jpeg"},
    {"jpeg_rgb420.jpg", 32, false, 4, false, "jpeg"},
    {"tiff_pal8.tif", 8, false, 0, false, "tiff"},
    {"tiff_grey8.tif", 8, false, 0, false, "tiff"},
    {"tiff_grey1.tif", 8, false, 0, false, "tiff"},
    {"tiff_rgb.tif", 32, false, 0, false, "tiff"},
    {"tiff_rgba.tif", 32, true, 0, false, "tiff"},
    {"tiff_rgba_unassoc.tif", 32, true, 0, false, "tiff"},
    {"tiff_rgba_planar.tif", 32, true, 0, false, "tiff"},
    {"tiff_rgb16.tif", 32, false, 0, false, "tiff"},
    {"tiff_rgba16.tif", 32, true, 0, false, "tiff"},
    {"tiff_rgb16_planar.tif", 32, false, 0, false, "tiff"},
    {"tiff_rgb16_tiled.tif", 32, false, 0, false, "tiff"},
    {"tiff_grey16.tif", 32, false, 0, false, "tiff"},
    {"tiff_grey8_tiled.tif", 32, false, 0, false, "tiff"},
    {"tiff_rgb_tiled.tif", 32, false, 0, false, "tiff"},
    {"gif_16.gif", 8, false, 0, false, "gif"},
    {"gif_interlaced.gif", 8, false, 0, false, "gif"},
};

INSTANTIATE_TEST_SUITE_P(Adapters, ReferenceFiles, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           std::string name = info.param.file;
                           for (char& ch : name)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

// Float and half TIFFs (written by oiiotool) show their values clipped to 0-1 and scaled to
// 8 bits, rounded, as oiiotool's own conversion to 8 bits does; unassociated alpha as stored.
class FloatTiffFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(FloatTiffFiles, ClipAndScaleOiiotoolsSamples) {
  const std::string path = ImagingData(GetParam());
  std::vector<double> ref;
  int channels = 0;
  std::string why;
  if (!dectest::OiioSamples(path, &ref, &channels, &why)) GTEST_SKIP() << why;
  CFrameDecoder decoder;
  CDIBSectionBitmap bitmap;
  decoder.DecodeFile(path, &bitmap);
  EXPECT_EQ(bitmap.HasAlpha(), channels == 4);
  const std::vector<std::uint8_t> ours = BitmapToRGBA(bitmap);
  ASSERT_EQ(ours.size() / 4 * std::size_t(channels), ref.size());
  int clipped = 0;
  for (std::size_t i = 0; i < ours.size(); ++i) {
    const std::size_t pixel = i / 4, c = i % 4;
    const double v = c < std::size_t(channels) ? ref[pixel * std::size_t(channels) + c] : 1.0;
    clipped += v < 0 || v > 1;
    ASSERT_EQ(int(ours[i]), int(std::lround(std::clamp(v, 0.0, 1.0) * 255))) << i;
  }
  EXPECT_GT(clipped, 0);  // the files hold values outside 0-1
}

INSTANTIATE_TEST_SUITE_P(Adapters, FloatTiffFiles,
                         ::testing::Values("tiff_float.tif", "tiff_half_rgba.tif"));

std::vector<std::uint8_t> LoadData(const std::string& name) {
  const std::string s = rvtest::ReadFile(ImagingData(name));
  return std::vector<std::uint8_t>(s.begin(), s.end());
}

int DecodeError(CImageDecoder& decoder, const std::vector<std::uint8_t>& data,
                std::string* text = nullptr) {
  CDIBSectionBitmap bitmap;
  try {
    decoder.DecodeMemory(data.data(), data.size(), &bitmap);
  } catch (const CTextException& e) {
    if (text) *text = e.GetText();
    return e.GetCode();
  }
  return 0;
}

TEST(AdapterOptions, ThirtyTwoBitRequestExpandsGreyAndPalette) {
  CPNGDecoder png;
  CDIBSectionBitmap bitmap;
  const std::vector<std::uint8_t> grey = LoadData("png_grey4.png");
  png.DecodeMemory(grey.data(), grey.size(), &bitmap, 32);
  EXPECT_EQ(bitmap.GetBitsPerPixel(), 32);
  EXPECT_FALSE(bitmap.HasAlpha());
  const std::vector<std::uint8_t> pal = LoadData("png_pal8.png");
  png.DecodeMemory(pal.data(), pal.size(), &bitmap, 32);
  EXPECT_EQ(bitmap.GetBitsPerPixel(), 32);
  EXPECT_EQ(RvPixelAlpha(bitmap.GetPixel(3, 3)), 255);

  CTIFFDecoder tiff;
  const std::vector<std::uint8_t> tgrey = LoadData("tiff_grey8.tif");
  tiff.DecodeMemory(tgrey.data(), tgrey.size(), &bitmap, 32);
  EXPECT_EQ(bitmap.GetBitsPerPixel(), 32);
}

TEST(AdapterOptions, FastJpegSkipsFancyUpsampling) {
  if (!rvtest::HaveProgram("convert")) GTEST_SKIP() << "ImageMagick missing";
  const std::string path = ImagingData("jpeg_rgb420.jpg");  // subsampled chroma
  std::string raw;
  ASSERT_EQ(rvtest::RunCommand("convert -define jpeg:fancy-upsampling=off " +
                                   rvtest::ShellQuote(path) + " -depth 8 rgba:-",
                               &raw),
            0);
  const std::vector<std::uint8_t> plain(raw.begin(), raw.end());
  int width = 0, height = 0;
  const std::vector<std::uint8_t> fancy = rvtest::ReferenceRGBA(path, &width, &height);

  const std::vector<std::uint8_t> data = LoadData("jpeg_rgb420.jpg");
  CJPEGDecoder fast;
  fast.SetFast(true);
  CDIBSectionBitmap b;
  fast.DecodeMemory(data.data(), data.size(), &b);
  const std::vector<std::uint8_t> ours = BitmapToRGBA(b);
  EXPECT_LE(rvtest::Compare(ours, plain, false).maxColour, 4);
  EXPECT_GT(rvtest::Compare(ours, fancy, false).maxColour, 8) << "fast mode changed nothing";
}

// Every prefix of a valid file must fail cleanly with end of file or a format error, never
// touch memory outside the data, and never succeed with made-up pixels (a TIFF may end with
// tag data the picture does not need: then the pixels must be the complete file's).
void ExpectTruncationsFail(CImageDecoder& decoder, const std::string& file, int headerCode) {
  const std::vector<std::uint8_t> data = LoadData(file);
  ASSERT_GT(data.size(), 40u);
  CDIBSectionBitmap whole;
  decoder.DecodeMemory(data.data(), data.size(), &whole);
  const std::vector<std::uint8_t> expected = BitmapToRGBA(whole);
  for (std::size_t cut = 0; cut < data.size(); cut += std::max<std::size_t>(1, data.size() / 97)) {
    // An exact-size heap copy lets the sanitizer see any read past the end.
    std::vector<std::uint8_t> part(data.begin(), data.begin() + std::ptrdiff_t(cut));
    CDIBSectionBitmap bitmap;
    int code = 0;
    try {
      decoder.DecodeMemory(part.data(), part.size(), &bitmap);
    } catch (const CTextException& e) {
      code = e.GetCode();
    }
    if (code == 0)
      EXPECT_EQ(BitmapToRGBA(bitmap), expected) << file << " cut at " << cut << " invented pixels";
    else
      EXPECT_TRUE(code == 11 || code == headerCode || code == 2)
          << file << " cut at " << cut << " gave code " << code;
  }
}

TEST(DamagedFiles, TruncatedPngRaises) {
  CPNGDecoder d;
  ExpectTruncationsFail(d, "png_rgba8.png", 2);
  ExpectTruncationsFail(d, "png_rgb_interlaced.png", 2);
}

TEST(DamagedFiles, TruncatedJpegRaises) {
  CJPEGDecoder d;
  ExpectTruncationsFail(d, "jpeg_rgb.jpg", 2);
  ExpectTruncationsFail(d, "jpeg_progressive.jpg", 2);
}

TEST(DamagedFiles, TruncatedTiffRaises) {
  CTIFFDecoder d;
  ExpectTruncationsFail(d, "tiff_rgb.tif", 1);
  ExpectTruncationsFail(d, "tiff_pal8.tif", 1);
}

TEST(DamagedFiles, TruncatedGifRaises) {
  CGIFDecoder d;
  ExpectTruncationsFail(d, "gif_16.gif", 1);
}

TEST(DamagedFiles, EndOfDataKeepsTheSourcesMessage) {
  std::vector<std::uint8_t> data = LoadData("png_rgb8.png");
  data.resize(data.size() / 2);
  CPNGDecoder d;
  std::string text;
  EXPECT_EQ(DecodeError(d, data, &text), 11);
  EXPECT_EQ(text, "End of file reached while decoding.\n");
}

TEST(DamagedFiles, LyingPngSizeIsRefusedBeforeAllocating) {
  std::vector<std::uint8_t> data = LoadData("png_rgb8.png");
  // IHDR width and height at 16 and 20: claim 60000 x 60000 (14 GB of pixels). The CRC no
  // longer matches, so libpng must not be the one stopping it: switch CRC checking off by
  // recomputing it.
  const std::uint8_t big[8] = {0, 0, 0xEA, 0x60, 0, 0, 0xEA, 0x60};
  std::memcpy(&data[16], big, 8);
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 12; i < 29; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  crc ^= 0xFFFFFFFFu;
  data[29] = std::uint8_t(crc >> 24);
  data[30] = std::uint8_t(crc >> 16);
  data[31] = std::uint8_t(crc >> 8);
  data[32] = std::uint8_t(crc);
  CPNGDecoder d;
  std::string text;
  EXPECT_EQ(DecodeError(d, data, &text), 2);
  EXPECT_EQ(text, "Decoder error: Image too large.\n");
}

constexpr std::uint8_t kSof0[2] = {0xFF, 0xC0};

// Headers claiming pictures their files cannot describe are refused before the bitmap is
// reserved (the GIF is a 94-byte file claiming an 18928 x 16972 screen, 321 MB).
TEST(DamagedFiles, PicturesLargerThanTheirDataAreRefused) {
  // Screen, no colour table; an image as large at 0,0 whose data stops after one code.
  std::vector<std::uint8_t> gif = {'G',  'I',  'F',  '8',  '9',  'a', 0xF0, 0x49, 0x4C,
                                   0x42, 0,    0,    0,    0x2C, 0,   0,    0,    0,
                                   0xF0, 0x49, 0x4C, 0x42, 0,    8,   2,    0,    1};
  gif.resize(94, 0);
  // A 20000 x 20000 LZW TIFF (1.2 GB of samples) from a few hundred bytes: width and height
  // tags rewritten in place.
  std::vector<std::uint8_t> tiff = LoadData("tiff_rgb.tif");
  const std::size_t ifd = tiff[4] | tiff[5] << 8 | tiff[6] << 16 | std::size_t(tiff[7]) << 24;
  for (std::size_t e = 0; e < std::size_t(tiff[ifd] | tiff[ifd + 1] << 8); ++e) {
    std::uint8_t* entry = &tiff[ifd + 2 + 12 * e];
    if ((entry[0] == 0 || entry[0] == 1) && entry[1] == 1) {  // tags 256 and 257
      const bool shortValue = entry[2] == 3;
      entry[8] = 0x20, entry[9] = 0x4E, entry[10] = shortValue ? entry[10] : 0;
    }
  }
  // A baseline JPEG claiming 16000 x 16000 pixels in 822 bytes (its frame header rewritten).
  std::vector<std::uint8_t> jpeg = LoadData("jpeg_rgb.jpg");
  const auto sof = std::search(jpeg.begin(), jpeg.end(), std::begin(kSof0), std::end(kSof0));
  ASSERT_NE(sof, jpeg.end());
  const std::uint8_t side[4] = {0x3E, 0x80, 0x3E, 0x80};
  std::copy(std::begin(side), std::end(side), sof + 5);
  CGIFDecoder gifDecoder;
  CTIFFDecoder tiffDecoder;
  CJPEGDecoder jpegDecoder;
  for (auto [decoder, data] :
       {std::pair<CImageDecoder*, std::vector<std::uint8_t>*>{&gifDecoder, &gif},
        {&tiffDecoder, &tiff},
        {&jpegDecoder, &jpeg}}) {
    std::string text;
    EXPECT_EQ(DecodeError(*decoder, *data, &text), 2);
    EXPECT_NE(text.find("larger than the file's data can describe"), std::string::npos) << text;
  }
}

TEST(DamagedFiles, LyingTiffOffsetsFail) {
  std::vector<std::uint8_t> data = LoadData("tiff_rgb.tif");
  // The first IFD offset (bytes 4-7) pointing far outside the file.
  data[4] = data[5] = data[6] = 0xFF;
  data[7] = 0x7F;
  CTIFFDecoder d;
  std::string text;
  const int code = DecodeError(d, data, &text);
  EXPECT_EQ(code, 2);
  EXPECT_EQ(text.rfind("Decoder error: ", 0), 0u) << text;
}

TEST(DamagedFiles, GarbageIsNotAnyFormat) {
  std::vector<std::uint8_t> garbage(300, 0x5A);
  CPNGDecoder png;
  CJPEGDecoder jpeg;
  CTIFFDecoder tiff;
  EXPECT_EQ(DecodeError(png, garbage), 2);
  EXPECT_EQ(DecodeError(jpeg, garbage), 2);
  EXPECT_EQ(DecodeError(tiff, garbage), 2);
}

}  // namespace
