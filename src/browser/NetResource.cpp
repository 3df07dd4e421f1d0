#include "browser/NetResource.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "support/NesCommon55.h"

namespace {

constexpr char kWindowsSeparator = '\\';

bool IsSeparator(char c) { return c == kNesPathSeparator || c == kWindowsSeparator; }

// \040 (blank), \011 (TAB), \012 (line feed) and \134 (backslash) as the mounts table writes them.
std::string DecodeMountField(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() &&
        std::isdigit(static_cast<unsigned char>(field[i + 1])) &&
        std::isdigit(static_cast<unsigned char>(field[i + 2])) &&
        std::isdigit(static_cast<unsigned char>(field[i + 3]))) {
      out += char(std::strtol(field.substr(i + 1, 3).c_str(), nullptr, 8));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

std::string LastComponent(std::string path) {
  while (!path.empty() && IsSeparator(path.back())) path.pop_back();
  const std::size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// "host:/export/path" (NFS) or "user@host:path" (SSHFS).
bool SplitHostColonPath(const std::string& source, std::string* host, std::string* path) {
  const std::size_t colon = source.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  *host = source.substr(0, colon);
  const std::size_t at = host->rfind('@');
  if (at != std::string::npos) host->erase(0, at + 1);
  // An IPv6 literal comes in brackets.
  if (host->size() > 2 && host->front() == '[' && host->back() == ']')
    *host = host->substr(1, host->size() - 2);
  *path = source.substr(colon + 1);
  return !host->empty();
}

bool ParseMount(const std::string& source, const std::string& type, KaNetMount* mount) {
  std::string path;
  if (type == "cifs" || type == "smb3" || type == "smbfs") {
    std::string server, rest;
    if (!KaSplitServerPath(source, &server, &rest)) return false;
    mount->protocol = "SMB";
    mount->server = server;
    path = rest;
  } else if (type == "nfs" || type == "nfs4") {
    if (!SplitHostColonPath(source, &mount->server, &path)) return false;
    mount->protocol = "NFS";
  } else if (type == "fuse.sshfs") {
    if (!SplitHostColonPath(source, &mount->server, &path)) return false;
    mount->protocol = "SSHFS";
  } else if (type == "davfs" || type == "fuse.davfs2") {
    const std::size_t scheme = source.find("://");
    if (scheme == std::string::npos) return false;
    const std::string afterScheme = source.substr(scheme + 3);
    const std::size_t slash = afterScheme.find('/');
    mount->server = afterScheme.substr(0, slash);
    const std::size_t port = mount->server.rfind(':');
    if (port != std::string::npos) mount->server.erase(port);
    path = slash == std::string::npos ? std::string() : afterScheme.substr(slash);
    mount->protocol = "WebDAV";
  } else {
    return false;
  }
  mount->share = LastComponent(path);
  // A whole export ("host:/") or a home ("host:") is named after its server.
  if (mount->share.empty()) mount->share = mount->server;
  return !mount->server.empty();
}

std::mutex& DefaultProviderMutex() {
  static std::mutex mutex;
  return mutex;
}

std::shared_ptr<CKaNetProvider>& DefaultProviderSlot() {
  static std::shared_ptr<CKaNetProvider> provider;
  return provider;
}

}  // namespace

std::string KaReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<KaNetMount> KaParseNetworkMounts(const std::string& mountsText) {
  std::vector<KaNetMount> mounts;
  std::istringstream lines(mountsText);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string source, mountPoint, type;
    if (!(fields >> source >> mountPoint >> type)) continue;
    KaNetMount mount;
    if (!ParseMount(DecodeMountField(source), type, &mount)) continue;
    mount.mountPoint = DecodeMountField(mountPoint);
    mounts.push_back(std::move(mount));
  }
  return mounts;
}

CKaMountNetProvider::CKaMountNetProvider(std::string mountsFile)
    : m_mountsFile(std::move(mountsFile)) {}

std::vector<KaNetMount> CKaMountNetProvider::Mounts(std::string* errorText) const {
  std::vector<KaNetMount> mounts = KaParseNetworkMounts(KaReadWholeFile(m_mountsFile));
  if (mounts.empty() && errorText) *errorText += "No network file system is mounted\n";
  return mounts;
}

bool CKaMountNetProvider::EnumerateDomains(std::vector<CKaNetResource>* list,
                                           std::string* errorText, const CKaNetResource*) {
  list->clear();
  for (const KaNetMount& mount : Mounts(errorText)) {
    const bool known = std::any_of(list->begin(), list->end(), [&](const CKaNetResource& r) {
      return r.remoteName == mount.protocol;
    });
    if (known) continue;
    CKaNetResource domain;
    domain.displayType = kKaDisplayTypeDomain;
    domain.usage = kKaUsageContainer;
    domain.remoteName = mount.protocol;
    domain.provider = mount.protocol;
    list->push_back(std::move(domain));
  }
  return !list->empty();
}

bool CKaMountNetProvider::EnumerateServers(std::vector<CKaNetResource>* list,
                                           std::string* errorText,
                                           const CKaNetResource* container) {
  list->clear();
  const std::vector<KaNetMount> mounts = Mounts(errorText);
  if (mounts.empty()) return false;
  for (const KaNetMount& mount : mounts) {
    if (container && !bCmpNoCase(container->remoteName, mount.protocol)) continue;
    const std::string remote = kNesNetworkPrefixWindows + mount.server;
    const bool known = std::any_of(list->begin(), list->end(), [&](const CKaNetResource& r) {
      return bCmpNoCase(r.remoteName, remote);
    });
    if (known) continue;
    CKaNetResource server;
    server.type = kKaResourceTypeAny;
    server.displayType = kKaDisplayTypeServer;
    server.usage = kKaUsageContainer;
    server.remoteName = remote;
    server.provider = mount.protocol;
    list->push_back(std::move(server));
  }
  return true;
}

bool CKaMountNetProvider::EnumerateShares(const std::string& serverPath,
                                          std::vector<CKaNetResource>* list,
                                          std::string* errorText) {
  list->clear();
  std::string server, rest;
  if (!KaSplitServerPath(serverPath, &server, &rest)) {
    if (errorText) *errorText += "Not a server path\n";
    return false;
  }
  for (const KaNetMount& mount : Mounts(errorText)) {
    if (!bCmpNoCase(mount.server, server)) continue;
    CKaNetResource share;
    share.displayType = kKaDisplayTypeShare;
    share.usage = kKaUsageConnectable;
    share.remoteName = kNesNetworkPrefixWindows + mount.server + kWindowsSeparator + mount.share;
    share.localName = mount.mountPoint;
    share.provider = mount.protocol;
    list->push_back(std::move(share));
  }
  if (list->empty()) {
    if (errorText) *errorText += "Server not found: " + server + "\n";
    return false;
  }
  return true;
}

std::shared_ptr<CKaNetProvider> KaDefaultNetProvider() {
  std::lock_guard<std::mutex> lock(DefaultProviderMutex());
  if (!DefaultProviderSlot()) DefaultProviderSlot() = std::make_shared<CKaMountNetProvider>();
  return DefaultProviderSlot();
}

void KaSetDefaultNetProvider(std::shared_ptr<CKaNetProvider> provider) {
  std::lock_guard<std::mutex> lock(DefaultProviderMutex());
  DefaultProviderSlot() = std::move(provider);
}

std::string ResolveShortcut(const std::string& path) {
  char resolved[PATH_MAX];
  if (!realpath(path.c_str(), resolved)) return {};
  struct stat info {};
  if (stat(resolved, &info) != 0 || !S_ISDIR(info.st_mode)) return {};
  return resolved;
}

bool KaSplitServerPath(const std::string& path, std::string* server, std::string* rest) {
  if (path.size() < 3 || !IsSeparator(path[0]) || !IsSeparator(path[1]) || IsSeparator(path[2]))
    return false;
  std::size_t end = 2;
  while (end < path.size() && !IsSeparator(path[end])) ++end;
  *server = path.substr(2, end - 2);
  *rest = path.substr(end);
  return true;
}
