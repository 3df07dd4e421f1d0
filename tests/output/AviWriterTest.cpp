// AVI files are read back by ffprobe and ffmpeg, the independent peers of our writer.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "TestUtil.h"
#include "output/AviWriter.h"

namespace {

using rvtest::RunCommand;
using rvtest::ShellQuote;

// A 24- or 32-bit frame with a different pattern per label.
std::unique_ptr<CDIBSectionBitmap> Pattern(int label, int w, int h, int bpp) {
  auto bitmap = std::make_unique<CDIBSectionBitmap>();
  bitmap->Create(w, h, std::uint16_t(bpp), false);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      bitmap->SetPixel(x, y, RvMakePixel((x * 7 + label * 40) & 255, (y * 11) & 255, label * 60));
  return bitmap;
}

std::string Probe(const std::string& path, const std::string& entries) {
  std::string out;
  RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=" + entries +
                 " -of csv=p=0 " + ShellQuote(path),
             &out);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

class AviWriterTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!rvtest::HaveProgram("ffprobe") || !rvtest::HaveProgram("ffmpeg"))
      GTEST_SKIP() << "ffmpeg is not installed";
  }
  bool WriteFrames(CRvAviWriter* writer, int count, int w, int h, int bpp, std::uint32_t rate) {
    auto first = Pattern(0, w, h, bpp);
    std::string errors;
    if (!writer->Open(m_path, *first, rate, &errors)) return false;
    for (int i = 0; i < count; ++i)
      if (!writer->Write(std::uint32_t(i), *Pattern(i, w, h, bpp))) return false;
    return writer->Close(&errors);
  }
  rvtest::TempDir m_dir;
  std::string m_path = m_dir.File("out.avi");
};

TEST_F(AviWriterTest, UncompressedFramesDecodeToTheSourcePixels) {
  const int w = 13, h = 6;  // rows need padding to 4 bytes
  CRvAviWriter writer;
  ASSERT_TRUE(WriteFrames(&writer, 3, w, h, 32, 25));
  EXPECT_EQ(Probe(m_path, "width,height,r_frame_rate,nb_read_frames"), "13,6,25/1,3");
  const std::string raw = m_dir.File("frames.raw");
  ASSERT_EQ(RunCommand("ffmpeg -v error -i " + ShellQuote(m_path) + " -f rawvideo -pix_fmt bgr24 " +
                       ShellQuote(raw)),
            0);
  const std::string bytes = rvtest::ReadFile(raw);
  ASSERT_EQ(bytes.size(), std::size_t(3 * w * h * 3));
  for (int i = 0; i < 3; ++i) {
    auto source = Pattern(i, w, h, 32);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const std::size_t at = (std::size_t(i) * h * w + std::size_t(y) * w + x) * 3;
        const RvPixel p = source->GetPixel(x, y);
        ASSERT_EQ(std::uint8_t(bytes[at]), RvPixelBlue(p)) << i << ":" << x << "," << y;
        ASSERT_EQ(std::uint8_t(bytes[at + 1]), RvPixelGreen(p));
        ASSERT_EQ(std::uint8_t(bytes[at + 2]), RvPixelRed(p));
      }
  }
}

TEST_F(AviWriterTest, MotionJpegIsReadAsMjpeg) {
  CRvAviWriter writer;
  CRvAviCompression options;
  options.codec = RvAviCodec::MotionJpeg;
  options.quality = 75;
  writer.SetCompression(options);
  ASSERT_TRUE(WriteFrames(&writer, 4, 64, 48, 24, 30));
  EXPECT_EQ(Probe(m_path, "codec_name,width,height,r_frame_rate,nb_read_frames"),
            "mjpeg,64,48,30/1,4");
}

// With a lowered limit the file grows OpenDML segments; ffmpeg must still read every frame.
TEST_F(AviWriterTest, OpenDmlSegmentsBeyondTheFirstRiffAreReadWhole) {
  CRvAviWriter writer;
  writer.SetRiffLimit(64 * 1024);
  ASSERT_TRUE(WriteFrames(&writer, 40, 64, 48, 24, 24));  // 9 KiB a frame: about 6 segments
  EXPECT_EQ(Probe(m_path, "nb_read_frames"), "40");
  const std::string bytes = rvtest::ReadFile(m_path);
  EXPECT_NE(bytes.find("AVIX"), std::string::npos);
  EXPECT_NE(bytes.find("indx"), std::string::npos);
  EXPECT_NE(bytes.find("odml"), std::string::npos);
}

TEST_F(AviWriterTest, SmallFileAtRateZeroIsAvi10AtRateOne) {
  CRvAviWriter writer;
  ASSERT_TRUE(WriteFrames(&writer, 2, 8, 8, 24, 0));
  EXPECT_EQ(Probe(m_path, "r_frame_rate"), "1/1");
  const std::string bytes = rvtest::ReadFile(m_path);
  EXPECT_EQ(bytes.find("AVIX"), std::string::npos);
  EXPECT_NE(bytes.find(kRvAviStreamName), std::string::npos);
}

TEST_F(AviWriterTest, FrameOfAnotherSizeIsRefused) {
  CRvAviWriter writer;
  std::string errors;
  ASSERT_TRUE(writer.Open(m_path, *Pattern(0, 8, 8, 24), 24, &errors));
  EXPECT_TRUE(writer.Write(0, *Pattern(0, 8, 8, 24)));
  EXPECT_FALSE(writer.Write(1, *Pattern(1, 9, 8, 24)));
  EXPECT_TRUE(writer.Write(2, *Pattern(2, 8, 8, 32)));
  EXPECT_TRUE(writer.Close(&errors));
  EXPECT_EQ(Probe(m_path, "nb_read_frames"), "2");
}

TEST_F(AviWriterTest, CancelledCompressionCreatesNoFile) {
  struct Cancel : CRvCompressionChooser {
    bool ChooseCompression(CRvAviCompression*) override { return false; }
  } chooser;
  CRvAviWriter writer(&chooser);
  std::string errors;
  EXPECT_FALSE(writer.Open(m_path, *Pattern(0, 8, 8, 24), 24, &errors));
  EXPECT_EQ(errors, "No compression option selected\n");
  EXPECT_FALSE(std::filesystem::exists(m_path));
}

TEST_F(AviWriterTest, FailuresOfOpenAndCloseAreReported) {
  CRvAviWriter writer;
  std::string errors;
  EXPECT_FALSE(writer.Open(m_dir.File("no/such/dir/a.avi"), *Pattern(0, 8, 8, 24), 24, &errors));
  EXPECT_EQ(errors.rfind("File " + m_dir.File("no/such/dir/a.avi") +
                             " could not be opened for write access. Error Code = ",
                         0),
            0u);
  // A file size limit makes the disk "full" after the headers: the frame sits in the
  // buffer, and finishing the file must fail loudly.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 16 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  errors.clear();
  const bool opened = writer.Open(m_path, *Pattern(0, 200, 200, 24), 24, &errors);
  writer.Write(0, *Pattern(0, 200, 200, 24));  // may fail already, or only when finishing
  const bool closed = writer.Close(&errors);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(opened);
  EXPECT_FALSE(closed);
  EXPECT_EQ(errors, "Failed to complete AVI file " + m_path + "\n");
}

}  // namespace
