// rvtool info, decode and demo, run as a user would run them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestUtil.h"

namespace {

using rvtest::RunTool;
using rvtest::ShellQuote;

std::string Data(const std::string& name) {
  return ShellQuote(rvtest::DataDir() + "/imaging/" + name);
}

TEST(InfoCommand, PrintsOneLineAboutTheDecodedFrame) {
  std::string out;
  ASSERT_EQ(RunTool("info " + Data("png_grey8.png"), &out), 0);
  EXPECT_EQ(out, "width=23 height=17 bpp=8 alpha=0 decoder=png\n");
}

TEST(InfoCommand, FailuresGoToStderrWithStatus2) {
  rvtest::TempDir dir;
  rvtest::WriteFile(dir.File("notes.txt"), std::string("not a picture"));
  std::string out, err;
  EXPECT_EQ(RunTool("info " + ShellQuote(dir.File("notes.txt")), &out, &err), 2);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "error 8: Decoder error: Unknown file type.\n");
  EXPECT_EQ(RunTool("info", &out, &err), 2);
  EXPECT_NE(err.find("usage: rvtool info FILE"), std::string::npos);
}

// True colour and palettised frames: the two ways the PAM writer takes its samples.
TEST(DecodeCommand, PamAndPngHoldTheToolsOwnDecode) {
  if (!rvtest::HaveProgram("convert")) GTEST_SKIP() << "ImageMagick missing";
  rvtest::TempDir dir;
  for (const char* name : {"png_rgba8.png", "png_pal8.png"}) {
    ASSERT_EQ(RunTool("decode " + Data(name) + " " + ShellQuote(dir.File("out.pam"))), 0) << name;
    const std::string pam = rvtest::ReadFile(dir.File("out.pam"));
    const std::string header =
        "P7\nWIDTH 23\nHEIGHT 17\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    ASSERT_EQ(pam.compare(0, header.size(), header), 0) << name;
    std::string reference;
    ASSERT_EQ(rvtest::RunCommand("convert " + Data(name) + " -depth 8 rgba:-", &reference), 0);
    EXPECT_EQ(pam.substr(header.size()), reference) << name;
  }
  ASSERT_EQ(RunTool("decode " + Data("png_rgba8.png") + " " + ShellQuote(dir.File("out.png")) +
                    " --repeat 3"),
            0);
  std::string ours, theirs;
  ASSERT_EQ(rvtest::RunCommand("convert " + ShellQuote(dir.File("out.png")) + " rgba:-", &ours), 0);
  ASSERT_EQ(rvtest::RunCommand("convert " + Data("png_rgba8.png") + " -depth 8 rgba:-", &theirs),
            0);
  EXPECT_EQ(ours, theirs);
}

TEST(DecodeCommand, BadArgumentsAndFailuresWriteNothing) {
  rvtest::TempDir dir;
  const std::string in = Data("png_rgb8.png") + " ";
  const std::string pam = ShellQuote(dir.File("x.pam"));
  for (const std::string& arguments : {in, in + ShellQuote(dir.File("x.bmp")),
                                       in + pam + " --repeat 0", in + pam + " --frobnicate 1"})
    EXPECT_EQ(RunTool("decode " + arguments), 2) << arguments;
  EXPECT_FALSE(std::filesystem::exists(dir.File("x.pam")));
  rvtest::WriteFile(dir.File("bad.png"), std::string("\x89PNG\r\n\x1a\n", 8));
  std::string err;
  EXPECT_EQ(RunTool("decode " + ShellQuote(dir.File("bad.png")) + " " + pam, nullptr, &err), 2);
  EXPECT_EQ(err, "error 11: End of file reached while decoding.\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("x.pam")));
}

TEST(DemoCommand, WritesNumberedFramesWithAlpha) {
  rvtest::TempDir dir;
  const std::string folder = dir.File("demo");
  ASSERT_EQ(RunTool("demo " + ShellQuote(folder) + " --frames 3 --size 96x54"), 0);
  std::string out;
  for (int i = 1; i <= 3; ++i) {
    const std::string frame = folder + "/demo.000" + std::to_string(i) + ".png";
    ASSERT_EQ(RunTool("info " + ShellQuote(frame), &out), 0) << frame;
    EXPECT_EQ(out, "width=96 height=54 bpp=32 alpha=1 decoder=png\n");
  }
  EXPECT_FALSE(std::filesystem::exists(folder + "/demo.0004.png"));
  EXPECT_NE(rvtest::ReadFile(folder + "/demo.0001.png"),
            rvtest::ReadFile(folder + "/demo.0002.png"));

  // The border fades out: the bottom-right corner is transparent, the centre opaque.
  ASSERT_EQ(RunTool("decode " + ShellQuote(folder + "/demo.0001.png") + " " +
                    ShellQuote(dir.File("f.pam"))),
            0);
  const rvtest::Pam pam = rvtest::ReadPam(dir.File("f.pam"));
  ASSERT_EQ(pam.width, 96);
  EXPECT_EQ(pam.At(95, 53, 3), 0);
  EXPECT_EQ(pam.At(48, 27, 3), 255);
}

TEST(DemoCommand, JpegAndTiffFormats) {
  rvtest::TempDir dir;
  std::string out;
  ASSERT_EQ(RunTool("demo " + ShellQuote(dir.File("j")) + " --frames 1 --size 33x17 --format jpg"),
            0);
  ASSERT_EQ(RunTool("info " + ShellQuote(dir.File("j/demo.0001.jpg")), &out), 0);
  EXPECT_EQ(out, "width=33 height=17 bpp=32 alpha=0 decoder=jpeg\n");
  ASSERT_EQ(RunTool("demo " + ShellQuote(dir.File("t")) + " --frames 2 --size 33x17 --format tif"),
            0);
  ASSERT_EQ(RunTool("info " + ShellQuote(dir.File("t/demo.0002.tif")), &out), 0);
  EXPECT_EQ(out, "width=33 height=17 bpp=32 alpha=1 decoder=tiff\n");
}

TEST(DemoCommand, RejectsBadOptions) {
  rvtest::TempDir dir;
  const std::string folder = ShellQuote(dir.File("d"));
  EXPECT_EQ(RunTool("demo " + folder + " --size 10"), 2);
  EXPECT_EQ(RunTool("demo " + folder + " --size 0x5"), 2);
  EXPECT_EQ(RunTool("demo " + folder + " --frames -1"), 2);
  EXPECT_EQ(RunTool("demo " + folder + " --format bmp"), 2);
  EXPECT_EQ(RunTool("demo"), 2);
  EXPECT_FALSE(std::filesystem::exists(dir.File("d")));
}

}  // namespace
