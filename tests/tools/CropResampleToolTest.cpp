// rvtool decode with --crop and --resample: the frame goes through the player's load path, so
// the written picture is what the frame cache would hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestUtil.h"

namespace {

// A binary PGM whose grey value is 4x + y: every column and row is told apart, and a linear
// ramp survives the triangle filter's interior taps exactly.
std::string RampPgm(int width, int height) {
  std::string bytes = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) bytes.push_back(static_cast<char>(4 * x + y));
  }
  return bytes;
}

struct Pam {
  int width = -1;
  int height = -1;
  std::string pixels;  // RGBA, top row first
  int Grey(int x, int y) const {
    return static_cast<unsigned char>(pixels[(static_cast<std::size_t>(y) * width + x) * 4]);
  }
};

Pam ReadPam(const std::string& path) {
  const std::string file = rvtest::ReadFile(path);
  Pam pam;
  const std::size_t end = file.find("ENDHDR\n");
  if (file.compare(0, 3, "P7\n") != 0 || end == std::string::npos) return pam;
  const std::string header = file.substr(0, end);
  auto field = [&](const std::string& name) {
    const std::size_t at = header.find("\n" + name + " ");
    return at == std::string::npos ? -1 : std::stoi(header.substr(at + name.size() + 2));
  };
  pam.width = field("WIDTH");
  pam.height = field("HEIGHT");
  pam.pixels = file.substr(end + 7);
  return pam;
}

class CropResampleToolTest : public testing::Test {
 protected:
  void SetUp() override { rvtest::WriteFile(m_dir.File("ramp.pgm"), RampPgm(40, 30)); }

  int Decode(const std::string& input, const std::string& options, std::string* err) {
    std::string out;
    return rvtest::RunCommand(rvtest::ShellQuote(rvtest::BinDir() + "/rvtool") + " decode " +
                                  rvtest::ShellQuote(input) + " " + rvtest::ShellQuote(Output()) +
                                  " " + options,
                              &out, err);
  }
  std::string Input() const { return m_dir.File("ramp.pgm"); }
  std::string Output() const { return m_dir.File("out.pam"); }

  rvtest::TempDir m_dir;
};

}  // namespace

TEST_F(CropResampleToolTest, CropsThenResamples) {
  std::string err;
  ASSERT_EQ(Decode(Input(), "--crop '10 5 20 10' --resample '50%'", &err), 0) << err;
  const Pam pam = ReadPam(Output());
  // 20 x 10 cropped, then half the width and the height kept.
  ASSERT_EQ(pam.width, 10);
  ASSERT_EQ(pam.height, 10);
  ASSERT_EQ(pam.pixels.size(), 10u * 10u * 4u);
  for (int y = 0; y < 10; ++y) {
    // Crop origin 10,5: value 45 + 4x + y. The first output column weighs source columns 0 and
    // 1 by 2/3 and 1/3 (45 + y + 4/3, rounded); inner ones centre on column 2i with 1/4 1/2 1/4.
    EXPECT_EQ(pam.Grey(0, y), 46 + y) << y;
    for (int x = 1; x < 10; ++x) EXPECT_EQ(pam.Grey(x, y), 45 + y + 8 * x) << x << "," << y;
  }
}

TEST_F(CropResampleToolTest, CropAloneAndLeftMarginAtTheWidthKeepsTheLastColumn) {
  std::string err;
  ASSERT_EQ(Decode(Input(), "--crop 'l10 r10 t2'", &err), 0) << err;
  Pam pam = ReadPam(Output());
  ASSERT_EQ(pam.width, 20);
  ASSERT_EQ(pam.height, 28);
  EXPECT_EQ(pam.Grey(0, 0), 4 * 10 + 2);
  EXPECT_EQ(pam.Grey(19, 27), 4 * 29 + 29);

  ASSERT_EQ(Decode(Input(), "--crop l40", &err), 0) << err;
  pam = ReadPam(Output());
  ASSERT_EQ(pam.width, 1);
  ASSERT_EQ(pam.height, 30);
  for (int y = 0; y < 30; ++y) EXPECT_EQ(pam.Grey(0, y), 4 * 39 + y);
}

TEST_F(CropResampleToolTest, ResampleAloneScalesBothSidesIndependently) {
  std::string err;
  ASSERT_EQ(Decode(Input(), "--resample '80 h15'", &err), 0) << err;
  const Pam pam = ReadPam(Output());
  EXPECT_EQ(pam.width, 80);
  EXPECT_EQ(pam.height, 15);
  // Doubling the width: column 2i sits on source column i; the height halves around row 2j.
  EXPECT_EQ(pam.Grey(20, 7), 4 * 10 + 14);
}

TEST_F(CropResampleToolTest, BadSpecifiersAreRefusedWithTheirMessage) {
  std::string err;
  EXPECT_EQ(Decode(Input(), "--crop x5", &err), 2);
  EXPECT_NE(err.find("Unknown specifier in crop command line: x"), std::string::npos) << err;
  EXPECT_EQ(Decode(Input(), "--resample 'w100 w200'", &err), 2);
  EXPECT_NE(err.find("Duplicate width parameter in scale command line"), std::string::npos) << err;
  EXPECT_EQ(Decode(Input(), "--crop", &err), 2);
  EXPECT_FALSE(std::filesystem::exists(Output()));
}

TEST_F(CropResampleToolTest, UndecodableInputFailsWithTheDecodersReason) {
  rvtest::WriteFile(m_dir.File("junk.pgm"), "P5\n99999 99999\n255\nxx");
  std::string err;
  EXPECT_EQ(Decode(m_dir.File("junk.pgm"), "--resample 50%", &err), 2);
  EXPECT_NE(err.find("error "), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(Output()));
}
