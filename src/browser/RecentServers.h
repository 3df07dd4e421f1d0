// The servers the user opened by name, most recent first, at most ten, kept from one run to the
// next in RecentServers.rvps (one server path "\\server" per line) in the settings folder.
#pragma once

#include <string>
#include <vector>

class CKaRecentServers {
 public:
  static constexpr std::size_t kMaxServers = 10;

  // file: the list's file; empty means RecentServers.rvps in the settings folder.
  explicit CKaRecentServers(std::string file = {});

  // Reads the file in file order (a missing or unreadable file leaves the list empty).
  void Read();
  // "\\" + server moves to the front (case-insensitive match) or is inserted there; entries past
  // the tenth are dropped.
  void Add(const std::string& serverPath);
  const std::vector<std::string>& List() const { return m_list; }

  // Writes the list back, most recent first. Another tree (the load panel and a folder dialog
  // live at the same time) may have written the file since this one read it: the servers opened
  // here come first, then the file's current entries, then the rest of this list, at most ten.
  // The file is replaced atomically; without a server opened here it is left alone. False when
  // it cannot be written.
  bool Write() const;

  const std::string& FileName() const { return m_file; }

 private:
  std::string m_file;
  std::vector<std::string> m_list;
  std::vector<std::string> m_openedHere;  // most recent first
};

// Reads one server path per line (CR LF or LF), skipping empty lines.
std::vector<std::string> KaReadServerFile(const std::string& file);
