// Loading converter plug-ins and scanning their folder: the reasons a plug-in is refused, the
// scan order and the entries of Kacv.log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "FakeConverterCalls.h"
#include "TestUtil.h"
#include "imaging/plugins/KaConverterPlugInList.h"
#include "support/NesCommon55.h"

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

// Copies test plug-ins into a folder under the names given, so a test fixes the scan order.
void Install(const rvtest::TempDir& dir, const std::string& variant, const std::string& name) {
  fs::copy_file(FakePlugIn(variant), dir.Path() / name, fs::copy_options::overwrite_existing);
}

// The messages of the "Plug-In List" entries, timestamps checked and cut off.
std::vector<std::string> LogMessages(const std::string& logFile) {
  std::istringstream in(rvtest::ReadFile(logFile));
  const std::regex entry(R"(^\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2} \[Plug-In List\] (.*)$)");
  std::vector<std::string> messages;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::smatch m;
    if (std::regex_match(line, m, entry)) messages.push_back(m[1]);
  }
  return messages;
}

}  // namespace

TEST(ConverterPlugInLoad, EachMissingRequiredExportHasItsReason) {
  for (const char* name : {"bKacvInitialize", "bKacvCanConvert", "KacvBeforeConvert",
                           "bKacvReadHeader", "bKacvDoConversion", "KacvAfterConvert"}) {
    CKaConverterPlugIn plugIn(FakePlugIn(std::string("missing_") + name));
    EXPECT_FALSE(plugIn.IsLoaded()) << name;
    EXPECT_EQ(plugIn.GetReason(), std::string(name) + " - function not exported");
  }
}

TEST(ConverterPlugInLoad, FailedInitialisationsAndNonLibrariesAreRefused) {
  CKaConverterPlugIn refuses(FakePlugIn("init_false"));
  EXPECT_FALSE(refuses.IsLoaded());
  EXPECT_EQ(refuses.GetReason(), "Call to bKacvInitialize failed");
  CKaConverterPlugIn throws(FakePlugIn("init_throws"));
  EXPECT_FALSE(throws.IsLoaded());
  EXPECT_EQ(throws.GetReason(), "Unhandled exception while calling bKacvInitialize");
  rvtest::TempDir dir;
  rvtest::WriteFile(dir.File("text.kcv"), "not a shared object");
  CKaConverterPlugIn plugIn(dir.File("text.kcv"));
  EXPECT_FALSE(plugIn.IsLoaded());
  EXPECT_EQ(plugIn.GetReason(), "LoadLibrary failed");
  EXPECT_FALSE(plugIn.GetLoaderMessage().empty());
}

TEST(ConverterPlugInLoad, LoadedPlugInReportsItsTextsVersionAndGeneration) {
  CKaConverterPlugIn memory(FakePlugIn("memory"));
  ASSERT_TRUE(memory.IsLoaded()) << memory.GetReason();
  EXPECT_EQ(memory.GetName(), "Memory");
  EXPECT_EQ(memory.GetDescription(), "Test converter Memory");
  EXPECT_EQ(memory.GetVersionMajor(), 3);
  EXPECT_EQ(memory.GetVersionMinor(), 14);
  EXPECT_TRUE(memory.UsesMemoryCalls());
  FakeCalls* calls = CallsOf(FakePlugIn("memory"));
  ASSERT_NE(calls, nullptr);
  EXPECT_EQ(calls->reservedSeen, 0);  // the fifth argument starts zeroed

  CKaConverterPlugIn reader(FakePlugIn("reader"));
  ASSERT_TRUE(reader.IsLoaded());
  EXPECT_FALSE(reader.UsesMemoryCalls());
  // Only one of the two in-memory calls: driven through the reader table.
  CKaConverterPlugIn half(FakePlugIn("header2only"));
  ASSERT_TRUE(half.IsLoaded());
  EXPECT_FALSE(half.UsesMemoryCalls());
}

