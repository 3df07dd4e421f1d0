// What the folder tree shows under "Local" and inside a folder, read from the file system, and
// the helper that keeps the window alive while a slow folder (a network mount) is being read.
#pragma once

#include <functional>
#include <string>
#include <vector>

// One child of a folder item: a subfolder, or a folder shortcut (a symbolic link to a folder)
// shown as ">> " + its name and leading to its target.
struct KaFolderChild {
  std::string text;
  std::string path;
  bool shortcut = false;
};

// The subfolders and folder shortcuts of folder, in case-insensitive name order (ties by exact
// bytes), "." and ".." left out. An unreadable folder has none.
std::vector<KaFolderChild> KaListSubfolders(const std::string& folder);

// One item under "Local": a mounted volume the user browses.
struct KaVolume {
  std::string text;  // the mount point, then " (" + label + ")" when it has one
  std::string path;
};

// "/" itself, the home folder, and the mount points of removable (under /media, /run/media,
// /mnt) and network file systems from a mounts table, in that order without repeats. Labels:
// the file-system label where known (labels maps a device to it), else the mount point's name;
// a network mount reads "share on 'server'".
std::vector<KaVolume> KaLocalVolumes(
    const std::string& mountsText, const std::string& home,
    const std::vector<std::pair<std::string, std::string>>& labels);
// The volumes of this machine (/proc/self/mounts, $HOME, /dev/disk/by-label).
std::vector<KaVolume> KaLocalVolumes();

// Runs work on a worker thread and returns its result. While it runs the window keeps painting
// and shows the wait cursor; the user's input waits until it is done, so nothing can change
// under the caller. Quick work (under a few milliseconds) is simply waited for.
void KaRunOffUiThread(const std::function<void()>& work);
