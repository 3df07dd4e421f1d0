// The folder tree of the sequence browser and the folder dialog: "Local" with the mounted
// volumes and their folders, "Network" with its domains, servers and shares, and one top-level
// item per server opened by name. Folders are listed when first expanded, off the UI thread.
#pragma once

#include <QTreeWidget>
#include <memory>
#include <string>
#include <vector>

#include "browser/NetResource.h"
#include "browser/RecentServers.h"

// The tree's owner hears of every newly selected folder.
class CKaDirTreeOwner {
 public:
  virtual ~CKaDirTreeOwner() = default;
  // path ends in the separator.
  virtual void OnFolderSelected(const std::string& path) = 0;
};

class CKaDirTreeItem : public QTreeWidget {
  Q_OBJECT

 public:
  enum class Kind {
    LocalRoot,
    NetworkRoot,
    Volume,
    Folder,
    Shortcut,
    Domain,
    Server,     // under a domain
    TopServer,  // a top-level server opened by name
    Share,
    Unavailable,
  };
  static constexpr const char* kNetworkUnavailable = "Network unavailable";

  // provider null: KaDefaultNetProvider(). recentServersFile empty: the settings folder's
  // RecentServers.rvps. Builds the roots and reopens the recent servers.
  explicit CKaDirTreeItem(QWidget* parent = nullptr,
                          std::shared_ptr<CKaNetProvider> provider = nullptr,
                          const std::string& recentServersFile = {});
  ~CKaDirTreeItem() override;

  void SetOwner(CKaDirTreeOwner* owner) { m_owner = owner; }

  // Opens the tree at path and selects the item reached. "local"/"my computer" select "Local";
  // "net"/"network"/"network neighborhood" select "Network"; "\\server..." or "//server..."
  // opens the server. Components match a child's text exactly, else case-insensitively.
  // followed: the number of characters of path that were followed (on failure, where the first
  // component not found starts). False when a component is not found.
  bool SelectPath(const std::string& path, int* followed = nullptr);
  // Deletes every item and inserts the roots (and the recent servers) again.
  void RebuildRoots();

  // The path the selected item reports (ending in the separator); empty for items that report
  // nothing.
  std::string CurrentFolder() const;
  static Kind KindOf(const QTreeWidgetItem* item);
  static std::string PathOf(const QTreeWidgetItem* item);
  QTreeWidgetItem* LocalRoot() const { return topLevelItem(0); }
  QTreeWidgetItem* NetworkRoot() const { return topLevelItem(1); }
  // Lists the children of item now, if not done yet (what expanding it does).
  void Populate(QTreeWidgetItem* item);

  const CKaRecentServers& RecentServers() const { return m_recentServers; }
  // Writes RecentServers.rvps (also done on destruction).
  bool SaveRecentServers() const { return m_recentServers.Write(); }

 private:
  QTreeWidgetItem* AddItem(QTreeWidgetItem* parent, const std::string& text,
                           const std::string& path, Kind kind);
  void InsertRoots();
  void PopulateFolder(QTreeWidgetItem* item);
  void PopulateNetwork(QTreeWidgetItem* item);
  void PopulateDomain(QTreeWidgetItem* item);
  void PopulateServer(QTreeWidgetItem* item);
  void AddShares(QTreeWidgetItem* server, const std::vector<CKaNetResource>& shares);
  // A top-level item for server, enumerated now; null when the server cannot be enumerated.
  QTreeWidgetItem* OpenServer(const std::string& server, bool fromRecentList);
  QTreeWidgetItem* FindChild(QTreeWidgetItem* parent, const std::string& component) const;
  bool WalkComponents(QTreeWidgetItem* start, const std::string& path, std::size_t position,
                      int* followed);
  void Select(QTreeWidgetItem* item);
  void Report(QTreeWidgetItem* item);

  CKaDirTreeOwner* m_owner = nullptr;
  std::shared_ptr<CKaNetProvider> m_provider;
  CKaRecentServers m_recentServers;
  std::vector<CKaNetResource> m_domains;  // the Domain items' records, by index
  bool m_walking = false;                 // selections during a walk are reported once, at its end
};
