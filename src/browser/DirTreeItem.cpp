#include "browser/DirTreeItem.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QScrollBar>
#include <algorithm>

#include "browser/FolderListing.h"
#include "support/NesCommon55.h"

namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kPopulatedRole = Qt::UserRole + 2;
constexpr int kDomainRole = Qt::UserRole + 3;
constexpr const char* kLocalText = "Local";
constexpr const char* kNetworkText = "Network";
constexpr char kWindowsSeparator = '\\';
constexpr int kScrollMargin = 24;

QString ToQt(const std::string& text) { return QString::fromLocal8Bit(text); }
std::string FromQt(const QString& text) { return text.toLocal8Bit().toStdString(); }

std::string Lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsSeparator(char c) { return c == kNesPathSeparator || c == kWindowsSeparator; }

std::string WithSeparator(std::string path) {
  if (path.empty() || path.back() != kNesPathSeparator) path += kNesPathSeparator;
  return path;
}

std::string AfterLastBackslash(const std::string& text) {
  const std::size_t cut = text.find_last_of("\\/");
  return cut == std::string::npos ? text : text.substr(cut + 1);
}

std::string StripLeadingBackslashes(std::string text) {
  text.erase(0, text.find_first_not_of("\\/"));
  return text;
}

// Servers of a container; nested networks and domains are entered (a few levels at most, so a
// provider that lists a container inside itself cannot loop).
void CollectServers(CKaNetProvider& provider, const CKaNetResource& container, int depth,
                    std::vector<CKaNetResource>* servers) {
  constexpr int kMaxDepth = 4;
  std::vector<CKaNetResource> entries;
  std::string errors;
  if (!provider.EnumerateServers(&entries, &errors, &container)) return;
  for (const CKaNetResource& entry : entries) {
    if (entry.displayType == kKaDisplayTypeServer) {
      servers->push_back(entry);
    } else if ((entry.usage & kKaUsageContainer) && depth < kMaxDepth &&
               (entry.displayType == kKaDisplayTypeNetwork ||
                entry.displayType == kKaDisplayTypeDomain)) {
      CollectServers(provider, entry, depth + 1, servers);
    }
  }
}

// Domains of a container (null: the whole network); network providers are entered.
bool CollectDomains(CKaNetProvider& provider, const CKaNetResource* container, int depth,
                    std::vector<CKaNetResource>* domains) {
  constexpr int kMaxDepth = 4;
  std::vector<CKaNetResource> entries;
  std::string errors;
  if (!provider.EnumerateDomains(&entries, &errors, container)) return false;
  for (const CKaNetResource& entry : entries) {
    if (entry.displayType == kKaDisplayTypeDomain) {
      domains->push_back(entry);
    } else if ((entry.usage & kKaUsageContainer) && entry.displayType == kKaDisplayTypeNetwork &&
               depth < kMaxDepth) {
      CollectDomains(provider, &entry, depth + 1, domains);
    }
  }
  return true;
}

QIcon ShellIcon(QAbstractFileIconProvider::IconType type) {
  static QFileIconProvider provider;
  return provider.icon(type);
}

bool HasChildren(CKaDirTreeItem::Kind kind) {
  using K = CKaDirTreeItem::Kind;
  return kind != K::Unavailable;
}

}  // namespace

CKaDirTreeItem::CKaDirTreeItem(QWidget* parent, std::shared_ptr<CKaNetProvider> provider,
                               const std::string& recentServersFile)
    : QTreeWidget(parent),
      m_provider(provider ? std::move(provider) : KaDefaultNetProvider()),
      m_recentServers(recentServersFile) {
  setProperty("controlId", 1050);
  setHeaderHidden(true);
  setColumnCount(1);
  setUniformRowHeights(true);
  setIndentation(14);
  setMinimumWidth(120);
  setSelectionMode(QAbstractItemView::SingleSelection);
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  connect(this, &QTreeWidget::itemExpanded, this,
          [this](QTreeWidgetItem* item) { Populate(item); });
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
    if (!m_walking) Report(current);
  });
  m_recentServers.Read();
  InsertRoots();
}