TEST(ConverterPlugInList, ScanLogsEveryPlugInInNameOrder) {
  rvtest::TempDir dir;
  Install(dir, "second", "B_second.kcv");
  Install(dir, "first", "a_first.kcv");
  Install(dir, "init_throws", "c_throws.kcv");
  Install(dir, "reader", "d_reader.KCV");  // the mask ignores letter case
  Install(dir, "memory", "e_memory.dll");  // not matched
  fs::create_directory(dir.Path() / "f_folder.kcv");
  const std::string log = dir.File("Kacv.log");
  const std::string pattern = dir.Path().string() + "/*.kcv";

  CKaConverterPlugInList list(pattern, log);

  ASSERT_EQ(list.GetCount(), 3u);
  EXPECT_EQ(list.GetAt(0).GetName(), "First");
  EXPECT_EQ(list.GetAt(1).GetName(), "Second");
  EXPECT_EQ(list.GetAt(2).GetName(), "Reader");
  const std::string folder = dir.Path().string() + "/";
  EXPECT_THAT(LogMessages(log), ElementsAreArray(std::vector<std::string>{
                                    "Searching for converter plug-ins using " + pattern,
                                    "Found plug-in " + folder + "a_first.kcv",
                                    "New Plug-In added to list:",
                                    "First",
                                    "Test converter First",
                                    "Version 3.14",
                                    "Found plug-in " + folder + "B_second.kcv",
                                    "New Plug-In added to list:",
                                    "Second",
                                    "Test converter Second",
                                    "Version 3.14",
                                    "Found plug-in " + folder + "c_throws.kcv",
                                    "Plug-In failed to initialize, Reason:",
                                    "Unhandled exception while calling bKacvInitialize",
                                    "Found plug-in " + folder + "d_reader.KCV",
                                    "New Plug-In added to list:",
                                    "Reader",
                                    "Test converter Reader",
                                    "Version 3.14",
                                    "Found 3 plug-ins in total",
                                }));
  // The log object opens the file for appending, with its usual opening entry.
  EXPECT_NE(rvtest::ReadFile(log).find("[NesLog] LogFile opened"), std::string::npos);
}

TEST(ConverterPlugInList, MissingFolderGivesAnEmptyListAndSaysSo) {
  rvtest::TempDir dir;
  const std::string log = dir.File("Kacv.log");
  const std::string pattern = dir.Path().string() + "/nowhere/*.kcv";
  CKaConverterPlugInList list(pattern, log);
  EXPECT_EQ(list.GetCount(), 0u);
  EXPECT_THAT(LogMessages(log), ElementsAre("Searching for converter plug-ins using " + pattern,
                                            "Found 0 plug-ins in total"));
}

TEST(ConverterPlugInList, ScanAppendsToAnExistingLog) {
  rvtest::TempDir dir;
  const std::string log = dir.File("Kacv.log");
  const std::string pattern = dir.Path().string() + "/*.kcv";
  { CKaConverterPlugInList first(pattern, log); }
  { CKaConverterPlugInList second(pattern, log); }
  EXPECT_EQ(LogMessages(log).size(), 4u);
}

TEST(ConverterPlugInList, DefaultLogLivesInTheSettingsFolder) {
  rvtest::TempDir dir;
  CKaConverterPlugInList list(dir.Path().string() + "/*.kcv");
  EXPECT_EQ(LogMessages(strSettingsPath() + "Kacv.log").back(), "Found 0 plug-ins in total");
  EXPECT_EQ(CKaConverterPlugInList::DefaultSearchPattern(), strAppPath() + "Converters/*.kcv");
}

TEST(ConverterPlugInList, FindConverterPassesPathAndExtension) {
  rvtest::TempDir dir;
  Install(dir, "reader", "reader.kcv");
  CKaConverterPlugInList list(dir.Path().string() + "/*.kcv", dir.File("Kacv.log"));
  std::uint8_t header[KACV_HEADER_SIZE] = {'T', 'P', 'L', 'G'};
  EXPECT_EQ(list.FindConverter("/shots/frame.0001.tplg", header), &list.GetAt(0));
  FakeCalls* calls = CallsOf(dir.File("reader.kcv"));
  ASSERT_NE(calls, nullptr);
  EXPECT_STREQ(calls->lastPath, "/shots/frame.0001.tplg");
  EXPECT_STREQ(calls->lastExtension, ".tplg");
  header[0] = 'X';
  EXPECT_EQ(list.FindConverter("/shots/frame.0001.tplg", header), nullptr);
}
