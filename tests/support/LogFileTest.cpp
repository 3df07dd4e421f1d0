#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "TestUtil.h"
#include "support/NesLogFile.h"

using rvtest::ReadFile;
using rvtest::TempDir;
using rvtest::WriteFile;
using ::testing::HasSubstr;

namespace {
const std::string kStamp = R"(\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2} )";
}

TEST(LogFileTest, FirstEntryCreatesTheFileWithTheOpeningLine) {
  TempDir dir;
  const std::string path = dir.File("Kacv.log");
  CNesLogFile log(path, 1024);
  EXPECT_FALSE(log.IsOpen());
  EXPECT_FALSE(std::filesystem::exists(path));  // nothing happens before the first entry
  log.AppendEntry("Kacv", "found %d plug-ins in %s", 2, "/opt/conv");
  EXPECT_TRUE(log.IsOpen());
  const std::string text = ReadFile(path);
  EXPECT_TRUE(
      std::regex_match(text, std::regex("\n" + kStamp + R"(\[NesLog\] LogFile opened\n)" + kStamp +
                                        R"(\[Kacv\] found 2 plug-ins in /opt/conv\n)")))
      << text;
}

TEST(LogFileTest, ReopeningAppends) {
  TempDir dir;
  const std::string path = dir.File("DDraw.log");
  WriteFile(path, "earlier line\n");
  {
    CNesLogFile log(path, 1024);
    ASSERT_TRUE(log.bOpen(false));
    log.AppendEntry("DDraw", "mode 800x600");
  }
  const std::string text = ReadFile(path);
  EXPECT_EQ(text.rfind("earlier line\n\n", 0), 0u);
  EXPECT_THAT(text, HasSubstr("[DDraw] mode 800x600\n"));
}

TEST(LogFileTest, OpenFailureReportsTheErrorAndDropsEntries) {
  TempDir dir;
  const std::string path = dir.File("missing/x.log");
  CNesLogFile log(path, 1);
  std::uint32_t error = 0;
  EXPECT_FALSE(log.bOpen(false, &error));
  EXPECT_EQ(error, static_cast<std::uint32_t>(ENOENT));
  log.AppendEntry("T", "lost");
  EXPECT_FALSE(log.IsOpen());
  EXPECT_FALSE(std::filesystem::exists(path));
  // Once the folder exists the next entry opens the file.
  std::filesystem::create_directory(dir.File("missing"));
  log.AppendEntry("T", "kept");
  EXPECT_THAT(ReadFile(path), HasSubstr("[T] kept\n"));
}

TEST(LogFileTest, EntryCrossingTheLimitRotatesToOld) {
  TempDir dir;
  const std::string path = dir.File("DDraw.log");
  CNesLogFile log(path, 1);  // 1 KiB
  const std::string filler(100, 'x');
  int entries = 0;
  while (!std::filesystem::exists(path + ".old") && entries < 100) {
    log.AppendEntry("T", "%d %s", entries, filler.c_str());
    ++entries;
  }
  ASSERT_TRUE(std::filesystem::exists(path + ".old"));
  const std::string old = ReadFile(path + ".old");
  EXPECT_GT(old.size() / 1024, 1u);
  // The entry that crossed the limit is the last line of the old file.
  EXPECT_THAT(old, HasSubstr("[T] " + std::to_string(entries - 1) + " " + filler + "\n"));
  EXPECT_EQ(old.substr(old.size() - filler.size() - 1), filler + "\n");
  const std::string fresh = ReadFile(path);
  EXPECT_TRUE(std::regex_match(fresh, std::regex("\n" + kStamp + R"(\[NesLog\] LogFile opened\n)")))
      << fresh;
}

TEST(LogFileTest, OpenWithResetStartsAFreshFileAndKeepsOneOldGeneration) {
  TempDir dir;
  const std::string path = dir.File("x.log");
  WriteFile(path, "generation 2\n");
  WriteFile(path + ".old", "generation 1\n");
  CNesLogFile log(path, 1024);
  ASSERT_TRUE(log.bOpen(true));
  log.Close();
  EXPECT_EQ(ReadFile(path + ".old").rfind("generation 2\n", 0), 0u);
  EXPECT_THAT(ReadFile(path), HasSubstr("[NesLog] LogFile opened\n"));
  EXPECT_THAT(ReadFile(path), ::testing::Not(HasSubstr("generation")));
}
