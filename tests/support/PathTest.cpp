#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestUtil.h"
#include "support/NesCommon55.h"

namespace {

struct Parts {
  std::string drive, dir, name, ext;
};

Parts Split(const std::string& path) {
  Parts p{"x", "x", "x", "x"};
  SplitPath(path, &p.drive, &p.dir, &p.name, &p.ext);
  return p;
}

// Restores the working directory when a test changes it.
class CwdGuard {
 public:
  CwdGuard() : m_saved(std::filesystem::current_path()) {}
  ~CwdGuard() { std::filesystem::current_path(m_saved); }

 private:
  std::filesystem::path m_saved;
};

}  // namespace

TEST(PathTest, SplitPathGivesFolderNameAndExtension) {
  const struct {
    const char *path, *dir, *name, *ext;
  } cases[] = {
      {"/shots/seq/shot_0001.tif", "/shots/seq/", "shot_0001", ".tif"},
      {"a.b.0001.cin", "", "a.b.0001", ".cin"},
      {"/dir.with.dots/noext", "/dir.with.dots/", "noext", ""},
      {"/only/folder/", "/only/folder/", "", ""},
      // Surrounding quotes are dropped.
      {"\"\"/my shots/a 1.tga\"", "/my shots/", "a 1", ".tga"},
  };
  for (const auto& c : cases) {
    const Parts p = Split(c.path);
    EXPECT_EQ(p.drive, "") << c.path;
    EXPECT_EQ(p.dir, c.dir) << c.path;
    EXPECT_EQ(p.name, c.name) << c.path;
    EXPECT_EQ(p.ext, c.ext) << c.path;
  }
  // Null outputs are skipped.
  std::string name;
  SplitPath("/x/y.png", nullptr, nullptr, &name, nullptr);
  EXPECT_EQ(name, "y");
}

TEST(PathTest, CombinePathAddsMissingSeparatorAndDot) {
  EXPECT_EQ(strCombinePath("", "/shots", "a", "tif"), "/shots/a.tif");
  EXPECT_EQ(strCombinePath("", "/shots/", "a", ".tif"), "/shots/a.tif");
  EXPECT_EQ(strCombinePath("", "/shots/", "", ""), "/shots/");
  EXPECT_EQ(strCombinePath("", "", "a", ""), "a");
}

TEST(PathTest, PrevDirectory) {
  EXPECT_EQ(strNesGetPrevDirectory("/a/b/"), "/a/");
  EXPECT_EQ(strNesGetPrevDirectory("/a/b"), "/a/");
  EXPECT_EQ(strNesGetPrevDirectory("/a/"), "/");
  EXPECT_EQ(strNesGetPrevDirectory("name"), "name");
}

TEST(PathTest, FullPathResolvesRelativePartsLexically) {
  CwdGuard guard;
  rvtest::TempDir dir;
  std::filesystem::create_directories(dir.Path() / "a" / "b");
  const std::string base = std::filesystem::canonical(dir.Path()).string();
  std::filesystem::current_path(base + "/a/b");
  EXPECT_EQ(strGetFullPath("x.tif"), base + "/a/b/x.tif");
  EXPECT_EQ(strGetFullPath("../../x.tif"), base + "/x.tif");
  EXPECT_EQ(strGetFullPath("./c/./d/"), base + "/a/b/c/d/");
  EXPECT_EQ(strGetFullPath("/p//q/../r"), "/p/r");
  EXPECT_EQ(strGetFullPath("/../.."), "/");
  EXPECT_EQ(strGetFullPath("/a/../b"), "/b");
  EXPECT_EQ(strGetFullPath("//server/share/x"), "//server/share/x");
  EXPECT_EQ(strGetFullPath("\\\\server\\share\\x"), "\\\\server\\share\\x");
}

TEST(PathTest, AppPathIsTheExecutableFolder) {
  const std::string app = strAppPath();
  ASSERT_FALSE(app.empty());
  EXPECT_EQ(app.back(), '/');
  char exe[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
  EXPECT_EQ(app, std::filesystem::path(exe).parent_path().string() + "/");
}

TEST(PathTest, SettingsPathPrefersReelvaneHomeAndCreatesIt) {
  rvtest::TempDir dir;
  const std::string home = dir.File("nested/home");
  const std::string saved = std::getenv("REELVANE_HOME") ? std::getenv("REELVANE_HOME") : "";
  setenv("REELVANE_HOME", home.c_str(), 1);
  EXPECT_EQ(strSettingsPath(), home + "/");
  EXPECT_TRUE(std::filesystem::is_directory(home));
  setenv("REELVANE_HOME", saved.c_str(), 1);
}

TEST(PathTest, SettingsPathFallsBackToConfigFolderWhenProgramFolderIsReadOnly) {
  // Only meaningful where the program folder is not writable, which root cannot observe.
  if (access(strAppPath().c_str(), W_OK) == 0) {
    const std::string saved = std::getenv("REELVANE_HOME");
    unsetenv("REELVANE_HOME");
    EXPECT_EQ(strSettingsPath(), strAppPath());
    setenv("REELVANE_HOME", saved.c_str(), 1);
    return;
  }
  rvtest::TempDir dir;
  const std::string saved = std::getenv("REELVANE_HOME");
  unsetenv("REELVANE_HOME");
  setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
  EXPECT_EQ(strSettingsPath(), dir.Path().string() + "/reelvane/");
  setenv("REELVANE_HOME", saved.c_str(), 1);
}
