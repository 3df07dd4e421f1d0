// Signature detection, the general decoding and the frame decoder's dispatch.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>
#include <tuple>

#include "DecoderTestSupport.h"
#include "imaging/FrameDecoder.h"

namespace {

using Header = std::vector<std::uint8_t>;

int TypeOf(const Header& h, std::size_t fileSize = 100000) {
  return CAutoImageDecoder::GetFileType(h.data(), h.size(), fileSize);
}

Header Zeros(std::size_t n = 526) { return Header(n, 0); }

Header WithBytes(Header h, std::size_t at, const std::vector<int>& bytes) {
  for (int b : bytes) h[at++] = std::uint8_t(b);
  return h;
}

Header TGAHeader(int imageType, int depth) {
  Header h = Zeros();
  h[2] = std::uint8_t(imageType);
  h[16] = std::uint8_t(depth);
  return h;
}

TEST(SignatureDetection, EachFormatByItsBytes) {
  const std::pair<std::vector<int>, int> cases[] = {
      {{'B', 'M'}, kFileWinBmp},
      {{'G', 'I', 'F', '8'}, kFileGIF},
      {{0x49, 0x49, 0x2A, 0x00}, kFileTIFF},
      {{0x4D, 0x4D, 0x00, 0x2A}, kFileTIFF},
      {{0xFF, 0xD8, 0xFF}, kFileJPEG},
      {{0x89, 'P', 'N', 'G'}, kFilePNG},
      {{0x0A, 5, 1, 8}, kFilePCX},
      {{'P', '5'}, kFilePGM},
      {{'P', '2'}, kFilePGM},
      {{'P', '6'}, kFileUnknown},
      {{}, kFileUnknown}};  // all zero: TGA depth 0 is not valid
  for (const auto& [bytes, type] : cases) EXPECT_EQ(TypeOf(WithBytes(Zeros(), 0, bytes)), type);
  EXPECT_EQ(TypeOf(TGAHeader(2, 24)), kFileTGA);
}

TEST(SignatureDetection, TGAFieldRules) {
  EXPECT_EQ(TypeOf(TGAHeader(0, 24)), kFileTGA) << "image type 0 with a valid depth";
  for (int type : {1, 3, 9, 10, 11}) EXPECT_EQ(TypeOf(TGAHeader(type, 8)), kFileTGA) << type;
  for (int type : {4, 8, 12, 32}) EXPECT_EQ(TypeOf(TGAHeader(type, 8)), kFileUnknown) << type;
  for (int depth : {15, 16, 32}) EXPECT_EQ(TypeOf(TGAHeader(2, depth)), kFileTGA) << depth;
  for (int depth : {0, 1, 12, 48}) EXPECT_EQ(TypeOf(TGAHeader(2, depth)), kFileUnknown) << depth;
  EXPECT_EQ(TypeOf(WithBytes(TGAHeader(1, 8), 1, {1})), kFileTGA) << "colour-map type 1";
  EXPECT_EQ(TypeOf(WithBytes(TGAHeader(1, 8), 1, {2})), kFileUnknown) << "colour-map type 2";
  EXPECT_EQ(TypeOf(WithBytes(TGAHeader(1, 8), 7, {24})), kFileTGA);
  EXPECT_EQ(TypeOf(WithBytes(TGAHeader(1, 8), 7, {12})), kFileUnknown) << "entry size 12";
}

TEST(SignatureDetection, OrderDecidesBetweenMatches) {
  // "BM" wins over a header that is also a valid TGA header.
  EXPECT_EQ(TypeOf(WithBytes(TGAHeader(2, 24), 0, {'B', 'M'})), kFileWinBmp);
  // A version-0 PCX whose first palette byte is 24 also passes the TGA test, which comes first.
  EXPECT_EQ(TypeOf(WithBytes(WithBytes(Zeros(), 0, {0x0A, 0, 1, 8}), 16, {24})), kFileTGA);
  // The PICT test comes before JPEG.
  const Header jpeg = WithBytes(Zeros(), 0, {0xFF, 0xD8, 0xFF});
  EXPECT_EQ(TypeOf(WithBytes(jpeg, 522, {0x00, 0x11, 0x02, 0xFF}), 1000), kFileMacPict);
}

TEST(SignatureDetection, PictNeedsMoreThan540Bytes) {
  const Header v2 = WithBytes(Zeros(), 522, {0x00, 0x11, 0x02, 0xFF});
  EXPECT_EQ(TypeOf(v2, 541), kFileMacPict);
  EXPECT_EQ(TypeOf(v2, 540), kFileUnknown);
  EXPECT_EQ(TypeOf(WithBytes(Zeros(), 522, {0x00, 0x11, 0x01}), 541), kFileMacPict);
  EXPECT_EQ(TypeOf(WithBytes(Zeros(), 522, {0x11, 0x01, 0x01, 0x00}), 541), kFileMacPict);
  EXPECT_EQ(TypeOf(WithBytes(Zeros(), 522, {0x00, 0x11, 0x02, 0xFE}), 541), kFileUnknown);
  // A header cut before the version bytes cannot match even when the file is long.
  const Header shortHeader(v2.begin(), v2.begin() + 512);
  EXPECT_EQ(TypeOf(shortHeader, 100000), kFileUnknown);
}

TEST(SignatureDetection, EpsNeedsBothTiffWords) {
  const Header eps = WithBytes(Zeros(), 0, {0xC5, 0xD0, 0xD3, 0xC6});
  EXPECT_EQ(TypeOf(WithBytes(WithBytes(eps, 20, {30}), 24, {100})), kFileEPSTIFF);
  EXPECT_EQ(TypeOf(WithBytes(eps, 24, {100})), kFileUnknown) << "offset zero";
  EXPECT_EQ(TypeOf(WithBytes(eps, 20, {30})), kFileUnknown) << "length zero";
  const Header swapped = WithBytes(Zeros(), 0, {0xC6, 0xD3, 0xD0, 0xC5});
  EXPECT_EQ(TypeOf(WithBytes(WithBytes(swapped, 23, {1}), 27, {1})), kFileEPSTIFF);
}

TEST(SignatureDetection, ShortHeadersReadAsZeroPadded) {
  const std::uint8_t bm[] = {'B', 'M'};
  EXPECT_EQ(CAutoImageDecoder::GetFileType(bm, 2, 2), kFileWinBmp);
  EXPECT_EQ(CAutoImageDecoder::GetFileType(bm, 1, 1), kFileUnknown);
  EXPECT_EQ(CAutoImageDecoder::GetFileType(nullptr, 0, 0), kFileUnknown);
}

TEST(NameDetection, MetafileExtensionsAnywhereInTheNameInAnyCase) {
  const std::pair<const char*, int> cases[] = {{"/a/b/LOGO.Wmf", kFileWMF},
                                               {"/a/x.wmf.d/shot.png", kFileWMF},
                                               {"/a/b/chart.emf", kFileEMF},
                                               {"/a/b/shot.0001.png", kFileUnknown},
                                               {"wmf", kFileUnknown}};
  for (const auto& [name, type] : cases)
    EXPECT_EQ(CAutoImageDecoder::GetFileTypeFromName(name), type) << name;
}

int DecodeCode(CImageDecoder& decoder, const std::string& path, std::string* text = nullptr) {
  CDIBSectionBitmap bitmap;
  return dectest::ErrorOf([&] { decoder.DecodeFile(path, &bitmap); }, text);
}

TEST(GeneralDecoding, UnknownAndEmptyFilesAreCode8) {
  rvtest::TempDir dir;
  rvtest::WriteFile(dir.File("notes.txt"), std::string("hello, world"));
  rvtest::WriteFile(dir.File("empty.png"), std::string());
  CAutoImageDecoder decoder;
  std::string text;
  EXPECT_EQ(DecodeCode(decoder, dir.File("notes.txt"), &text), 8);
  EXPECT_EQ(text, "Decoder error: Unknown file type.\n");
  EXPECT_EQ(DecodeCode(decoder, dir.File("empty.png")), 8);
}

TEST(GeneralDecoding, OpenFailuresCarryTheSourceCode) {
  rvtest::TempDir dir;
  CAutoImageDecoder decoder;
  std::string text;
  const std::string missing = dir.File("nowhere/x.png");
  EXPECT_EQ(DecodeCode(decoder, missing, &text), 3);
  EXPECT_EQ(text, "Decoder error: Opening " + missing + " failed\n");

  CDIBSectionBitmap bitmap;
  EXPECT_EQ(dectest::ErrorOf([&] { decoder.DecodeResource("no such picture", &bitmap); }, &text),
            4);
  EXPECT_EQ(text, "Decoder error: Opening resource no such picture failed\n");
}

// (The registered metafile decoder taking metafile names is checked with the metafile tests.)
TEST(GeneralDecoding, MetafileNamesWithoutAMetafileDecoderAreCode6) {
  rvtest::TempDir dir;
  rvtest::WriteFile(dir.File("drawing.WMF"), std::string("any content"));
  CAutoImageDecoder::SetMetafileDecoderFactory(nullptr);
  CAutoImageDecoder decoder;
  std::string text;
  EXPECT_EQ(DecodeCode(decoder, dir.File("drawing.WMF"), &text), 6);
  EXPECT_EQ(text, "Decoder error: Library not compiled for this file type.\n");
}

// The binary EPS header: magic, PostScript offset and length, metafile offset and length,
// TIFF offset and length (by default the TIFF follows the PostScript), checksum FFFF.
std::vector<std::uint8_t> MakeEps(const std::string& tiff,
                                  std::optional<std::uint32_t> tiffOffset = std::nullopt) {
  const std::string ps = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 23 17\nshowpage\n";
  const auto psSize = std::uint32_t(ps.size());
  std::vector<std::uint8_t> eps;
  for (std::uint32_t v : {0xC6D3D0C5u, 30u, psSize, 0u, 0u, tiffOffset.value_or(30 + psSize),
                          std::uint32_t(tiff.size())})
    for (int i = 0; i < 4; ++i) eps.push_back(std::uint8_t(v >> (8 * i)));
  eps.insert(eps.end(), {0xFF, 0xFF});
  eps.insert(eps.end(), ps.begin(), ps.end());
  eps.insert(eps.end(), tiff.begin(), tiff.end());
  return eps;
}

TEST(GeneralDecoding, EpsDecodesItsTiffPreview) {
  rvtest::TempDir dir;
  const std::string tiff = rvtest::ReadFile(dectest::Data("imaging/tiff_for_eps.tif"));
  rvtest::WriteFile(dir.File("preview.eps"), MakeEps(tiff));
  CAutoImageDecoder decoder;
  CDIBSectionBitmap fromEps, direct;
  decoder.DecodeFile(dir.File("preview.eps"), &fromEps);
  EXPECT_EQ(decoder.GetLastDecoderName(), "eps-tiff");
  decoder.DecodeFile(dectest::Data("imaging/tiff_for_eps.tif"), &direct);
  EXPECT_EQ(fromEps.GetWidth(), 23);
  EXPECT_EQ(BitmapToRGBA(fromEps), BitmapToRGBA(direct));

  rvtest::WriteFile(dir.File("past-end.eps"), MakeEps(tiff, 1u << 30));
  EXPECT_EQ(DecodeCode(decoder, dir.File("past-end.eps")), 11);
}

TEST(Trace, WritesDecodingAndRecognitionLinesUpToItsLevel) {
  rvtest::TempDir dir;
  const std::string trace = dir.File("trace.txt");
  const std::string png = dectest::Data("imaging/png_rgb8.png");
  const std::string missing = dir.File("missing.png");
  rvtest::WriteFile(trace, std::string("old content\n"));
  CAutoImageDecoder decoder;
  CDIBSectionBitmap bitmap;

  SetTraceConfig(2, trace);
  EXPECT_FALSE(std::filesystem::exists(trace)) << "setting the trace file starts it afresh";
  decoder.DecodeFile(png, &bitmap);
  DecodeCode(decoder, missing);
  const std::string level2 = rvtest::ReadFile(trace);

  SetTraceConfig(1, trace);
  decoder.DecodeFile(png, &bitmap);
  const std::string level1 = rvtest::ReadFile(trace);

  SetTraceConfig(0, "");
  decoder.DecodeFile(png, &bitmap);

  EXPECT_EQ(level2, "--- Decoding file " + png + ". ---\nPNG file recognized.\n--- Decoding file " +
                        missing + ". ---\nDecoder error: Opening " + missing + " failed\n");
  EXPECT_EQ(level1, "--- Decoding file " + png + ". ---\n");
  EXPECT_EQ(rvtest::ReadFile(trace), level1) << "no trace file: nothing written";
}

// ------------------------------------------------------------------------------------------
// CFrameDecoder

class RecordingConverter : public CFrameConverter {
 public:
  int calls = 0;
  std::string name;
  std::vector<std::uint8_t> header;
  std::size_t headerSize = 0;
  std::atomic<int> inside{0};
  std::atomic<int> maxInside{0};

