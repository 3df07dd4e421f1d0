// The PNG, JPEG, TIFF and GIF adapters on damaged files and their options (their tool files
// and truncations are in the decoder tables).
#include <gtest/gtest.h>

#include <zlib.h>
#include <algorithm>
#include <cstring>

#include "DecoderTestSupport.h"
#include "imaging/decoders/GIFDecoder.h"
#include "imaging/decoders/JPEGDecoder.h"
#include "imaging/decoders/PNGDecoder.h"
#include "imaging/decoders/TIFFDecoder.h"

using namespace dectest;

namespace {

int DecodeError(CImageDecoder& decoder, const Bytes& data, std::string* text = nullptr) {
  CDIBSectionBitmap bitmap;
  return ErrorOf([&] { decoder.DecodeMemory(data.data(), data.size(), &bitmap); }, text);
}

TEST(AdapterOptions, FastJpegSkipsFancyUpsampling) {
  const std::string path = Data("imaging/jpeg_rgb420.jpg");  // subsampled chroma
  Rgba plain, fancy;
  std::string why;
  if (!ToolDecode(path, "convert -define jpeg:fancy-upsampling=off", &plain, &why) ||
      !ToolDecode(path, "", &fancy, &why))
    GTEST_SKIP() << why;
  const Bytes data = ReadBytes(path);
  CJPEGDecoder fast;
  fast.SetFast(true);
  CDIBSectionBitmap b;
  fast.DecodeMemory(data.data(), data.size(), &b);
  const Rgba ours = RgbaOf(b);
  ExpectSamePicture(ours, plain, -1, 4, 4.0);
  int most = 0;  // fast mode must change something
  for (std::size_t i = 0; i < fancy.samples.size(); ++i)
    most = std::max(most, std::abs(int(ours.samples[i]) - int(fancy.samples[i])));
  EXPECT_GT(most, 8);
}

TEST(DamagedFiles, EndOfDataKeepsTheSourcesMessage) {
  Bytes data = DataBytes("imaging/png_rgb8.png");
  data.resize(data.size() / 2);
  CPNGDecoder d;
  std::string text;
  EXPECT_EQ(DecodeError(d, data, &text), 11);
  EXPECT_EQ(text, "End of file reached while decoding.\n");
}

TEST(DamagedFiles, LyingPngSizeIsRefusedBeforeAllocating) {
  Bytes data = DataBytes("imaging/png_rgb8.png");
  // IHDR width and height at 16 and 20: claim 60000 x 60000 (14 GB of pixels), with the chunk's
  // CRC recomputed so that libpng is not the one stopping it.
  const std::uint8_t big[8] = {0, 0, 0xEA, 0x60, 0, 0, 0xEA, 0x60};
  std::memcpy(&data[16], big, 8);
  const auto crc = std::uint32_t(crc32(0, &data[12], 17));
  for (int i = 0; i < 4; ++i) data[29 + std::size_t(i)] = std::uint8_t(crc >> (24 - 8 * i));
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
  Bytes gif = {'G', 'I', 'F', '8', '9',  'a',  0xF0, 0x49, 0x4C, 0x42, 0, 0, 0, 0x2C,
               0,   0,   0,   0,   0xF0, 0x49, 0x4C, 0x42, 0,    8,    2, 0, 1};
  gif.resize(94, 0);
  // A 20000 x 20000 LZW TIFF (1.2 GB of samples) from a few hundred bytes: width and height
  // tags rewritten in place.
  Bytes tiff = DataBytes("imaging/tiff_rgb.tif");
  const std::size_t ifd = tiff[4] | tiff[5] << 8 | tiff[6] << 16 | std::size_t(tiff[7]) << 24;
  for (std::size_t e = 0; e < std::size_t(tiff[ifd] | tiff[ifd + 1] << 8); ++e) {
    std::uint8_t* entry = &tiff[ifd + 2 + 12 * e];
    if ((entry[0] == 0 || entry[0] == 1) && entry[1] == 1) {  // tags 256 and 257
      const bool shortValue = entry[2] == 3;
      entry[8] = 0x20, entry[9] = 0x4E, entry[10] = shortValue ? entry[10] : 0;
    }
  }
  // A baseline JPEG claiming 16000 x 16000 pixels in 822 bytes (its frame header rewritten).
  Bytes jpeg = DataBytes("imaging/jpeg_rgb.jpg");
  const auto sof = std::search(jpeg.begin(), jpeg.end(), std::begin(kSof0), std::end(kSof0));
  ASSERT_NE(sof, jpeg.end());
  const std::uint8_t side[4] = {0x3E, 0x80, 0x3E, 0x80};
  std::copy(std::begin(side), std::end(side), sof + 5);
  CGIFDecoder gifDecoder;
  CTIFFDecoder tiffDecoder;
  CJPEGDecoder jpegDecoder;
  for (auto [decoder, data] : {std::pair<CImageDecoder*, Bytes*>{&gifDecoder, &gif},
                               {&tiffDecoder, &tiff},
                               {&jpegDecoder, &jpeg}}) {
    std::string text;
    EXPECT_EQ(DecodeError(*decoder, *data, &text), 2);
    EXPECT_NE(text.find("larger than the file's data can describe"), std::string::npos) << text;
  }
}

// Each library's refusal becomes a decoder error of code 2.
TEST(DamagedFiles, GarbageIsNotAnyFormat) {
  const Bytes garbage(300, 0x5A);
  CPNGDecoder png;
  CJPEGDecoder jpeg;
  CTIFFDecoder tiff;
  for (CImageDecoder* decoder : std::initializer_list<CImageDecoder*>{&png, &jpeg, &tiff}) {
    std::string text;
    EXPECT_EQ(DecodeError(*decoder, garbage, &text), 2);
    EXPECT_EQ(text.rfind("Decoder error: ", 0), 0u) << text;
  }
}

}  // namespace
