// The folder tree over temporary folders and a fake network, the mounts-table reading of the
// default network provider, and the recent-servers file.
#include <gtest/gtest.h>

#include "AppTestSupport.h"

#include <QApplication>
#include <QTimer>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

#include "TestUtil.h"
#include "browser/DirTreeItem.h"
#include "browser/FolderListing.h"
#include "browser/NetResource.h"
#include "support/NesCommon55.h"

namespace fs = std::filesystem;

namespace {

using apptest::App;

// Servers and their shares (share name -> folder it opens).
class FakeProvider : public CKaNetProvider {
 public:
  std::map<std::string, std::map<std::string, std::string>> servers;
  bool EnumerateDomains(std::vector<CKaNetResource>* list, std::string*,
                        const CKaNetResource*) override {
    list->clear();
    if (servers.empty()) return false;
    CKaNetResource domain;
    domain.displayType = kKaDisplayTypeDomain;
    domain.remoteName = "SMB";
    list->push_back(domain);
    return true;
  }
  bool EnumerateServers(std::vector<CKaNetResource>* list, std::string*,
                        const CKaNetResource*) override {
    list->clear();
    for (const auto& [name, shares] : servers) {
      CKaNetResource server;
      server.displayType = kKaDisplayTypeServer;
      server.remoteName = "\\\\" + name;
      list->push_back(server);
    }
    return true;
  }
  bool EnumerateShares(const std::string& serverPath, std::vector<CKaNetResource>* list,
                       std::string* errors) override {
    list->clear();
    std::string server, rest;
    KaSplitServerPath(serverPath, &server, &rest);
    auto found = servers.find(server);
    if (found == servers.end()) {
      *errors += "no such server\n";
      return false;
    }
    for (const auto& [share, folder] : found->second) {
      CKaNetResource r;
      r.displayType = kKaDisplayTypeShare;
      r.remoteName = "\\\\" + server + "\\" + share;
      r.localName = folder;
      list->push_back(r);
    }
    return true;
  }
};

struct Recorder : CKaDirTreeOwner {
  std::vector<std::string> reported;
  void OnFolderSelected(const std::string& path) override { reported.push_back(path); }
};

std::vector<std::string> Children(QTreeWidgetItem* item) {
  std::vector<std::string> texts;
  for (int i = 0; i < item->childCount(); ++i)
    texts.push_back(item->child(i)->text(0).toStdString());
  return texts;
}

class DirTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    fs::create_directories(m_dir.Path() / "Shots" / "Shot_A");
    fs::create_directories(m_dir.Path() / "ab");
    fs::create_directories(m_dir.Path() / "AB");
    fs::create_directories(m_dir.Path() / "c");
    fs::create_symlink(m_dir.Path() / "Shots", m_dir.Path() / "fav");
    rvtest::WriteFile(m_dir.File("file.txt"), "x");
    fs::create_symlink(m_dir.File("file.txt"), m_dir.Path() / "filelink");
    m_provider = std::make_shared<FakeProvider>();
    m_servers = m_dir.File("RecentServers.rvps");
  }
  std::unique_ptr<CKaDirTreeItem> Tree() {
    auto tree = std::make_unique<CKaDirTreeItem>(nullptr, m_provider, m_servers);
    tree->SetOwner(&m_owner);
    return tree;
  }
  std::string Root() const { return m_dir.Path().string(); }

  rvtest::TempDir m_dir;
  std::shared_ptr<FakeProvider> m_provider;
  std::string m_servers;
  Recorder m_owner;
};

struct SelectCase {
  const char* name;
  std::string relative;  // appended to the temporary folder
  bool ok;
  std::string reported;      // relative to the temporary folder; "" for none
  std::string followedUpTo;  // the part of the path counted as followed
};

class SelectPathTest : public DirTreeTest, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(SelectPathTest, FollowsComponentsAndReportsStoredPath) {
  const SelectCase& c = GetParam();
  auto tree = Tree();
  const std::string path = Root() + c.relative;
  int followed = -1;
  EXPECT_EQ(tree->SelectPath(path, &followed), c.ok);
  EXPECT_EQ(followed, int((Root() + c.followedUpTo).size()));
  ASSERT_FALSE(m_owner.reported.empty());
  EXPECT_EQ(m_owner.reported.back(), Root() + c.reported);
  EXPECT_EQ(tree->CurrentFolder(), Root() + c.reported);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SelectPathTest,
    ::testing::Values(
        SelectCase{"Exact", "/Shots/Shot_A", true, "/Shots/Shot_A/", "/Shots/Shot_A"},
        SelectCase{"TrailingSeparator", "/Shots/", true, "/Shots/", "/Shots/"},
        SelectCase{"CaseInsensitive", "/shots/SHOT_a", true, "/Shots/Shot_A/", "/shots/SHOT_a"},
        SelectCase{"ExactMatchFirst", "/AB", true, "/AB/", "/AB"},
        SelectCase{"ThroughShortcut", "/fav/Shot_A", true, "/Shots/Shot_A/", "/fav/Shot_A"},
        SelectCase{"Missing", "/Shots/nope/deeper", false, "/Shots/", "/Shots/"}),
    [](const auto& info) { return std::string(info.param.name); });