  bool Convert(CImageSource*, const std::string& fileName, const std::uint8_t* h, std::size_t size,
               const CineonValues&, CImageBitmap* bitmap) override {
    const int now = ++inside;
    maxInside = std::max(maxInside.load(), now);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ++calls;
    name = fileName;
    header.assign(h, h + 512);
    headerSize = size;
    --inside;
    bitmap->Create(3, 2, 32, true);
    return true;
  }
  std::string GetLastConverterName() const override { return "fake-plugin"; }
};

// Installs a recording converter in the decoder, which owns it.
RecordingConverter* InstallConverter(CFrameDecoder* decoder) {
  auto owned = std::make_unique<RecordingConverter>();
  RecordingConverter* converter = owned.get();
  decoder->SetConverter(std::move(owned));
  return converter;
}

TEST(FrameDispatch, ConverterTakesPrecedenceEvenForJpeg) {
  CFrameDecoder decoder;
  RecordingConverter* converter = InstallConverter(&decoder);
  CDIBSectionBitmap bitmap;
  const std::string jpeg = dectest::Data("imaging/jpeg_rgb.jpg");
  decoder.DecodeFile(jpeg, &bitmap);
  EXPECT_EQ(converter->calls, 1);
  EXPECT_EQ(decoder.GetLastDecoderName(), "fake-plugin");
  EXPECT_EQ(bitmap.GetWidth(), 3);
  EXPECT_EQ(converter->name, jpeg);
  const std::string bytes = rvtest::ReadFile(jpeg);
  ASSERT_GT(bytes.size(), 512u);
  EXPECT_EQ(converter->headerSize, 512u);
  EXPECT_EQ(std::memcmp(converter->header.data(), bytes.data(), 512), 0);
}

TEST(FrameDispatch, ShortFileHeaderIsZeroPadded) {
  rvtest::TempDir dir;
  rvtest::WriteFile(dir.File("tiny.bin"), std::string("abc"));
  CFrameDecoder decoder;
  RecordingConverter* converter = InstallConverter(&decoder);
  CDIBSectionBitmap bitmap;
  decoder.DecodeFile(dir.File("tiny.bin"), &bitmap);
  EXPECT_EQ(converter->headerSize, 3u);
  EXPECT_EQ(converter->header[2], 'c');
  for (std::size_t i = 3; i < 512; ++i) ASSERT_EQ(converter->header[i], 0) << i;
}

TEST(FrameDispatch, OwnDecodersComeBeforeTheNameTest) {
  rvtest::TempDir dir;
  // SGI content under a metafile name: the own decoders are asked before the general decoding.
  rvtest::WriteFile(dir.File("frame.wmf"), rvtest::ReadFile(dectest::Data("decoders/sgi24.sgi")));
  CFrameDecoder decoder;
  CDIBSectionBitmap bitmap;
  decoder.DecodeFile(dir.File("frame.wmf"), &bitmap);
  EXPECT_EQ(decoder.GetLastDecoderName(), "sgi");
  EXPECT_EQ(bitmap.GetWidth(), 29);
  EXPECT_EQ(decoder.GetFileName(), dir.File("frame.wmf"));

  CAutoImageDecoder general;
  EXPECT_EQ(DecodeCode(general, dir.File("frame.wmf")), 6) << "without the own decoders";
}

TEST(FrameDispatch, SecondCallerWaitsForTheFirst) {
  CFrameDecoder decoder;
  RecordingConverter* converter = InstallConverter(&decoder);
  const std::string file = dectest::Data("imaging/png_rgb8.png");
  auto work = [&] {
    for (int i = 0; i < 10; ++i) {
      CDIBSectionBitmap bitmap;
      decoder.DecodeFile(file, &bitmap);
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(converter->calls, 20);
  EXPECT_EQ(converter->maxInside.load(), 1);
}

// Setting the start values is no change; every field is compared exactly.
TEST(CineonValuesInDecoder, StartValuesAndExactChangeDetection) {
  CFrameDecoder decoder;
  EXPECT_FALSE(decoder.SetCineonValues(1.0, 1.0, 0, 1024, 0));
  EXPECT_TRUE(decoder.SetCineonValues(1.0, 1.0, 95, 1024, 0)) << "only reference black";
  EXPECT_FALSE(decoder.SetCineonValues(1.0, 1.0, 95, 1024, 0));
  EXPECT_TRUE(decoder.SetCineonValues(1.0, 1.0, 95, 685, 0)) << "only reference white";
  EXPECT_TRUE(decoder.SetCineonValues(1.0 + 1e-15, 1.0, 95, 685, 0)) << "exact comparison";
  EXPECT_TRUE(decoder.SetCineonValues(1.0, 2.2, 95, 685, 0));
  EXPECT_TRUE(decoder.SetCineonValues(1.0, 2.2, 95, 685, 4));
  double gammaLog = 0, gammaDisplay = 0;
  std::uint32_t black = 0, white = 0, softClip = 0;
  decoder.GetCineonValues(&gammaLog, &gammaDisplay, &black, &white, &softClip);
  EXPECT_EQ(std::tuple(gammaLog, gammaDisplay, black, white, softClip),
            std::tuple(1.0, 2.2, 95u, 685u, 4u));
}

}  // namespace
