#include "browser/FolderListing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <sstream>
#include <thread>

#include "browser/NetResource.h"
#include "support/NesCommon55.h"

namespace {

constexpr auto kQuickWait = std::chrono::milliseconds(30);
constexpr const char* kLabelFolder = "/dev/disk/by-label";
const std::vector<std::string> kRemovableRoots = {"/media/", "/run/media/", "/mnt/"};

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

std::string Folded(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool LessNoCase(const std::string& a, const std::string& b) {
  const std::string fa = Folded(a), fb = Folded(b);
  return fa != fb ? fa < fb : a < b;
}

std::string Join(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == kNesPathSeparator) return folder + name;
  return folder + kNesPathSeparator + name;
}

std::string NameOf(const std::string& path) {
  const std::size_t cut = path.find_last_of(kNesPathSeparator);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// by-label names escape unusual bytes as \xNN.
std::string DecodeLabel(const std::string& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
      out += char(std::strtol(name.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 3;
    } else {
      out += name[i];
    }
  }
  return out;
}

std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

bool IsRemovableMountPoint(const std::string& mountPoint) {
  return std::any_of(kRemovableRoots.begin(), kRemovableRoots.end(), [&](const std::string& r) {
    return mountPoint.compare(0, r.size(), r) == 0 && mountPoint.size() > r.size();
  });
}

}  // namespace

std::vector<KaFolderChild> KaListSubfolders(const std::string& folder) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
  if (!dir) return {};
  while (const dirent* entry = readdir(dir.get())) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    if (entry->d_type == DT_REG) continue;  // cheap skip of plain files where the type is known
    names.emplace_back(name);
  }
  std::sort(names.begin(), names.end(), LessNoCase);
  std::vector<KaFolderChild> children;
  const int dirFd = dirfd(dir.get());
  for (const std::string& name : names) {
    struct stat info {};
    if (fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    const std::string path = Join(folder, name);
    if (S_ISDIR(info.st_mode)) {
      children.push_back({name, path, false});
    } else if (S_ISLNK(info.st_mode)) {
      std::string target = ResolveShortcut(path);
      if (!target.empty()) children.push_back({">> " + name, std::move(target), true});
    }
  }
  return children;
}

std::vector<KaVolume> KaLocalVolumes(
    const std::string& mountsText, const std::string& home,
    const std::vector<std::pair<std::string, std::string>>& labels) {
  std::vector<KaVolume> volumes;
  const auto add = [&volumes](const std::string& path, const std::string& label) {
    for (const KaVolume& v : volumes)
      if (v.path == path) return;
    volumes.push_back({label.empty() ? path : path + " (" + label + ")", path});
  };
  const auto labelOf = [&labels](const std::string& device) {
    for (const auto& [dev, label] : labels)
      if (dev == device) return label;
    return std::string();
  };
  std::istringstream lines(mountsText);
  std::string line, rootLabel;
  std::vector<std::pair<std::string, std::string>> removable;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string source, mountPoint;
    if (!(fields >> source >> mountPoint)) continue;
    if (mountPoint == kNesPathSeparatorText) rootLabel = labelOf(source);
    if (IsRemovableMountPoint(mountPoint) && source.rfind("/dev/", 0) == 0) {
      std::string label = labelOf(source);
      removable.emplace_back(mountPoint, label.empty() ? NameOf(mountPoint) : label);
    }
  }
  add(kNesPathSeparatorText, rootLabel);
  if (!home.empty() && home != kNesPathSeparatorText) add(home, NameOf(home));
  for (const auto& [path, label] : removable) add(path, label);
  for (const KaNetMount& mount : KaParseNetworkMounts(mountsText))
    add(mount.mountPoint, mount.share + " on '" + mount.server + "'");
  return volumes;
}

std::vector<KaVolume> KaLocalVolumes() {
  std::vector<std::pair<std::string, std::string>> labels;
  if (std::unique_ptr<DIR, DirCloser> dir{opendir(kLabelFolder)}) {
    while (const dirent* entry = readdir(dir.get())) {
      if (entry->d_name[0] == '.') continue;
      labels.emplace_back(Canonical(Join(kLabelFolder, entry->d_name)), DecodeLabel(entry->d_name));
    }
  }
  const char* home = std::getenv("HOME");
  return KaLocalVolumes(KaReadWholeFile("/proc/self/mounts"), home ? home : "", labels);
}

void KaRunOffUiThread(const std::function<void()>& work) {
  std::future<void> done = std::async(std::launch::async, work);
  if (done.wait_for(kQuickWait) == std::future_status::ready || !qApp) {
    done.get();
    return;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QEventLoop loop;
  QEventLoop* target = &loop;  // outlives the notifier, which is joined below
  // The worker may finish before exec() starts; a queued quit is still delivered inside it.
  std::thread notifier([&done, target] {
    done.wait();
    QMetaObject::invokeMethod(target, "quit", Qt::QueuedConnection);
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  notifier.join();
  QApplication::restoreOverrideCursor();
  done.get();
}