CKaDirTreeItem::~CKaDirTreeItem() { m_recentServers.Write(); }

CKaDirTreeItem::Kind CKaDirTreeItem::KindOf(const QTreeWidgetItem* item) {
  return Kind(item->data(0, kKindRole).toInt());
}

std::string CKaDirTreeItem::PathOf(const QTreeWidgetItem* item) {
  return FromQt(item->data(0, kPathRole).toString());
}

QTreeWidgetItem* CKaDirTreeItem::AddItem(QTreeWidgetItem* parent, const std::string& text,
                                         const std::string& path, Kind kind) {
  auto* item = new QTreeWidgetItem(QStringList(ToQt(text)));
  item->setData(0, kKindRole, int(kind));
  item->setData(0, kPathRole, ToQt(path));
  item->setData(0, kPopulatedRole, false);
  item->setChildIndicatorPolicy(HasChildren(kind)
                                    ? QTreeWidgetItem::ShowIndicator
                                    : QTreeWidgetItem::DontShowIndicatorWhenChildless);
  switch (kind) {
    case Kind::LocalRoot:
      item->setIcon(0, ShellIcon(QAbstractFileIconProvider::Computer));
      break;
    case Kind::NetworkRoot:
    case Kind::Domain:
    case Kind::Server:
    case Kind::TopServer:
      item->setIcon(0, ShellIcon(QAbstractFileIconProvider::Network));
      break;
    case Kind::Volume:
    case Kind::Share:
      item->setIcon(0, ShellIcon(QAbstractFileIconProvider::Drive));
      break;
    case Kind::Folder:
    case Kind::Shortcut:
      item->setIcon(0, ShellIcon(QAbstractFileIconProvider::Folder));
      break;
    case Kind::Unavailable:
      break;
  }
  if (parent) {
    parent->addChild(item);
  } else {
    addTopLevelItem(item);
  }
  return item;
}

void CKaDirTreeItem::InsertRoots() {
  const bool wasWalking = m_walking;
  m_walking = true;
  AddItem(nullptr, kLocalText, {}, Kind::LocalRoot);
  AddItem(nullptr, kNetworkText, {}, Kind::NetworkRoot);
  m_domains.clear();
  // The servers opened by name in earlier runs come back as top-level items, oldest last.
  const std::vector<std::string> servers = m_recentServers.List();
  for (const std::string& serverPath : servers) {
    std::string server, rest;
    if (KaSplitServerPath(serverPath, &server, &rest)) OpenServer(server, true);
  }
  m_walking = wasWalking;
}

void CKaDirTreeItem::RebuildRoots() {
  const bool wasWalking = m_walking;
  m_walking = true;
  clear();
  m_walking = wasWalking;
  InsertRoots();
}