class KeywordTest : public DirTreeTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(KeywordTest, SelectsTheRootWithoutReporting) {
  auto tree = Tree();
  const std::string word = GetParam();
  EXPECT_TRUE(tree->SelectPath(word));
  const bool network = QString::fromStdString(word).contains("net", Qt::CaseInsensitive);
  EXPECT_EQ(tree->currentItem(), network ? tree->NetworkRoot() : tree->LocalRoot());
  EXPECT_TRUE(m_owner.reported.empty());
  EXPECT_EQ(tree->CurrentFolder(), "");
}

INSTANTIATE_TEST_SUITE_P(Words, KeywordTest,
                         ::testing::Values("local", "My Computer", "net", "NETWORK",
                                           "network neighborhood"));

TEST_F(DirTreeTest, ListsFoldersAndFolderShortcutsInNameOrder) {
  auto tree = Tree();
  ASSERT_TRUE(tree->SelectPath(Root()));
  tree->Populate(tree->currentItem());
  // "ab" and "AB" fold alike; the exact bytes break the tie. The link to a file is no folder.
  EXPECT_EQ(Children(tree->currentItem()),
            (std::vector<std::string>{"AB", "ab", "c", ">> fav", "Shots"}));
  EXPECT_EQ(tree->topLevelItem(0)->text(0), "Local");
  EXPECT_EQ(tree->topLevelItem(1)->text(0), "Network");
}

TEST_F(DirTreeTest, NetworkWithNothingMountedIsUnavailable) {
  const std::string mounts = m_dir.File("mounts");
  rvtest::WriteFile(mounts, "/dev/sda1 / ext4 rw 0 0\nproc /proc proc rw 0 0\n");
  CKaDirTreeItem tree(nullptr, std::make_shared<CKaMountNetProvider>(mounts), m_servers);
  tree.Populate(tree.NetworkRoot());
  EXPECT_EQ(Children(tree.NetworkRoot()), std::vector<std::string>{"Network unavailable"});
}

class ServerPathTest : public DirTreeTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ServerPathTest, OpensServerRemembersItAndReportsTheMountPoint) {
  const std::string frames = Root() + "/Shots";
  m_provider->servers["render01"] = {{"frames", frames}, {"tmp", Root() + "/c"}};
  {
    auto tree = Tree();
    ASSERT_TRUE(tree->SelectPath(GetParam()));
    EXPECT_EQ(tree->topLevelItemCount(), 3);
    EXPECT_EQ(tree->topLevelItem(2)->text(0), "render01");
    EXPECT_EQ(Children(tree->topLevelItem(2)), (std::vector<std::string>{"frames", "tmp"}));
    // The share opens where it is mounted, not at "\\frames".
    EXPECT_EQ(tree->CurrentFolder(), frames + "/Shot_A/");
  }
  EXPECT_EQ(rvtest::ReadFile(m_servers), "\\\\render01\r\n");
  auto again = Tree();  // the next start shows the server again
  ASSERT_EQ(again->topLevelItemCount(), 3);
  EXPECT_EQ(again->topLevelItem(2)->text(0), "render01");
  int followed = -1;
  EXPECT_FALSE(again->SelectPath("//unknown/share", &followed));
  EXPECT_EQ(followed, 0);
}

INSTANTIATE_TEST_SUITE_P(Forms, ServerPathTest,
                         ::testing::Values("\\\\render01\\frames\\Shot_A",
                                           "//render01/frames/Shot_A"));

TEST_F(DirTreeTest, RecentServersKeepTenMostRecentFirst) {
  for (int i = 0; i < 11; ++i) m_provider->servers["srv" + std::to_string(i)] = {{"s", Root()}};
  {
    auto tree = Tree();
    for (int i = 0; i < 11; ++i) ASSERT_TRUE(tree->SelectPath("//srv" + std::to_string(i) + "/s"));
    // Opening a known server by path again moves it to the front without a duplicate.
    tree->RebuildRoots();
    ASSERT_TRUE(tree->SelectPath("\\\\SRV5\\s"));
  }
  const auto servers = KaReadServerFile(m_servers);
  ASSERT_EQ(servers.size(), 10u);
  EXPECT_EQ(servers[0], "\\\\srv5");  // the file keeps the spelling it was first opened with
  EXPECT_EQ(servers[1], "\\\\srv10");
  EXPECT_EQ(servers[9], "\\\\srv1");
}

