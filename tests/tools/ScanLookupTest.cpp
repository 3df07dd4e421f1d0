// rvtool scan and lookup, run as a user runs them, on folders the tests build.
#include <gtest/gtest.h>

#include <string>

#include "TestUtil.h"

namespace {

using rvtest::RunTool;

class ScanLookupTest : public testing::Test {
 protected:
  void SetUp() override {
    // Listing order: a.tif, b_0001.tif, b_0002.tif, logo.png, shot_0001.tif .. shot_0003.tif,
    // shot_0005.tif, z.tif.
    for (const char* name : {"shot_0001.tif", "shot_0002.tif", "shot_0003.tif", "shot_0005.tif",
                             "b_0001.tif", "b_0002.tif", "logo.png", "a.tif", "z.tif"})
      rvtest::WriteFile(m_dir.File(name), "x");
  }

  std::string Folder() const { return m_dir.Path().string() + "/"; }

  rvtest::TempDir m_dir;
};

TEST_F(ScanLookupTest, ScanListsNumberedSequencesFirst) {
  std::string out;
  ASSERT_EQ(RunTool("scan " + rvtest::ShellQuote(m_dir.Path().string()), &out), 0);
  const std::string f = Folder();
  EXPECT_EQ(out, "b_#.tif\t2 frames (1-2)\t1 frame\t" + f + "b_#.tif\n" +
                     "shot_#.tif\t4 frames (1-5)\tvariable\t" + f + "shot_#.tif\n" + "a.tif\t\t\t" +
                     f + "a.tif\n" + "logo.png\t\t\t" + f + "logo.png\n" + "z.tif\t\t\t" + f +
                     "z.tif\n");
}

TEST_F(ScanLookupTest, ScanOrLookupFindingNothingFails) {
  std::string out;
  std::string err;
  EXPECT_EQ(RunTool("scan " + rvtest::ShellQuote(Folder() + "missing"), &out, &err), 2);
  EXPECT_EQ(out, "");
  EXPECT_NE(err.find("cannot read folder"), std::string::npos) << err;
  const std::string typed = Folder() + "shot_@@@@.tif";
  EXPECT_EQ(RunTool("lookup " + rvtest::ShellQuote(typed), &out, &err), 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "Unable to open sequence " + typed + "\n");
}

TEST_F(ScanLookupTest, LookupPrintsTheAbsolutePatternRangeAndCount) {
  std::string out;
  ASSERT_EQ(RunTool("lookup " + rvtest::ShellQuote(Folder() + "shot_@.tif"), &out), 0);
  EXPECT_EQ(out, Folder() + "shot_#.tif\t1\t5\t4\n");
  ASSERT_EQ(rvtest::RunCommand("cd " + rvtest::ShellQuote(m_dir.Path().string()) + " && " +
                                   rvtest::ShellQuote(rvtest::BinDir() + "/rvtool") +
                                   " lookup b_0002.tif",
                               &out),
            0);
  EXPECT_EQ(out, Folder() + "b_#.tif\t1\t2\t2\n");
}

TEST_F(ScanLookupTest, HelpAndUsage) {
  std::string out;
  std::string err;
  EXPECT_EQ(RunTool("scan --help", &out), 0);
  EXPECT_NE(out.find("usage: rvtool scan DIR"), std::string::npos);
  EXPECT_EQ(RunTool("lookup -h", &out), 0);
  EXPECT_NE(out.find("usage: rvtool lookup PATH"), std::string::npos);
  EXPECT_EQ(RunTool("scan --bogus /tmp", &out, &err), 2);
  EXPECT_NE(err.find("usage: rvtool scan DIR"), std::string::npos);
  EXPECT_EQ(RunTool("lookup -x a", &out, &err), 2);
  EXPECT_NE(err.find("usage: rvtool lookup PATH"), std::string::npos);
  EXPECT_EQ(RunTool("scan", &out, &err), 2);
  EXPECT_EQ(RunTool("lookup a b", &out, &err), 2);
}

}  // namespace
