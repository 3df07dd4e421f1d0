// rvtool decode with --crop and --resample: the frame goes through the player's load path, so
// the written picture is what the frame cache would hold. The crop geometry and the filter are
// tested where they live; here, that the options reach them, in order, and how failures end.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestUtil.h"

namespace {

using rvtest::ShellQuote;

class CropResampleToolTest : public testing::Test {
 protected:
  void SetUp() override {
    // A binary PGM whose grey value is 4x + y: every column and row is told apart.
    std::string bytes = "P5\n40 30\n255\n";
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) bytes.push_back(static_cast<char>(4 * x + y));
    rvtest::WriteFile(m_dir.File("ramp.pgm"), bytes);
  }
  int Decode(const std::string& input, const std::string& options, std::string* err) {
    return rvtest::RunTool(
        "decode " + ShellQuote(input) + " " + ShellQuote(Output()) + " " + options, nullptr, err);
  }
  std::string Input() const { return m_dir.File("ramp.pgm"); }
  std::string Output() const { return m_dir.File("out.pam"); }

  rvtest::TempDir m_dir;
};

}  // namespace

TEST_F(CropResampleToolTest, CropsThenResamples) {
  std::string err;
  ASSERT_EQ(Decode(Input(), "--crop '10 5 20 10' --resample '50%'", &err), 0) << err;
  rvtest::Pam pam = rvtest::ReadPam(Output());
  // 20 x 10 cropped, then half the width and the height kept. Crop origin 10,5: value
  // 45 + 4x + y; inner output columns centre on column 2i with weights 1/4 1/2 1/4.
  ASSERT_EQ(pam.width, 10);
  ASSERT_EQ(pam.height, 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 1; x < 10; ++x) EXPECT_EQ(pam.At(x, y, 0), 45 + y + 8 * x) << x << "," << y;
  ASSERT_EQ(Decode(Input(), "--crop l40 --resample h15", &err), 0) << err;
  pam = rvtest::ReadPam(Output());
  ASSERT_EQ(pam.width, 1);  // a left margin at the width keeps the last column
  ASSERT_EQ(pam.height, 15);
  EXPECT_EQ(pam.At(0, 7, 0), 4 * 39 + 14);
}

TEST_F(CropResampleToolTest, BadSpecifiersAndUndecodableInputWriteNothing) {
  std::string err;
  EXPECT_EQ(Decode(Input(), "--crop x5", &err), 2);
  EXPECT_NE(err.find("Unknown specifier in crop command line: x"), std::string::npos) << err;
  EXPECT_EQ(Decode(Input(), "--crop", &err), 2);
  rvtest::WriteFile(m_dir.File("junk.pgm"), "P5\n99999 99999\n255\nxx");
  EXPECT_EQ(Decode(m_dir.File("junk.pgm"), "--resample 50%", &err), 2);
  EXPECT_NE(err.find("error "), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(Output()));
}
