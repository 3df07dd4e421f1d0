// A process killed while it rewrites settings.ini or a play list never leaves a damaged file:
// a child rewrites the file in a loop, alternating two contents, and is killed with SIGKILL at
// a random moment, 100 times; each time the file must read back as one of the two.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "TestUtil.h"
#include "sequence/PlayList.h"
#include "sequence/Sequence.h"
#include "support/NesProfile.h"

namespace {

struct Writer {
  const char* name;
  // Writes content 0 or 1 into the folder's file; reads the file back as 0, 1 or -1 (neither).
  std::function<bool(const std::string& folder, int which)> write;
  std::function<int(const std::string& folder)> read;
};

// Long values (reads deliver up to 1023 characters), so that a write takes long enough to be
// interrupted in the middle.
std::string IniValue(int which) { return std::string(1000, which ? 'n' : 'o'); }

// Content 0: the sequence once, its whole range; content 1: three times, ranges and reversed.
bool SavePlayList(const std::string& folder, int which, const std::string& path) {
  CRvPlayList list;
  for (int i = 0; i < 1 + 2 * which; ++i) {
    CRvSequence* sequence = nullptr;
    if (!list.AddSequenceByFile(folder + "/shot_0001.tif", &sequence)) return false;
    if (which) sequence->SetRangeEnd(1), sequence->SetReverse(true);
  }
  std::string errors;
  return list.SaveToFile(path, &errors);
}

const Writer kWriters[] = {
    {"ini",
     [](const std::string& folder, int which) {
       return bNesWriteProfileString(folder + "/settings.ini", "Kill", "Value", IniValue(which));
     },
     [](const std::string& folder) {
       std::string value;
       bNesGetProfileString(folder + "/settings.ini", "Kill", "Value", &value);
       return value == IniValue(0) ? 0 : value == IniValue(1) ? 1 : -1;
     }},
    {"rvpl",
     [](const std::string& folder, int which) {
       return SavePlayList(folder, which, folder + "/list.rvpl");
     },
     [](const std::string& folder) {
       CRvPlayList list;
       std::string errors;
       if (!list.LoadFromFile(folder + "/list.rvpl", &errors)) return -1;
       const std::string text = rvtest::ReadFile(folder + "/list.rvpl");
       for (int which : {0, 1}) {
         const std::string expected = folder + "/expected" + std::to_string(which);
         if (!std::filesystem::exists(expected)) SavePlayList(folder, which, expected);
         if (text == rvtest::ReadFile(expected)) return which;
       }
       return -1;
     }},
};

class KillSafeWrite : public ::testing::TestWithParam<Writer> {};

TEST_P(KillSafeWrite, FileIsOldOrNewAfterEveryKill) {
  const Writer& w = GetParam();
  rvtest::TempDir dir;
  const std::string folder = dir.Path().string();
  for (const char* frame : {"shot_0001.tif", "shot_0002.tif"})
    rvtest::WriteFile(dir.File(frame), std::string("x"));
  ASSERT_TRUE(w.write(folder, 0));
  std::mt19937 random(20);
  int seen[2] = {0, 0};  // kills that found the old content, and the new
  int current = 0;
  for (int kill = 0; kill < 100; ++kill) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Starts with the other content, so that even a kill during the first write can tell.
      for (int which = current ^ 1;; which ^= 1) w.write(folder, which);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200 + random() % 20000));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    const int read = w.read(folder);
    ASSERT_NE(read, -1) << w.name << " after kill " << kill;
    ++seen[read != current];
    current = read;
  }
  // Kills caught the file both before and after a completed rewrite, so they did land among
  // the writes.
  EXPECT_GT(seen[0], 0);
  EXPECT_GT(seen[1], 0);
}

INSTANTIATE_TEST_SUITE_P(Files, KillSafeWrite, ::testing::ValuesIn(kWriters),
                         [](const ::testing::TestParamInfo<Writer>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
