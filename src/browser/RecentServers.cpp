#include "browser/RecentServers.h"

#include <QSaveFile>
#include <algorithm>
#include <sstream>

#include "browser/NetResource.h"
#include "support/NesCommon55.h"

namespace {

constexpr const char* kRecentServersFile = "RecentServers.rvps";

void MoveToFront(std::vector<std::string>* list, const std::string& entry) {
  auto same = [&entry](const std::string& e) { return bCmpNoCase(e, entry); };
  list->erase(std::remove_if(list->begin(), list->end(), same), list->end());
  list->insert(list->begin(), entry);
}

void AppendMissing(std::vector<std::string>* list, const std::vector<std::string>& more) {
  for (const std::string& entry : more) {
    const bool known = std::any_of(list->begin(), list->end(),
                                   [&entry](const std::string& e) { return bCmpNoCase(e, entry); });
    if (!known) list->push_back(entry);
  }
}

}  // namespace

std::vector<std::string> KaReadServerFile(const std::string& file) {
  std::vector<std::string> servers;
  std::istringstream lines(KaReadWholeFile(file));
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    TruncateWhiteSpace(&line);
    if (!line.empty()) servers.push_back(line);
  }
  return servers;
}

CKaRecentServers::CKaRecentServers(std::string file)
    : m_file(file.empty() ? strSettingsPath() + kRecentServersFile : std::move(file)) {}

void CKaRecentServers::Read() {
  m_list = KaReadServerFile(m_file);
  if (m_list.size() > kMaxServers) m_list.resize(kMaxServers);
}

void CKaRecentServers::Add(const std::string& serverPath) {
  MoveToFront(&m_list, serverPath);
  if (m_list.size() > kMaxServers) m_list.resize(kMaxServers);
  MoveToFront(&m_openedHere, serverPath);
  if (m_openedHere.size() > kMaxServers) m_openedHere.resize(kMaxServers);
}

bool CKaRecentServers::Write() const {
  // Nothing opened here: the file already says all this list knows.
  if (m_openedHere.empty()) return true;
  std::vector<std::string> merged = m_openedHere;
  AppendMissing(&merged, KaReadServerFile(m_file));
  AppendMissing(&merged, m_list);
  if (merged.size() > kMaxServers) merged.resize(kMaxServers);
  std::string text;
  for (const std::string& server : merged) text += server + "\r\n";
  QSaveFile out(QString::fromLocal8Bit(m_file));
  if (!out.open(QIODevice::WriteOnly)) return false;
  if (out.write(text.data(), qint64(text.size())) != qint64(text.size())) {
    out.cancelWriting();
    return false;
  }
  return out.commit();
}
