#include <gtest/gtest.h>

#include <filesystem>

#include "OutputTestSupport.h"
#include "TestUtil.h"
#include "imaging/FrameDecoder.h"
#include "output/ImageEncoders.h"
#include "output/OutputNaming.h"
#include "output/SequenceWriter.h"

namespace {

// Records what the loop asks of a writer.
class CRecordingWriter : public CRvSequenceWriter {
 public:
  bool Open(const std::string&, const CImageBitmap&, std::uint32_t, std::string* error) override {
    opened = true;
    if (failOpen) *error += "cannot\n";
    return !failOpen;
  }
  bool Write(std::uint32_t number, const CImageBitmap& bitmap) override {
    numbers.push_back(number);
    return RvPixelBlue(bitmap.GetPixel(0, 0)) != failLabel;
  }
  bool Close(std::string*) override {
    ++closes;
    return true;
  }
  bool opened = false, failOpen = false;
  int failLabel = -1, closes = 0;
  std::vector<std::uint32_t> numbers;
};

class CStopAfter : public CRvWriteMonitor {
 public:
  explicit CStopAfter(int frames) : m_left(frames) {}
  bool ServeUserInterface() override { return m_left-- <= 0; }
  void ShowProgress(std::uint32_t position, std::uint32_t) override {
    positions.push_back(position);
  }
  std::vector<std::uint32_t> positions;

