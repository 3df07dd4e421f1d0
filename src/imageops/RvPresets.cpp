#include "imageops/RvPresets.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "support/NesCommon55.h"

namespace {

constexpr char kTab = '\t';

bool HoldsLineBreakOrTab(const std::string& text) {
  return text.find_first_of("\t\r\n") != std::string::npos;
}

bool IsBlank(const std::string& text) { return text.find_first_not_of(" \t") == std::string::npos; }

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += std::size_t(n);
  }
  return true;
}

}  // namespace

CRvPreset CRvPreset::FromLine(const std::string& line) {
  CRvPreset preset;
  preset.line = line;
  // A TAB in the first place does not start a name: the whole line is the command line.
  const std::size_t tab = line.find(kTab, 1);
  if (tab == std::string::npos) {
    preset.command = line;
  } else {
    preset.name = line.substr(0, tab);
    preset.command = line.substr(tab + 1);
  }
  return preset;
}

CRvPreset CRvPreset::Named(const std::string& name, const std::string& command) {
  return FromLine(name + kTab + command);
}

bool CRvPresetList::Read(const std::string& path) {
  m_items.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (IsBlank(line)) continue;
    m_items.push_back(CRvPreset::FromLine(line));
  }
  return true;
}

bool CRvPresetList::Write(const std::string& path, std::string* error) const {
  std::string text;
  for (const CRvPreset& item : m_items) text += item.line + "\n";
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    if (error) *error = "Cannot create a file beside " + path + ": " + std::strerror(errno);
    return false;
  }
  // mkstemp makes the file private; keep the mode of the file replaced, else the usual one.
  struct stat old {};
  const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  const bool written = WriteAll(fd, text) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  const int savedErrno = errno;
  if (::close(fd) != 0 || !written || ::rename(temp.c_str(), path.c_str()) != 0) {
    const int code = written ? errno : savedErrno;
    ::unlink(temp.c_str());
    if (error) *error = "Cannot write " + path + ": " + std::strerror(code);
    return false;
  }
  return true;
}

bool CRvPresetList::FindCommand(const std::string& text, std::string* command) const {
  const int index = FindName(text);
  if (index < 0) return false;
  std::string found = m_items[std::size_t(index)].command;
  TruncateWhiteSpace(&found);
  *command = found;
  return true;
}

int CRvPresetList::FindName(const std::string& name) const {
  for (std::size_t i = 0; i < m_items.size(); ++i) {
    const CRvPreset& item = m_items[i];
    if (!item.name.empty() && bCmpNoCase(item.name, name)) return int(i);
  }
  return -1;
}

bool CRvPresetList::Put(const std::string& name, const std::string& command) {
  if (IsBlank(name) || IsBlank(command) || HoldsLineBreakOrTab(name) ||
      command.find_first_of("\r\n") != std::string::npos)
    return false;
  const int index = FindName(name);
  if (index >= 0) {
    m_items[std::size_t(index)] = CRvPreset::Named(m_items[std::size_t(index)].name, command);
  } else {
    m_items.push_back(CRvPreset::Named(name, command));
  }
  return true;
}

void CRvPresetList::Remove(int index) {
  if (index >= 0 && std::size_t(index) < m_items.size()) m_items.erase(m_items.begin() + index);
}

const char* RvDefaultCropPresets() {
  return "2.39 letterbox of 16:9\th74%\n"
         "1.85 letterbox of 16:9\th96%\n"
         "4:3 centre of 16:9\tw75%\n"
         "2.39 of 2048 x 1556 full aperture\th857\n"
         "1.85 of 2048 x 1556 full aperture\th1107\n"
         "1920 x 1080 centre\tw1920 h1080\n"
         "Action safe (90%)\tw90% h90%\n"
         "Title safe (80%)\tw80% h80%\n";
}

const char* RvDefaultResamplePresets() {
  return "HD 1920 x 1080\t1920 1080\n"
         "HD 1280 x 720\t1280 720\n"
         "2K full aperture 2048 x 1556\t2048 1556\n"
         "2K 2048 x 1080\t2048 1080\n"
         "PAL 720 x 576\t720 576\n"
         "NTSC 720 x 486\t720 486\n"
         "Half size\t50% 50%\n"
         "Quarter size\t25% 25%\n"
         "Half width\t50%\n";
}

bool RvInstallPresetFile(const std::string& folder, const char* fileName, const char* text) {
  const std::string path = folder + fileName;
  // O_EXCL: a file that appeared meanwhile (another instance, the user) is kept as it is.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fd < 0) return errno == EEXIST;
  const bool written = WriteAll(fd, text);
  if (::close(fd) != 0 || !written) {
    ::unlink(path.c_str());
    return false;
  }
  return true;
}
