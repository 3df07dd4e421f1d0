// Path helpers with the POSIX rules: one separator, no drive letters. A path is "rooted" when
// it starts with the separator; the drive part of a split path is therefore always empty.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "support/NesCommon55.h"

namespace {

bool EndsWithSeparator(const std::string& text) {
  return !text.empty() && text.back() == kNesPathSeparator;
}

std::string WithSeparator(std::string folder) {
  if (!EndsWithSeparator(folder)) folder += kNesPathSeparator;
  return folder;
}

std::string CurrentDirectory() {
  std::error_code ec;
  const std::filesystem::path cwd = std::filesystem::current_path(ec);
  return ec ? std::string() : cwd.string();
}

bool IsWritableFolder(const std::string& folder) {
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         ::access(folder.c_str(), W_OK) == 0;
}

// Returns the folder (ending in the separator) after making sure it exists; empty on failure.
std::string EnsureFolder(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::is_directory(folder, ec)) return std::string();
  return WithSeparator(folder);
}

}  // namespace

std::string strAppPath() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return WithSeparator(CurrentDirectory());
  return WithSeparator(exe.parent_path().string());
}

std::string strSettingsPath() {
  if (const char* home = std::getenv("REELVANE_HOME"); home && *home) {
    const std::string folder = EnsureFolder(home);
    if (!folder.empty()) return folder;
  }
  const std::string app = strAppPath();
  // An installed copy's folder is shared by every user and belongs to the package manager;
  // root can write there, but what it leaves would outlive the package.
  std::error_code ec;
  const bool installed = std::filesystem::exists(app + kNesInstalledCopyMarker, ec);
  if (!installed && IsWritableFolder(app)) return app;
  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == kNesPathSeparator) {
    config = xdg;
  } else if (const char* userHome = std::getenv("HOME"); userHome && *userHome) {
    config = WithSeparator(userHome) + ".config";
  }
  if (!config.empty()) {
    const std::string folder = EnsureFolder(WithSeparator(config) + "reelvane");
    if (!folder.empty()) return folder;
  }
  return app;  // nothing better: reads still work, writes report failure
}

std::string strGetFullPath(const std::string& path) {
  if (path.rfind(kNesNetworkPrefixWindows, 0) == 0) return path;  // typed network path
  std::string full = path;
  if (full.empty() || full.front() != kNesPathSeparator) {
    const std::string cwd = CurrentDirectory();
    if (cwd.empty()) return path;
    full = WithSeparator(cwd) + full;
  }
  const bool network =
      full.rfind(kNesNetworkPrefix, 0) == 0 && full.size() > 2 && full[2] != kNesPathSeparator;
  const bool trailing = EndsWithSeparator(full);

  // Collapse ".", ".." and doubled separators without touching the file system.
  std::vector<std::string_view> parts;
  std::string_view rest(full);
  while (!rest.empty()) {
    const std::size_t sep = rest.find(kNesPathSeparator);
    const std::string_view part = rest.substr(0, sep);
    rest = sep == std::string_view::npos ? std::string_view() : rest.substr(sep + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string result = network ? kNesNetworkPrefix : kNesPathSeparatorText;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) result += kNesPathSeparator;
    result += parts[i];
  }
  if (trailing && !parts.empty()) result += kNesPathSeparator;
  return result;
}

void SplitPath(std::string path, std::string* drive, std::string* directory, std::string* name,
               std::string* extension) {
  const std::size_t first = path.find_first_not_of('"');
  path.erase(0, first == std::string::npos ? path.size() : first);
  while (!path.empty() && path.back() == '"') path.pop_back();

  const std::size_t sep = path.rfind(kNesPathSeparator);
  const std::size_t nameStart = sep == std::string::npos ? 0 : sep + 1;
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) dot = path.size();

  if (drive) drive->clear();  // no drive letters here
  if (directory) *directory = path.substr(0, nameStart);
  if (name) *name = path.substr(nameStart, dot - nameStart);
  if (extension) *extension = path.substr(dot);
}

std::string strCombinePath(const std::string& drive, const std::string& directory,
                           const std::string& name, const std::string& extension) {
  std::string result = drive;
  if (!directory.empty()) result += WithSeparator(directory);
  result += name;
  if (!extension.empty()) {
    if (extension.front() != '.') result += '.';
    result += extension;
  }
  return result;
}

std::string strNesGetPrevDirectory(std::string directory) {
  if (EndsWithSeparator(directory)) directory.pop_back();
  const std::size_t sep = directory.rfind(kNesPathSeparator);
  if (sep == std::string::npos) return directory;
  return directory.substr(0, sep + 1);
}