 private:
  int m_left;
};

TEST(WriteSequenceTest, EmptySourceOpensNothing) {
  CTestSource source(0);
  CRecordingWriter writer;
  std::string errors = "old";
  EXPECT_FALSE(WriteSequence(&source, "/x/a.avi", 0, 1, 24, nullptr, nullptr, &writer, &errors));
  EXPECT_EQ(errors, "Playlist is empty.\n");
  EXPECT_FALSE(writer.opened);
}

TEST(WriteSequenceTest, StopRequestEndsAsSuccessWithTheWriterClosed) {
  CTestSource source(10);
  CRecordingWriter writer;
  CStopAfter stop(3);
  std::string errors;
  EXPECT_TRUE(WriteSequence(&source, "/x/a", 5, 1, 24, nullptr, nullptr, &writer, &errors, &stop));
  EXPECT_EQ(errors, "");
  EXPECT_EQ(writer.numbers, (std::vector<std::uint32_t>{5, 6, 7}));
  EXPECT_EQ(writer.closes, 1);
  EXPECT_EQ(stop.positions, (std::vector<std::uint32_t>{0, 1, 2}));
}

TEST(WriteSequenceTest, FailedFrameIsReportedAndTheRunGoesOn) {
  CTestSource source(4);
  CRecordingWriter writer;
  writer.failLabel = 2;
  std::string errors;
  std::uint32_t written = 0;
  EXPECT_TRUE(WriteSequence(&source, "/x/a", 10, 2, 24, nullptr, nullptr, &writer, &errors, nullptr,
                            &written));
  EXPECT_EQ(writer.numbers, (std::vector<std::uint32_t>{10, 12, 14, 16}));
  EXPECT_EQ(errors, "Frame number 12 could not be written\n");
  EXPECT_EQ(written, 3u);
}

TEST(WriteSequenceTest, OpenFailureClosesAndReports) {
  CTestSource source(2);
  CRecordingWriter writer;
  writer.failOpen = true;
  std::string errors;
  EXPECT_FALSE(WriteSequence(&source, "/x/a", 0, 1, 24, nullptr, nullptr, &writer, &errors));
  EXPECT_EQ(errors, "cannot\nFailed to open image stream output\n");
  EXPECT_EQ(writer.closes, 1);
}

TEST(WriteSequenceTest, ProgressFollowsTheInputFramesOfAPullDown) {
  CRvPullDownSource source(std::make_unique<CTestSource>(8), 0);
  CRecordingWriter writer;
  CStopAfter monitor(1000);
  std::string errors;
  EXPECT_TRUE(
      WriteSequence(&source, "/x/a", 0, 1, 30, nullptr, nullptr, &writer, &errors, &monitor));
  EXPECT_EQ(monitor.positions, (std::vector<std::uint32_t>{0, 0, 1, 2, 3, 4, 4, 5, 6, 7}));
}

TEST(WriteSequenceTest, ImageFilesAreNumberedFromStartByStep) {
  rvtest::TempDir dir;
  CTestSource source(3);
  auto encoder = RvMakeImageEncoder(3);
  CRvImageSequenceWriter writer(encoder.get(), 4, ".png");
  std::string errors;
  ASSERT_TRUE(
      WriteSequence(&source, dir.File("Shot.png"), 10, 2, 24, nullptr, nullptr, &writer, &errors));
  for (const char* name : {"Shot0010.png", "Shot0012.png", "Shot0014.png"})
    EXPECT_TRUE(std::filesystem::exists(dir.File(name))) << name;
  EXPECT_FALSE(std::filesystem::exists(dir.File("Shot0016.png")));
}

TEST(WriteSequenceTest, EncoderFailureIsAGeneralError) {
  CTestSource source(2);
  auto encoder = RvMakeImageEncoder(2);
  CRvImageSequenceWriter writer(encoder.get(), 4, ".bmp");
  std::string errors;
  EXPECT_FALSE(WriteSequence(&source, "/nonexistent-folder/x/a.bmp", 0, 1, 24, nullptr, nullptr,
                             &writer, &errors));
  EXPECT_EQ(errors.rfind("General error writing bitmap sequence\n", 0), 0u) << errors;
}

struct NameCase {
  std::string name;
  int pad;
  int format;
  std::string preview;
};

class PreviewTest : public testing::TestWithParam<NameCase> {};

TEST_P(PreviewTest, ShowsFramesOneAnd134) {
  EXPECT_EQ(RvSavePreview(GetParam().name, GetParam().pad, GetParam().format), GetParam().preview);
}

INSTANTIATE_TEST_SUITE_P(Cases, PreviewTest,
                         testing::Values(NameCase{"Seq", 4, 1, "Seq0001.tif  Seq0134.tif"},
                                         NameCase{"Shot", 5, 3, "Shot00001.png  Shot00134.png"},
                                         NameCase{"Shot", 5, 0, "Shot.avi"},
                                         NameCase{"s", 2, 4, "s01.jpg  s134.jpg"},
                                         NameCase{"a%d%s", 3, 2, "a%d%s001.bmp  a%d%s134.bmp"},
                                         NameCase{"n", -3, 1, "n1.tif  n134.tif"}));

// --- every encoder, decoded back by our own decoders --------------------------------------

struct EncoderCase {
  const char* label;
  int format;
  int bpp;
  bool alpha;
  int tolerance;  // JPEG is lossy
};

// Alpha of column x: opaque on odd columns, a ramp on even ones.
int Alpha(int x) { return x % 2 ? 255 : x * 10; }

class EncoderRoundTripTest : public testing::TestWithParam<EncoderCase> {};

TEST_P(EncoderRoundTripTest, DecodesToTheSamePixels) {
  const EncoderCase& c = GetParam();
  const int w = 19, h = 7;  // odd sizes exercise row padding
  CDIBSectionBitmap bitmap;
  bitmap.Create(w, h, std::uint16_t(c.bpp), c.alpha);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      bitmap.SetPixel(x, y,
                      c.bpp == 8 ? RvPixel((x + y) & 3)
                                 : RvMakePixel(x * 13, y * 30, 90, c.alpha ? Alpha(x) : 0));
  if (c.bpp == 8) {
    RvPixel palette[256] = {RvMakePixel(10, 20, 30), RvMakePixel(200, 0, 0), RvMakePixel(0, 200, 0),
                            RvMakePixel(0, 0, 200)};
    bitmap.SetPalette(palette);
  }
  rvtest::TempDir dir;
  const std::string path = dir.File(std::string("f") + RvOutputFormat(c.format).extension);
  std::string error;
  std::unique_ptr<CDIBSectionBitmap> holder;
  ASSERT_TRUE(RvMakeImageEncoder(c.format)->Encode(RvTrueColour(bitmap, &holder), path, &error))
      << error;
  CFrameDecoder decoder;
  CDIBSectionBitmap decoded;
  decoder.DecodeFile(path, &decoded);
  ASSERT_EQ(decoded.GetWidth(), w);
  ASSERT_EQ(decoded.GetHeight(), h);
  int worst = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      RvPixel want = bitmap.GetPixel(x, y);
      if (c.bpp == 8) want = bitmap.GetPalette()[want];
      const RvPixel got = decoded.GetPixel(x, y);
      if (c.alpha) {
        EXPECT_EQ(RvPixelAlpha(got), RvPixelAlpha(want)) << x << "," << y;
      } else if (decoded.GetBitsPerPixel() == 32 && decoded.HasAlpha()) {
        EXPECT_EQ(RvPixelAlpha(got), 255) << "opaque frames must stay opaque";
      }
      // Straight alpha through TIFF's premultiplied reading keeps colours exact only where opaque.
      if (c.format == 1 && c.alpha && RvPixelAlpha(want) != 255) continue;
      for (int shift = 0; shift < 24; shift += 8)
        worst = std::max(worst, std::abs(int((want >> shift) & 255) - int((got >> shift) & 255)));
    }
  }
  EXPECT_LE(worst, c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, EncoderRoundTripTest,
    testing::Values(EncoderCase{"Tiff24", 1, 24, false, 0},
                    EncoderCase{"Tiff32Alpha", 1, 32, true, 0},
                    EncoderCase{"Bmp24", 2, 24, false, 0}, EncoderCase{"Bmp32", 2, 32, false, 0},
                    EncoderCase{"Bmp32Alpha", 2, 32, true, 0},
                    EncoderCase{"Png32", 3, 32, false, 0},
                    EncoderCase{"Png32Alpha", 3, 32, true, 0}, EncoderCase{"Png8", 3, 8, false, 0},
                    EncoderCase{"Jpeg32", 4, 32, false, 24}),
    [](const testing::TestParamInfo<EncoderCase>& info) { return info.param.label; });

}  // namespace
