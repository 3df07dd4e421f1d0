#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "TestUtil.h"
#include "support/NesCommon55.h"

using rvtest::ReadFile;
using rvtest::TempDir;
using rvtest::WriteFile;

class IniFileTest : public ::testing::Test {
 protected:
  TempDir m_dir;
  std::string m_ini = m_dir.File("settings.ini");
};

TEST_F(IniFileTest, MissingFileSectionOrKeyGiveTheDefault) {
  EXPECT_EQ(strReadFromIniFile(m_ini, "Load", "ActiveDirectory", "/shots/"), "/shots/");
  EXPECT_EQ(iReadFromIniFile(m_ini, "Fps", "fps", 24), 24);
  EXPECT_DOUBLE_EQ(dReadFromIniFile(m_ini, "Cineon", "GammaDisplay", 2.2), 2.2);
  EXPECT_TRUE(bReadFromIniFile(m_ini, "Output", "StartMediaPlayer", true));
  WriteFile(m_ini, "[Fps]\nfps=30\n");
  EXPECT_EQ(iReadFromIniFile(m_ini, "Other", "fps", 7), 7);
  EXPECT_EQ(iReadFromIniFile(m_ini, "Fps", "rate", 8), 8);
  // The first section and key win; comment lines never count as keys.
  WriteFile(m_ini, "[A]\n#c=5\n;d=6\nk=1\nk=2\n[a]\nk=3\nm=4\n");
  EXPECT_EQ(iReadFromIniFile(m_ini, "A", "k", 0), 1);
  EXPECT_EQ(iReadFromIniFile(m_ini, "A", "m", 0), 0);
  EXPECT_EQ(iReadFromIniFile(m_ini, "A", "#c", 0), 0);
  EXPECT_EQ(iReadFromIniFile(m_ini, "A", ";d", 0), 0);
}

TEST_F(IniFileTest, IntegersSaturateAndIgnoreSurroundingBlanks) {
  WriteFile(m_ini, "[N]\nplain=12\nbig=99999999999\nblank=  42  \n");
  EXPECT_EQ(iReadFromIniFile(m_ini, "N", "plain", 1), 12);
  EXPECT_EQ(iReadFromIniFile(m_ini, "N", "big", 1), 2147483647);  // saturates, never wraps
  EXPECT_EQ(iReadFromIniFile(m_ini, "N", "blank", 1), 42);
}

TEST_F(IniFileTest, BooleansAndDoubles) {
  WriteFile(m_ini, "[B]\ntwo=2\nzero=0\nyes=yes\n[D]\ng=1.7\nbad=1.7x\n");
  EXPECT_TRUE(bReadFromIniFile(m_ini, "B", "two", false));
  EXPECT_FALSE(bReadFromIniFile(m_ini, "B", "zero", true));
  EXPECT_FALSE(bReadFromIniFile(m_ini, "B", "yes", false));
  EXPECT_DOUBLE_EQ(dReadFromIniFile(m_ini, "D", "g", 0.0), 1.7);
  EXPECT_DOUBLE_EQ(dReadFromIniFile(m_ini, "D", "bad", 2.5), 2.5);
}

TEST_F(IniFileTest, NamesMatchIgnoringCaseAndBlanksAndAMatchingPairOfQuotesIsStripped) {
  WriteFile(m_ini,
            "  [ windowposition ]  \r\n  TOP =  120  \r\nName = \"  padded value \" \r\n"
            "open=\"abc\r\nclose=abc\"\r\nboth=\"a\"b\"\r\n");
  EXPECT_EQ(iReadFromIniFile(m_ini, "WindowPosition", "top", 0), 120);
  EXPECT_EQ(strReadFromIniFile(m_ini, "WINDOWPOSITION", "name", ""), "  padded value ");
  EXPECT_EQ(strReadFromIniFile(m_ini, "windowposition", "open", ""), "\"abc");
  EXPECT_EQ(strReadFromIniFile(m_ini, "windowposition", "close", ""), "abc\"");
  EXPECT_EQ(strReadFromIniFile(m_ini, "windowposition", "both", ""), "a\"b");
}

