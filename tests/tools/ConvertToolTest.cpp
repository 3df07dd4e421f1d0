// rvtool convert, run as a user runs it: frames made by ImageMagick, written out as images or
// AVI, the AVI read back by ffprobe.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestUtil.h"

namespace {

using rvtest::ShellQuote;

class ConvertToolTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!rvtest::HaveProgram("convert")) GTEST_SKIP() << "ImageMagick convert is missing";
    for (int i = 1; i <= 6; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "take_%04d.png", i);
      ASSERT_EQ(rvtest::RunCommand("convert -size 32x24 xc:'rgb(" + std::to_string(i * 30) +
                                   ",40,90)' " + ShellQuote(m_dir.File(name))),
                0);
    }
  }
  int Convert(const std::string& arguments, std::string* out = nullptr,
              std::string* err = nullptr) {
    return rvtest::RunTool("convert " + arguments, out, err);
  }
  std::string Source() const { return ShellQuote(m_dir.File("take_0001.png")); }
  rvtest::TempDir m_dir;
};

TEST_F(ConvertToolTest, WritesNumberedImagesIntoNewFolders) {
  std::string out;
  const std::string dest = m_dir.File("out/deep/Shot.PNG");
  ASSERT_EQ(
      Convert(Source() + " " + ShellQuote(dest) + " --start 10 --step 2 --pad 3 --range 2-4", &out),
      0);
  EXPECT_EQ(out, "3 frames written to " + dest + "\n");
  for (const char* name : {"Shot010.PNG", "Shot012.PNG", "Shot014.PNG"})
    EXPECT_TRUE(std::filesystem::exists(m_dir.File(std::string("out/deep/") + name))) << name;
}

TEST_F(ConvertToolTest, PullDownAviRunsAtThirtyFramesPerSecond) {
  if (!rvtest::HaveProgram("ffprobe")) GTEST_SKIP() << "ffprobe is missing";
  const std::string dest = m_dir.File("clip.avi");
  std::string out;
  ASSERT_EQ(Convert(Source() + " " + ShellQuote(dest) + " --pulldown even --codec mjpeg", &out), 0);
  EXPECT_EQ(out, "7 frames written to " + dest + "\n");  // A B BC CD D E F
  std::string probe;
  rvtest::RunCommand(
      "ffprobe -v error -count_frames -show_entries "
      "stream=codec_name,r_frame_rate,nb_read_frames -of csv=p=0 " +
          ShellQuote(dest),
      &probe);
  EXPECT_EQ(probe, "mjpeg,30/1,7\n");
}

struct BadCase {
  const char* arguments;
};

class ConvertToolArgumentTest : public ConvertToolTest,
                                public testing::WithParamInterface<BadCase> {};

TEST_P(ConvertToolArgumentTest, BadArgumentExitsOneWithTheUsage) {
  std::string err;
  EXPECT_EQ(Convert(Source() + " " + GetParam().arguments, nullptr, &err), 1);
  EXPECT_NE(err.find("usage: rvtool convert SOURCE DEST"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(Cases, ConvertToolArgumentTest,
                         testing::Values(BadCase{"o.png --step 0"}, BadCase{"o.png --quality 101"},
                                         BadCase{"o.png --codec h264"},
                                         BadCase{"o.png --pulldown up"},
                                         BadCase{"o.png --range 5-2"}, BadCase{"o.png --fps"},
                                         BadCase{"o.png --bogus 1"}, BadCase{"o.png extra"},
                                         BadCase{"o.gif"}));

TEST_F(ConvertToolTest, EmptyRangeFailsWithTheWritersMessage) {
  std::string err;
  EXPECT_EQ(
      Convert(Source() + " " + ShellQuote(m_dir.File("o.tif")) + " --range 900-950", nullptr, &err),
      2);
  EXPECT_EQ(err, "Playlist is empty.\n");
  EXPECT_FALSE(std::filesystem::exists(m_dir.File("o0000.tif")));
}

TEST_F(ConvertToolTest, PlayListFileIsASource) {
  rvtest::WriteFile(m_dir.File("list.rvpl"), m_dir.File("take_#.png") + "\t2\t3\n");
  std::string out;
  ASSERT_EQ(
      Convert(ShellQuote(m_dir.File("list.rvpl")) + " " + ShellQuote(m_dir.File("p.bmp")), &out),
      0);
  EXPECT_EQ(out, "2 frames written to " + m_dir.File("p.bmp") + "\n");
  EXPECT_TRUE(std::filesystem::exists(m_dir.File("p0001.bmp")));
}

}  // namespace
