#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace rvtest {

// A fresh folder under the system temp folder, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return m_path; }
  // Path of a file inside the folder, as a string.
  std::string File(const std::string& name) const;

 private:
  std::filesystem::path m_path;
};

void WriteFile(const std::string& path, const std::string& bytes);
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::string ReadFile(const std::string& path);

// Runs a shell command; returns its exit status and fills stdout (and stderr when asked).
int RunCommand(const std::string& command, std::string* out = nullptr, std::string* err = nullptr);

// Quotes a path for a shell command line.
std::string ShellQuote(const std::string& text);

// Runs the built rvtool with the given arguments (quoted as the shell needs them).
int RunTool(const std::string& arguments, std::string* out = nullptr, std::string* err = nullptr);

// A PAM file as rvtool decode writes it: RGBA samples, top row first. Width and height are -1
// when the file is not such a PAM.
struct Pam {
  int width = -1;
  int height = -1;
  std::string pixels;
  int At(int x, int y, int channel) const {
    return static_cast<unsigned char>(
        pixels[(std::size_t(y) * std::size_t(width) + x) * 4 + channel]);
  }
};
Pam ReadPam(const std::string& path);

// True when the named program is on the PATH (tests skip work that needs a missing peer tool).
bool HaveProgram(const std::string& name);

// The folder of the committed test files (tests/data) and of the built programs.
std::string DataDir();
std::string BinDir();

}  // namespace rvtest
