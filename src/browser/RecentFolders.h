// The browser's recent folders in settings.ini (section "Load", keys "RecentDirectory_0" ..
// "RecentDirectory_19", most recent first) and the project folder named by the environment.
#pragma once

#include <string>
#include <vector>

inline constexpr const char* kKaSectionLoad = "Load";
inline constexpr const char* kKaKeyActiveDirectory = "ActiveDirectory";
inline constexpr const char* kKaKeyRecentPrefix = "RecentDirectory_";
inline constexpr std::size_t kKaMaxRecentFolders = 20;
// The environment variable naming the project folder shown first in the list.
inline constexpr const char* kKaProjectVariable = "project";

// The stored folders in key order, stopping at the first empty value.
std::vector<std::string> KaReadRecentFolders(const std::string& iniPath);
// Writes the list to keys 0, 1, ... and empties the keys after it (a stale key would otherwise
// come back at the next start). False when a key could not be written.
bool KaWriteRecentFolders(const std::string& iniPath, const std::vector<std::string>& folders);
// The project folder with a trailing separator, or empty when the variable is unset or empty.
std::string KaProjectFolder();
// The list as shown: the project folder (when set) first, then the stored folders.
std::vector<std::string> KaShownRecentFolders(const std::vector<std::string>& stored,
                                              const std::string& project);
// The list to store after visiting current: shown in display order without the project folder
// (case-insensitive), current moved or put at the front, at most 20 folders.
std::vector<std::string> KaUpdateRecentFolders(const std::vector<std::string>& shown,
                                               const std::string& current,
                                               const std::string& project);
