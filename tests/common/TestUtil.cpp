#include "TestUtil.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace rvtest {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "rvtest-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  m_path = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::File(const std::string& name) const { return (m_path / name).string(); }

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

int RunCommand(const std::string& command, std::string* out, std::string* err) {
  TempDir tmp;
  const std::string outFile = tmp.File("out"), errFile = tmp.File("err");
  const std::string full =
      "( " + command + " ) >" + ShellQuote(outFile) + " 2>" + ShellQuote(errFile);
  const int status = std::system(full.c_str());
  if (out) *out = ReadFile(outFile);
  if (err) *err = ReadFile(errFile);
  if (status == -1) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ShellQuote(const std::string& text) {
  std::string q = "'";
  for (char c : text) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

int RunTool(const std::string& arguments, std::string* out, std::string* err) {
  return RunCommand(ShellQuote(BinDir() + "/rvtool") + " " + arguments, out, err);
}

Pam ReadPam(const std::string& path) {
  const std::string file = ReadFile(path);
  Pam pam;
  const std::size_t end = file.find("ENDHDR\n");
  if (file.compare(0, 3, "P7\n") != 0 || end == std::string::npos) return pam;
  const std::string header = file.substr(0, end);
  const auto field = [&](const std::string& name) {
    const std::size_t at = header.find("\n" + name + " ");
    return at == std::string::npos ? -1 : std::stoi(header.substr(at + name.size() + 2));
  };
  if (field("DEPTH") != 4 || field("MAXVAL") != 255) return pam;
  pam.width = field("WIDTH");
  pam.height = field("HEIGHT");
  pam.pixels = file.substr(end + 7);
  return pam;
}

bool HaveProgram(const std::string& name) {
  return RunCommand("command -v " + ShellQuote(name)) == 0;
}

std::string DataDir() { return RV_TEST_DATA_DIR; }
std::string BinDir() { return RV_BIN_DIR; }

}  // namespace rvtest
