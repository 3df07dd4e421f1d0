#include "browser/RecentFolders.h"

#include <cstdlib>

#include "support/NesCommon55.h"

namespace {
std::string Key(std::size_t index) { return kKaKeyRecentPrefix + std::to_string(index); }
}  // namespace

std::vector<std::string> KaReadRecentFolders(const std::string& iniPath) {
  std::vector<std::string> folders;
  for (std::size_t i = 0; i < kKaMaxRecentFolders; ++i) {
    std::string folder = strReadFromIniFile(iniPath, kKaSectionLoad, Key(i), "");
    if (folder.empty()) break;
    folders.push_back(std::move(folder));
  }
  return folders;
}

bool KaWriteRecentFolders(const std::string& iniPath, const std::vector<std::string>& folders) {
  bool ok = true;
  for (std::size_t i = 0; i < kKaMaxRecentFolders; ++i) {
    const std::string value = i < folders.size() ? folders[i] : std::string();
    if (i >= folders.size() && strReadFromIniFile(iniPath, kKaSectionLoad, Key(i), "").empty())
      continue;
    ok = bWriteToIniFile(iniPath, kKaSectionLoad, Key(i), value) && ok;
  }
  return ok;
}

std::string KaProjectFolder() {
  const char* value = std::getenv(kKaProjectVariable);
  if (!value || !*value) return {};
  std::string folder = value;
  if (folder.back() != kNesPathSeparator) folder += kNesPathSeparator;
  return folder;
}

std::vector<std::string> KaShownRecentFolders(const std::vector<std::string>& stored,
                                              const std::string& project) {
  std::vector<std::string> shown;
  if (!project.empty()) shown.push_back(project);
  shown.insert(shown.end(), stored.begin(), stored.end());
  return shown;
}

std::vector<std::string> KaUpdateRecentFolders(const std::vector<std::string>& shown,
                                               const std::string& current,
                                               const std::string& project) {
  std::vector<std::string> updated;
  bool found = false;
  for (const std::string& folder : shown) {
    if (!project.empty() && bCmpNoCase(folder, project)) continue;
    if (folder == current) {
      if (!found) updated.insert(updated.begin(), folder);
      found = true;
    } else {
      updated.push_back(folder);
    }
  }
  const bool currentIsProject = !project.empty() && bCmpNoCase(current, project);
  if (!found && !current.empty() && !currentIsProject) {
    updated.insert(updated.begin(), current);
    if (updated.size() > kKaMaxRecentFolders) updated.pop_back();
  }
  // A list read from an older or hand-edited file may be longer: keep the stored limit.
  if (updated.size() > kKaMaxRecentFolders) updated.resize(kKaMaxRecentFolders);
  return updated;
}