void CKaDirTreeItem::Populate(QTreeWidgetItem* item) {
  if (!item || item->data(0, kPopulatedRole).toBool()) return;
  item->setData(0, kPopulatedRole, true);
  switch (KindOf(item)) {
    case Kind::LocalRoot: {
      std::vector<KaVolume> volumes;
      KaRunOffUiThread([&volumes] { volumes = KaLocalVolumes(); });
      for (const KaVolume& v : volumes) AddItem(item, v.text, v.path, Kind::Volume);
      break;
    }
    case Kind::NetworkRoot:
      PopulateNetwork(item);
      break;
    case Kind::Domain:
      PopulateDomain(item);
      break;
    case Kind::Server:
      PopulateServer(item);
      break;
    case Kind::TopServer:
      break;  // its shares came with it
    case Kind::Volume:
    case Kind::Folder:
    case Kind::Shortcut:
    case Kind::Share:
      PopulateFolder(item);
      break;
    case Kind::Unavailable:
      break;
  }
  item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void CKaDirTreeItem::PopulateFolder(QTreeWidgetItem* item) {
  const std::string folder = PathOf(item);
  std::vector<KaFolderChild> children;
  // A network mount may take seconds to answer: the window keeps painting meanwhile.
  KaRunOffUiThread([&] { children = KaListSubfolders(folder); });
  for (const KaFolderChild& child : children)
    AddItem(item, child.text, child.path, child.shortcut ? Kind::Shortcut : Kind::Folder);
}

void CKaDirTreeItem::PopulateNetwork(QTreeWidgetItem* item) {
  std::vector<CKaNetResource> domains;
  bool ok = false;
  KaRunOffUiThread([&] { ok = CollectDomains(*m_provider, nullptr, 0, &domains); });
  if (!ok || domains.empty()) {
    AddItem(item, kNetworkUnavailable, {}, Kind::Unavailable);
    return;
  }
  std::sort(domains.begin(), domains.end(), [](const CKaNetResource& a, const CKaNetResource& b) {
    return Lower(a.remoteName) < Lower(b.remoteName);
  });
  for (CKaNetResource& domain : domains) {
    QTreeWidgetItem* child = AddItem(item, domain.remoteName, {}, Kind::Domain);
    child->setData(0, kDomainRole, int(m_domains.size()));
    m_domains.push_back(std::move(domain));
  }
}

void CKaDirTreeItem::PopulateDomain(QTreeWidgetItem* item) {
  const int index = item->data(0, kDomainRole).toInt();
  if (index < 0 || std::size_t(index) >= m_domains.size()) return;
  const CKaNetResource domain = m_domains[std::size_t(index)];
  std::vector<CKaNetResource> servers;
  KaRunOffUiThread([&] { CollectServers(*m_provider, domain, 0, &servers); });
  for (const CKaNetResource& server : servers) {
    const std::string name = StripLeadingBackslashes(server.remoteName);
    AddItem(item, name, kNesNetworkPrefix + name + kNesPathSeparator, Kind::Server);
  }
}

void CKaDirTreeItem::PopulateServer(QTreeWidgetItem* item) {
  std::vector<CKaNetResource> shares;
  std::string errors;
  bool ok = false;
  const std::string serverPath = kNesNetworkPrefixWindows + FromQt(item->text(0));
  KaRunOffUiThread([&] { ok = m_provider->EnumerateShares(serverPath, &shares, &errors); });
  if (ok) AddShares(item, shares);
}

void CKaDirTreeItem::AddShares(QTreeWidgetItem* server, const std::vector<CKaNetResource>& shares) {
  // A share reports the folder it is mounted on: that is the path that opens.
  for (const CKaNetResource& share : shares)
    AddItem(server, AfterLastBackslash(share.remoteName), share.localName, Kind::Share);
  server->setData(0, kPopulatedRole, true);
}

QTreeWidgetItem* CKaDirTreeItem::OpenServer(const std::string& server, bool fromRecentList) {
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* top = topLevelItem(i);
    if (KindOf(top) == Kind::TopServer && bCmpNoCase(FromQt(top->text(0)), server)) {
      // Opened by the user again: it becomes the most recent server.
      if (!fromRecentList) m_recentServers.Add(kNesNetworkPrefixWindows + FromQt(top->text(0)));
      return top;
    }
  }
  const std::string serverPath = kNesNetworkPrefixWindows + server;
  std::vector<CKaNetResource> shares;
  std::string errors;
  bool ok = false;
  KaRunOffUiThread([&] { ok = m_provider->EnumerateShares(serverPath, &shares, &errors); });
  if (!ok) return nullptr;
  if (!fromRecentList) m_recentServers.Add(serverPath);
  QTreeWidgetItem* item =
      AddItem(nullptr, server, kNesNetworkPrefix + server + kNesPathSeparator, Kind::TopServer);
  AddShares(item, shares);
  item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
  return item;
}

