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

// True when the named program is on the PATH (tests skip work that needs a missing peer tool).
bool HaveProgram(const std::string& name);

// The folder of the committed test files (tests/data) and of the built programs.
std::string DataDir();
std::string BinDir();

}  // namespace rvtest