TEST_F(IniFileTest, LongValuesAreCutTo1023Characters) {
  const std::string longValue(1500, 'v');
  ASSERT_TRUE(bWriteToIniFile(m_ini, "S", "long", longValue));
  EXPECT_EQ(strReadFromIniFile(m_ini, "S", "long", ""), std::string(1023, 'v'));
  EXPECT_NE(ReadFile(m_ini).find(longValue), std::string::npos);  // stored in full
}

TEST_F(IniFileTest, WritesUseFixedNumberForms) {
  ASSERT_TRUE(bWriteToIniFile(m_ini, "Cineon", "GammaDisplay", 2.2));
  ASSERT_TRUE(bWriteToIniFile(m_ini, "Fps", "fps", 25));
  ASSERT_TRUE(bWriteToIniFile(m_ini, "Output", "StartMediaPlayer", true));
  ASSERT_TRUE(bWriteToIniFile(m_ini, "Load", "ActiveDirectory", "/shots/a b/"));
  EXPECT_EQ(ReadFile(m_ini),
            "[Cineon]\nGammaDisplay=2.200000\n[Fps]\nfps=25\n[Output]\nStartMediaPlayer=1\n"
            "[Load]\nActiveDirectory=/shots/a b/\n");
}

TEST_F(IniFileTest, DoublesIgnoreTheProcessLocale) {
  // A locale with a decimal comma must not leak into the file.
  if (!setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale installed";
  ASSERT_TRUE(bWriteToIniFile(m_ini, "Cineon", "GammaLog", 1.7));
  EXPECT_NE(ReadFile(m_ini).find("GammaLog=1.700000"), std::string::npos);
  EXPECT_DOUBLE_EQ(dReadFromIniFile(m_ini, "Cineon", "GammaLog", 0.0), 1.7);
  setlocale(LC_NUMERIC, "C");
}

TEST_F(IniFileTest, WriteReplacesInPlaceAndKeepsEverythingElse) {
  const std::string before =
      "; written by hand\n[Fps]\n# rate\nFPS = 24\nother line without equals\n\n"
      "[WindowPosition]\ntop=1\n";
  WriteFile(m_ini, before);
  ASSERT_TRUE(bWriteToIniFile(m_ini, "fps", "fps", 30));
  EXPECT_EQ(ReadFile(m_ini),
            "; written by hand\n[Fps]\n# rate\nFPS=30\nother line without equals\n\n"
            "[WindowPosition]\ntop=1\n");
}

TEST_F(IniFileTest, NewKeyGoesToTheEndOfItsSectionAndNewSectionToTheEndOfFile) {
  WriteFile(m_ini, "[A]\nx=1\n\n[B]\ny=2");
  ASSERT_TRUE(bWriteToIniFile(m_ini, "A", "z", 3));
  ASSERT_TRUE(bWriteToIniFile(m_ini, "C", "w", 4));
  EXPECT_EQ(ReadFile(m_ini), "[A]\nx=1\nz=3\n\n[B]\ny=2\n[C]\nw=4\n");
}

TEST_F(IniFileTest, WindowsLineEndingsAreKeptAndABareCarriageReturnEndsALine) {
  WriteFile(m_ini, "[A]\r\nx=1\r\n");
  ASSERT_TRUE(bWriteToIniFile(m_ini, "A", "y", 2));
  EXPECT_EQ(ReadFile(m_ini), "[A]\r\nx=1\r\ny=2\r\n");
  WriteFile(m_ini, "[A]\nx=1\r");
  ASSERT_TRUE(bWriteToIniFile(m_ini, "B", "y", 2));
  EXPECT_EQ(iReadFromIniFile(m_ini, "B", "y", 0), 2);
  EXPECT_EQ(iReadFromIniFile(m_ini, "A", "x", 0), 1);
}

TEST_F(IniFileTest, ValuesThatWouldChangeOnReadingAreQuoted) {
  ASSERT_TRUE(bWriteToIniFile(m_ini, "S", "padded", " x "));
  ASSERT_TRUE(bWriteToIniFile(m_ini, "S", "quoted", "\"q\""));
  EXPECT_EQ(strReadFromIniFile(m_ini, "S", "padded", ""), " x ");
  EXPECT_EQ(strReadFromIniFile(m_ini, "S", "quoted", ""), "\"q\"");
}

TEST_F(IniFileTest, NamesAndValuesThatWouldCorruptTheFileAreRefused) {
  WriteFile(m_ini, "[A]\nx=1\n");
  EXPECT_FALSE(bWriteToIniFile(m_ini, "A", "x", "1\n[Evil]\nk=v"));
  EXPECT_FALSE(bWriteToIniFile(m_ini, "A", "a=b", 1));
  EXPECT_FALSE(bWriteToIniFile(m_ini, "A]", "k", 1));
  EXPECT_FALSE(bWriteToIniFile(m_ini, "", "k", 1));
  EXPECT_FALSE(bWriteToIniFile(m_ini, "A", " ", 1));
  EXPECT_EQ(ReadFile(m_ini), "[A]\nx=1\n");
}

TEST_F(IniFileTest, ReadOnlyFileOrMissingFolderIsNotChanged) {
  WriteFile(m_ini, "[A]\nx=1\n");
  ASSERT_EQ(chmod(m_ini.c_str(), 0444), 0);
  EXPECT_FALSE(bWriteToIniFile(m_ini, "A", "x", 2));
  EXPECT_EQ(ReadFile(m_ini), "[A]\nx=1\n");
  EXPECT_FALSE(bWriteToIniFile(m_dir.File("no/such/settings.ini"), "A", "x", 1));
  EXPECT_FALSE(std::filesystem::exists(m_dir.File("no")));
}

TEST_F(IniFileTest, AWriteThatCannotCompleteLeavesThePreviousFileIntact) {
  const std::string before = "[A]\nx=1\n; keep me\n";
  WriteFile(m_ini, before);
  // A file-size limit makes the write of the new content fail half-way.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = bWriteToIniFile(m_ini, "A", "big", std::string(8000, 'b'));
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
  EXPECT_FALSE(written);
  EXPECT_EQ(ReadFile(m_ini), before);
  // No temporary file is left behind.
  const auto files = std::filesystem::directory_iterator(m_dir.Path());
  EXPECT_EQ(std::distance(begin(files), end(files)), 1);
}

TEST_F(IniFileTest, WriteKeepsFileModeAndFollowsSymbolicLinks) {
  const std::string real = m_dir.File("real.ini");
  WriteFile(real, "[A]\nx=1\n");
  ASSERT_EQ(chmod(real.c_str(), 0600), 0);
  std::filesystem::create_symlink(real, m_ini);
  ASSERT_TRUE(bWriteToIniFile(m_ini, "A", "x", 5));
  EXPECT_TRUE(std::filesystem::is_symlink(m_ini));
  EXPECT_EQ(ReadFile(real), "[A]\nx=5\n");
  struct stat st {};
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(IniFileTest, ConcurrentWritersLoseNoKey) {
  // Each write is a read-modify-write of the whole file; the folder lock serialises them.
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([this, t] {
      for (int i = 0; i < 25; ++i)
        bWriteToIniFile(m_ini, "T" + std::to_string(t), "k" + std::to_string(i), i);
    });
  }
  for (auto& w : writers) w.join();
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 25; ++i)
      EXPECT_EQ(iReadFromIniFile(m_ini, "T" + std::to_string(t), "k" + std::to_string(i), -1), i);
}