QTreeWidgetItem* CKaDirTreeItem::FindChild(QTreeWidgetItem* parent,
                                           const std::string& component) const {
  const QString wanted = ToQt(component);
  for (int i = 0; i < parent->childCount(); ++i)
    if (parent->child(i)->text(0) == wanted) return parent->child(i);
  for (int i = 0; i < parent->childCount(); ++i)
    if (parent->child(i)->text(0).compare(wanted, Qt::CaseInsensitive) == 0)
      return parent->child(i);
  // A path may run through a folder shortcut, shown as ">> name".
  const QString shortcut = QStringLiteral(">> ") + wanted;
  for (int i = 0; i < parent->childCount(); ++i)
    if (parent->child(i)->text(0) == shortcut) return parent->child(i);
  return nullptr;
}

void CKaDirTreeItem::Select(QTreeWidgetItem* item) {
  setCurrentItem(item);
  scrollToItem(item);
  // Deep folders sit far right: show the start of the item's name, not the end of the column.
  QScrollBar* bar = horizontalScrollBar();
  const int indent = kScrollMargin + indentation();
  bar->setValue(std::max(0, bar->value() + visualItemRect(item).left() - indent));
}

bool CKaDirTreeItem::WalkComponents(QTreeWidgetItem* current, const std::string& path,
                                    std::size_t position, int* followed) {
  while (position < path.size()) {
    if (IsSeparator(path[position])) {  // doubled separators count as followed
      ++position;
      if (followed) *followed = int(position);
      continue;
    }
    std::size_t end = position;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::string component = path.substr(position, end - position);
    Populate(current);
    current->setExpanded(true);
    QTreeWidgetItem* child = FindChild(current, component);
    if (!child) {
      Select(current);
      return false;
    }
    current = child;
    position = std::min(end + 1, path.size());
    if (followed) *followed = int(position);
  }
  Select(current);
  return true;
}

bool CKaDirTreeItem::SelectPath(const std::string& path, int* followed) {
  if (followed) *followed = 0;
  const std::string lower = Lower(path);
  QTreeWidgetItem* before = currentItem();
  m_walking = true;
  setUpdatesEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  bool ok = false;
  std::string server, rest;
  if (lower == "my computer" || lower == "local") {
    Select(LocalRoot());
    ok = true;
  } else if (lower == "net" || lower == "network" || lower == "network neighborhood") {
    Select(NetworkRoot());
    ok = true;
  } else if (KaSplitServerPath(path, &server, &rest)) {
    if (QTreeWidgetItem* top = OpenServer(server, false)) {
      if (followed) *followed = int(2 + server.size());
      ok = WalkComponents(top, path, 2 + server.size(), followed);
    }
  } else if (!path.empty() && path[0] == kNesPathSeparator) {
    QTreeWidgetItem* local = LocalRoot();
    Populate(local);
    local->setExpanded(true);
    QTreeWidgetItem* root = nullptr;
    for (int i = 0; i < local->childCount() && !root; ++i)
      if (PathOf(local->child(i)) == kNesPathSeparatorText) root = local->child(i);
    if (root) {
      if (followed) *followed = 1;
      ok = WalkComponents(root, path, 1, followed);
    }
  }
  QApplication::restoreOverrideCursor();
  setUpdatesEnabled(true);
  m_walking = false;
  // A successful walk reports its folder even when it was selected already (Jump To re-lists).
  if (currentItem() && (ok || currentItem() != before)) Report(currentItem());
  return ok;
}

std::string CKaDirTreeItem::CurrentFolder() const {
  const QTreeWidgetItem* item = currentItem();
  if (!item) return {};
  switch (KindOf(item)) {
    case Kind::Volume:
    case Kind::Folder:
    case Kind::Shortcut:
    case Kind::Share:
    case Kind::Server:
    case Kind::TopServer:
      return WithSeparator(PathOf(item));
    default:
      return {};
  }
}

void CKaDirTreeItem::Report(QTreeWidgetItem* item) {
  if (!item || !m_owner) return;
  const std::string folder = CurrentFolder();
  if (!folder.empty()) m_owner->OnFolderSelected(folder);
}
