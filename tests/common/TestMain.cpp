// Every test process gets its own settings folder and the offscreen Qt platform, so no test
// reads or writes a real settings.ini and GUI tests need no display.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

// The system's font configuration library keeps a cache for the life of the process; the leak
// checker of the sanitizer build would report it at exit. Read only by sanitizer builds.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

int main(int argc, char** argv) {
  std::string home = (std::filesystem::temp_directory_path() / "rvhome-XXXXXX").string();
  if (!mkdtemp(home.data())) throw std::runtime_error("mkdtemp failed");
  setenv("REELVANE_HOME", home.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::error_code ec;
  std::filesystem::remove_all(home, ec);
  return result;
}
