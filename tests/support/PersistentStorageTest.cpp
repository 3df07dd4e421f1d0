#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "TestUtil.h"
#include "support/NesPersistentStorage.h"

namespace {

// A store to write into and then the store to read back from: the same object for files,
// a loading archive over what a storing one wrote for the archive.
class Backend {
 public:
  virtual ~Backend() = default;
  virtual CNesPersistentStorage& Writer() = 0;
  virtual CNesPersistentStorage& Reader() = 0;
};

class IniBackend : public Backend {
 public:
  CNesPersistentStorage& Writer() override { return m_store; }
  CNesPersistentStorage& Reader() override { return m_store; }

 private:
  rvtest::TempDir m_dir;
  CNesPersistentStorageIniFile m_store{m_dir.File("store.ini")};
};

class RegistryBackend : public Backend {
 public:
  RegistryBackend() { std::filesystem::remove(CNesPersistentStorageRegistry::strProfileFile()); }
  CNesPersistentStorage& Writer() override { return m_store; }
  CNesPersistentStorage& Reader() override { return m_store; }

 private:
  CNesPersistentStorageRegistry m_store;
};

class ArchiveBackend : public Backend {
 public:
  CNesPersistentStorage& Writer() override { return m_storing; }
  CNesPersistentStorage& Reader() override {
    m_storing.bWriteEnd();
    m_stream.seekg(0);
    return m_loading;
  }

 private:
  std::stringstream m_stream;
  CNesArchive m_storeArchive{m_stream, CNesArchive::EMode::kStore};
  CNesArchive m_loadArchive{m_stream, CNesArchive::EMode::kLoad};
  CNesPersistentStorageArchive m_storing{m_storeArchive};
  CNesPersistentStorageArchive m_loading{m_loadArchive};
};

}  // namespace

TEST(PersistentStorageTest, ValuesReadBackAndMismatchesGiveTheDefault) {
  const std::pair<const char*, std::function<std::unique_ptr<Backend>()>> backends[] = {
      {"ini file", [] { return std::make_unique<IniBackend>(); }},
      {"registry", [] { return std::make_unique<RegistryBackend>(); }},
      {"archive", [] { return std::make_unique<ArchiveBackend>(); }},
  };
  for (const auto& [name, make] : backends) {
    SCOPED_TRACE(name);
    const auto backend = make();
    CNesPersistentStorage& out = backend->Writer();
    ASSERT_TRUE(out.bWrite("Play", "Count", 5));
    ASSERT_TRUE(out.bWrite("Play", "Name", "shot_#.tif"));
    ASSERT_TRUE(out.bWrite("Play", "Gamma", 2.2));
    ASSERT_TRUE(out.bWrite("Play", "Loop", false));
    ASSERT_TRUE(out.bWrite("Play", "Show", true));
    ASSERT_TRUE(out.bWrite("Play", "Bad", "abc"));
    const CNesPersistentStorage& in = backend->Reader();
    EXPECT_EQ(in.iRead("Play", "Count", 0), 5);
    EXPECT_TRUE(in.bRead("play", "COUNT", false));
    EXPECT_EQ(in.strRead("Play", "Name", ""), "shot_#.tif");
    EXPECT_DOUBLE_EQ(in.dRead("Play", "Gamma", 0.0), 2.2);
    EXPECT_FALSE(in.bRead("Play", "Loop", true));
    EXPECT_TRUE(in.bRead("Play", "Show", false));
    EXPECT_DOUBLE_EQ(in.dRead("Play", "Bad", 1.5), 1.5);
    EXPECT_EQ(in.iRead("Play", "Missing", 7), 7);
    EXPECT_EQ(in.iRead("Play", "Count", 0), 5);  // reads do not use anything up
  }
}

TEST(PersistentStorageArchiveTest, RefusesRecordsOfAnotherTypeAndTheWrongDirection) {
  std::stringstream stream;
  CNesArchive storing(stream, CNesArchive::EMode::kStore);
  CNesPersistentStorageArchive out(storing);
  ASSERT_TRUE(out.bWrite("S", "text", "12"));
  ASSERT_TRUE(out.bWrite("S", "number", 12));
  EXPECT_EQ(out.iRead("S", "number", -1), -1);  // a storing archive does not read
  ASSERT_TRUE(out.bWriteEnd());
  stream.seekg(0);
  CNesArchive loading(stream, CNesArchive::EMode::kLoad);
  CNesPersistentStorageArchive in(loading);
  EXPECT_EQ(in.iRead("S", "text", -1), -1);
  EXPECT_EQ(in.strRead("S", "number", "none"), "none");
  EXPECT_DOUBLE_EQ(in.dRead("S", "number", 0.5), 0.5);
  EXPECT_EQ(in.iRead("S", "number", -1), 12);
  EXPECT_FALSE(in.bWrite("S", "more", 1));  // a loading archive does not write

  std::stringstream damaged(stream.str().substr(0, 9));  // cut inside the first key
  CNesArchive cut(damaged, CNesArchive::EMode::kLoad);
  EXPECT_EQ(CNesPersistentStorageArchive(cut).strRead("S", "text", "none"), "none");
}

TEST(SetAndStoreDirectoryTest, RestoresTheDirectoryTheLastInstanceLeft) {
  rvtest::TempDir dir;
  CNesPersistentStorageIniFile store(dir.File("dirs.ini"));
  const auto start = std::filesystem::current_path();
  {
    CNesSetAndStoreDirectory keep(&store, "Load", "Folder");
    EXPECT_EQ(std::filesystem::current_path(), start);  // empty entry: unchanged
    std::filesystem::current_path(dir.Path());
  }
  std::filesystem::current_path(start);
  {
    CNesSetAndStoreDirectory keep(&store, "Load", "Folder");
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::canonical(dir.Path()));
  }
  std::filesystem::current_path(start);
}
