#include "sequence/SequenceList.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "sequence/FrameName.h"
#include "support/NesCommon55.h"

namespace {

// Owns an open directory stream.
struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

bool LessNoCase(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca - 'A' + 'a');
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb - 'A' + 'a');
    if (ca != cb) return ca < cb;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

bool HasLinkExtension(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string ext = name.substr(dot);
  return RvKeysEqual(ext, ".lnk") || RvKeysEqual(ext, ".url");
}

// The folder with one trailing separator, as frames' paths and sequences' folders carry it.
std::string FolderWithSeparator(const std::string& folder) {
  if (folder.empty()) return std::string(".") + kNesPathSeparatorText;
  if (folder.back() == kNesPathSeparator) return folder;
  return folder + kNesPathSeparatorText;
}

}  // namespace

bool RvListFolder(const std::string& folder, const std::string& mask,
                  std::vector<RvDirEntry>* entries, std::string* errorText) {
  entries->clear();
  const std::string dirPath = folder.empty() ? std::string(".") : folder;
  std::unique_ptr<DIR, DirCloser> dir(opendir(dirPath.c_str()));
  if (!dir) {
    if (errorText) *errorText = std::strerror(errno);
    return false;
  }
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = readdir(dir.get())) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    if (entry->d_type == DT_DIR) continue;
    if (!RvMatchMask(name, mask)) continue;
    names.emplace_back(name);
  }
  std::sort(names.begin(), names.end(), LessNoCase);
  const int dirFd = dirfd(dir.get());
  entries->reserve(names.size());
  for (std::string& name : names) {
    RvDirEntry entry;
    if (!RvReadFileStampAt(dirFd, name.c_str(), &entry.stamp)) continue;
    entry.name = std::move(name);
    entries->push_back(std::move(entry));
  }
  return true;
}

CRvSequenceList::CRvSequenceList(const std::string& folder, const std::string& mask) {
  std::vector<RvDirEntry> entries;
  m_listed = RvListFolder(folder, mask, &entries, &m_errorText);
  if (!m_listed) return;
  const std::string prefix = FolderWithSeparator(folder);

  // Built oldest first and turned around at the end: a new sequence belongs at the front.
  SequenceVector built;
  // Folded key -> the newest sequence with that key, which is the first one a walk from the
  // front of the finished list would meet.
  std::unordered_map<std::string, CRvSequence*> newestByKey;
  for (RvDirEntry& entry : entries) {
    if (HasLinkExtension(entry.name)) continue;
    auto frame = std::make_unique<CRvFrame>(prefix + entry.name, entry.stamp.created,
                                            entry.stamp.modified, entry.stamp.size);
    std::string folded = RvFoldKey(frame->GetKey());
    auto found = newestByKey.find(folded);
    if (found != newestByKey.end() && found->second->AddFrame(frame)) continue;
    std::string drive;
    std::string directory;
    SplitPath(frame->GetPath(), &drive, &directory, nullptr, nullptr);
    auto sequence =
        std::make_unique<CRvSequence>(frame->GetKey(), strCombinePath(drive, directory, "", ""));
    sequence->AddFrame(frame);
    newestByKey[std::move(folded)] = sequence.get();
    built.push_back(std::move(sequence));
  }
  m_sequences.reserve(built.size());
  for (auto it = built.rbegin(); it != built.rend(); ++it) m_sequences.push_back(std::move(*it));
}

CRvSequenceList::~CRvSequenceList() = default;

std::vector<const CRvSequence*> RvBrowserOrder(const CRvSequenceList& list) {
  std::vector<const CRvSequence*> numbered;
  std::vector<const CRvSequence*> singles;
  const auto& sequences = list.GetSequences();
  for (auto it = sequences.rbegin(); it != sequences.rend(); ++it)
    ((*it)->GetFrameCount() > 1 ? numbered : singles).push_back(it->get());
  numbered.insert(numbered.end(), singles.begin(), singles.end());
  return numbered;
}

std::unique_ptr<CRvSequence> RvLookupSequence(const std::string& path) {
  std::string drive;
  std::string directory;
  std::string name;
  std::string ext;
  SplitPath(path, &drive, &directory, &name, &ext);
  std::string key;
  std::uint32_t number = 0;
  ParseFrameName(strCombinePath("", "", name, ext), &key, &number);

  std::string wildcard;
  std::string compare;
  for (std::size_t i = 0; i < key.size(); ++i) {
    const char c = key[i];
    if (c == '%' && i + 1 == key.size()) break;
    if (c == '#' || c == '@' || c == '%') {
      if (c == '%') ++i;
      wildcard += "???????????";
      compare += '#';
    } else {
      wildcard += c;
      compare += c;
    }
  }
  CRvSequenceList list(strCombinePath(drive, directory, "", ""), wildcard);
  for (const auto& sequence : list.GetSequences())
    if (RvKeysEqual(sequence->GetKey(), compare)) return std::make_unique<CRvSequence>(*sequence);
  return nullptr;
}
