// The network neighbourhood behind the folder tree: network-resource records, the provider
// interface that enumerates domains, servers and shares, and the default provider over the
// network file systems mounted on this machine.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Scopes, types, display types and usages of a network resource (the classic numbering, kept so
// records read the same on every platform).
inline constexpr std::uint32_t kKaResourceGlobalNet = 0x2;
inline constexpr std::uint32_t kKaResourceTypeAny = 0x0;
inline constexpr std::uint32_t kKaResourceTypeDisk = 0x1;
inline constexpr std::uint32_t kKaDisplayTypeGeneric = 0x0;
inline constexpr std::uint32_t kKaDisplayTypeDomain = 0x1;
inline constexpr std::uint32_t kKaDisplayTypeServer = 0x2;
inline constexpr std::uint32_t kKaDisplayTypeShare = 0x3;
inline constexpr std::uint32_t kKaDisplayTypeNetwork = 0x6;
inline constexpr std::uint32_t kKaUsageConnectable = 0x1;
inline constexpr std::uint32_t kKaUsageContainer = 0x2;

// An owned copy of one network-resource description.
struct CKaNetResource {
  std::uint32_t scope = kKaResourceGlobalNet;
  std::uint32_t type = kKaResourceTypeDisk;
  std::uint32_t displayType = kKaDisplayTypeGeneric;
  std::uint32_t usage = 0;
  std::string localName;   // a share: the folder it is mounted on
  std::string remoteName;  // "\\server\share", "\\server" or a domain's name
  std::string comment;
  std::string provider;

  const char* LocalName() const { return localName.c_str(); }
  const char* RemoteName() const { return remoteName.c_str(); }
  const char* Comment() const { return comment.c_str(); }
  const char* Provider() const { return provider.c_str(); }
};

// What the tree asks of the network. Each call fills list (replacing its content) and returns
// true, or appends its reason to errorText and returns false.
class CKaNetProvider {
 public:
  virtual ~CKaNetProvider() = default;
  // container null: the whole network.
  virtual bool EnumerateDomains(std::vector<CKaNetResource>* list, std::string* errorText,
                                const CKaNetResource* container) = 0;
  virtual bool EnumerateServers(std::vector<CKaNetResource>* list, std::string* errorText,
                                const CKaNetResource* container) = 0;
  // serverPath: "\\" + server. Each share's remote name is "\\server\share" and its local name
  // the folder that opens it.
  virtual bool EnumerateShares(const std::string& serverPath, std::vector<CKaNetResource>* list,
                               std::string* errorText) = 0;
};

// One mounted network file system.
struct KaNetMount {
  std::string protocol;    // "SMB", "NFS", "SSHFS", "WebDAV"
  std::string server;      // host name
  std::string share;       // the share's name (last part of the exported path)
  std::string mountPoint;  // where it opens
};

// The network mounts among the lines of a mounts table (/proc/self/mounts format: source, mount
// point, type, ...; octal escapes such as \040 decoded). Other file systems are left out.
std::vector<KaNetMount> KaParseNetworkMounts(const std::string& mountsText);
// The whole content of a text file; empty when it cannot be read (files under /proc report no
// size, so it is read to its end).
std::string KaReadWholeFile(const std::string& path);

// The default provider: the network file systems mounted here. Domains are the protocol groups,
// servers the hosts, shares the mounted share names. Nothing mounted: every enumeration fails.
class CKaMountNetProvider : public CKaNetProvider {
 public:
  explicit CKaMountNetProvider(std::string mountsFile = "/proc/self/mounts");
  bool EnumerateDomains(std::vector<CKaNetResource>* list, std::string* errorText,
                        const CKaNetResource* container) override;
  bool EnumerateServers(std::vector<CKaNetResource>* list, std::string* errorText,
                        const CKaNetResource* container) override;
  bool EnumerateShares(const std::string& serverPath, std::vector<CKaNetResource>* list,
                       std::string* errorText) override;

 private:
  std::vector<KaNetMount> Mounts(std::string* errorText) const;
  std::string m_mountsFile;
};

// The provider every new tree uses (the mount provider unless one was installed; tests install
// a fake one).
std::shared_ptr<CKaNetProvider> KaDefaultNetProvider();
void KaSetDefaultNetProvider(std::shared_ptr<CKaNetProvider> provider);

// The folder a folder shortcut (a symbolic link) leads to, made absolute; empty when it does not
// lead to an existing folder.
std::string ResolveShortcut(const std::string& path);

// "\\server\share\rest" or "//server/share/rest" (either separator after the prefix): true with
// the server name and the rest after it (starting at its separator, possibly empty).
bool KaSplitServerPath(const std::string& path, std::string* server, std::string* rest);