TEST_F(DirTreeTest, TwoTreesDoNotOverwriteEachOthersServers) {
  m_provider->servers["a"] = {{"s", Root()}};
  m_provider->servers["b"] = {{"s", Root()}};
  auto panelTree = Tree();
  auto dialogTree = Tree();
  ASSERT_TRUE(panelTree->SelectPath("//a/s"));
  ASSERT_TRUE(dialogTree->SelectPath("//b/s"));
  dialogTree.reset();
  panelTree.reset();
  EXPECT_EQ(KaReadServerFile(m_servers), (std::vector<std::string>{"\\\\a", "\\\\b"}));
}

TEST_F(DirTreeTest, SlowListingKeepsTheWindowServedAndShowsTheWaitCursor) {
  bool timerRan = false;
  bool cursorShown = false;
  QTimer::singleShot(10, [&] {
    timerRan = true;
    cursorShown = QApplication::overrideCursor() != nullptr;
  });
  int result = 0;
  KaRunOffUiThread([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    result = 42;
  });
  EXPECT_EQ(result, 42);
  EXPECT_TRUE(timerRan);  // events were served while the work ran
  EXPECT_TRUE(cursorShown);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(LocalVolumesTest, RootHomeRemovableAndNetworkMountsWithLabels) {
  const std::string mounts =
      "/dev/sda2 / ext4 rw 0 0\n"
      "proc /proc proc rw 0 0\n"
      "/dev/sdb1 /media/me/CARD vfat rw 0 0\n"
      "/dev/sdc1 /run/media/me/disk exfat rw 0 0\n"
      "//render01/frames /mnt/frames cifs rw 0 0\n";
  const auto volumes =
      KaLocalVolumes(mounts, "/home/me", {{"/dev/sda2", "system"}, {"/dev/sdb1", "Card 64"}});
  std::vector<std::string> texts;
  for (const KaVolume& v : volumes) texts.push_back(v.text);
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "/ (system)", "/home/me (me)", "/media/me/CARD (Card 64)",
                       "/run/media/me/disk (disk)", "/mnt/frames (frames on 'render01')"}));
  EXPECT_EQ(volumes[4].path, "/mnt/frames");
}

struct MountCase {
  const char* name;
  const char* line;
  const char* protocol;  // null: not a network mount
  const char* server;
  const char* share;
  const char* mountPoint;
};

class MountTest : public ::testing::TestWithParam<MountCase> {};

TEST_P(MountTest, ReadsNetworkMounts) {
  const MountCase& c = GetParam();
  const auto mounts = KaParseNetworkMounts(c.line);
  if (!c.protocol) {
    EXPECT_TRUE(mounts.empty());
    return;
  }
  ASSERT_EQ(mounts.size(), 1u);
  EXPECT_EQ(mounts[0].protocol, c.protocol);
  EXPECT_EQ(mounts[0].server, c.server);
  EXPECT_EQ(mounts[0].share, c.share);
  EXPECT_EQ(mounts[0].mountPoint, c.mountPoint);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MountTest,
    ::testing::Values(MountCase{"Cifs", "//render01/frames /mnt/frames cifs rw 0 0", "SMB",
                                "render01", "frames", "/mnt/frames"},
                      MountCase{"Nfs", "nas:/export/shots /mnt/shots nfs4 rw 0 0", "NFS", "nas",
                                "shots", "/mnt/shots"},
                      MountCase{"Sshfs", "me@farm:/data /home/me/farm fuse.sshfs rw 0 0", "SSHFS",
                                "farm", "data", "/home/me/farm"},
                      MountCase{"Dav", "https://dav.example.com:443/remote/x /mnt/dav davfs rw 0 0",
                                "WebDAV", "dav.example.com", "x", "/mnt/dav"},
                      MountCase{"Escaped", "//srv/a\\040b /mnt/a\\040b cifs rw 0 0", "SMB", "srv",
                                "a b", "/mnt/a b"},
                      MountCase{"WholeExport", "nas:/ /mnt/nas nfs rw 0 0", "NFS", "nas", "nas",
                                "/mnt/nas"},
                      MountCase{"LocalDisk", "/dev/sda1 / ext4 rw 0 0", nullptr, "", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
