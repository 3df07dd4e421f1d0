// The programs' --help/--version, and a copy installed with `cmake --install` into a temporary
// prefix, run the way a user runs an installed program.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestUtil.h"
#include "support/NesCommon55.h"

namespace fs = std::filesystem;

namespace {

// No display and no Qt platform: the information options must not need either.
const char kNoDisplay[] = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ";

struct InfoCase {
  const char* program;
  const char* option;
  const char* begins;  // stdout begins with this
  const char* holds;   // and holds this somewhere; nullptr: stdout is exactly `begins`
};

class InfoOption : public testing::TestWithParam<InfoCase> {};

TEST_P(InfoOption, PrintsOnStdoutAndExitsZeroWithoutADisplay) {
  const InfoCase& c = GetParam();
  std::string out, err;
  const std::string program = rvtest::ShellQuote(rvtest::BinDir() + "/" + c.program);
  ASSERT_EQ(rvtest::RunCommand(kNoDisplay + program + " " + c.option, &out, &err), 0) << err;
  EXPECT_EQ(err, "");
  if (!c.holds) {
    EXPECT_EQ(out, c.begins);
    return;
  }
  EXPECT_EQ(out.rfind(c.begins, 0), 0u) << out;
  EXPECT_NE(out.find(c.holds), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Programs, InfoOption,
    testing::Values(InfoCase{"reelvane", "--version", "Reelvane " RV_VERSION "\n", nullptr},
                    InfoCase{"reelvane", "--help", "usage: reelvane [FRAME [IN[-OUT]]",
                             "example: reelvane /shots/shot_0001.tif 10-50"},
                    InfoCase{"reelvane", "-h", "usage: reelvane", "~/.config/reelvane/"},
                    InfoCase{"reelvane", "--version extra", "Reelvane " RV_VERSION "\n", nullptr},
                    InfoCase{"rvtool", "--version", "rvtool (Reelvane) " RV_VERSION "\n", nullptr},
                    InfoCase{"rvtool", "--help", "usage: rvtool COMMAND", "--version"}));

// Width and height from a PNG's IHDR chunk.
std::pair<int, int> PngSize(const std::string& path) {
  const std::string png = rvtest::ReadFile(path);
  if (png.size() < 24 || png.compare(12, 4, "IHDR") != 0) return {0, 0};
  auto be32 = [&](std::size_t at) {
    int v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(png[at + i]);
    return v;
  };
  return {be32(16), be32(20)};
}

void CheckProgramFolderAndLinks(const fs::path& prefix) {
  for (const char* program : {"reelvane", "rvtool"}) {
    const fs::path link = prefix / "bin" / program;
    ASSERT_TRUE(fs::is_symlink(link)) << link;
    EXPECT_EQ(fs::read_symlink(link), fs::path("../lib/reelvane") / program);
    EXPECT_TRUE(fs::is_regular_file(link)) << "dangling " << link;
  }
  for (const char* file : {"libNesCommon55.so", "libKaGraphSub10.so", "Converters/cineon.kcv",
                           "doc/index.html", kNesInstalledCopyMarker})
    EXPECT_TRUE(fs::is_regular_file(prefix / "lib/reelvane" / file)) << file;
}

void CheckIconsAndDesktopEntry(const fs::path& prefix) {
  const fs::path icons = prefix / "share/icons/hicolor";
  EXPECT_TRUE(fs::is_regular_file(icons / "scalable/apps/reelvane.svg"));
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const std::string dim = std::to_string(size) + "x" + std::to_string(size);
    EXPECT_EQ(PngSize((icons / dim / "apps/reelvane.png").string()), std::make_pair(size, size))
        << dim;
  }
  const std::string entry = (prefix / "share/applications/reelvane.desktop").string();
  ASSERT_TRUE(fs::is_regular_file(entry));
  if (!rvtest::HaveProgram("desktop-file-validate")) return;  // desktop-file-utils missing
  std::string out;
  EXPECT_EQ(rvtest::RunCommand("desktop-file-validate " + rvtest::ShellQuote(entry), &out), 0)
      << out;
  EXPECT_EQ(out.find("error:"), std::string::npos) << out;
}

void CheckRunsFromTheLinks(const std::string& prefix, const std::string& home) {
  fs::create_directories(home);
  // Even when the program folder is writable (a root user), an installed copy leaves it alone.
  const std::string env = std::string(kNoDisplay) +
                          "-u REELVANE_HOME -u XDG_CONFIG_HOME HOME=" + rvtest::ShellQuote(home) +
                          " ";
  std::string out, err;
  ASSERT_EQ(
      rvtest::RunCommand(env + rvtest::ShellQuote(prefix + "/bin/reelvane") + " --version", &out),
      0);
  EXPECT_EQ(out, "Reelvane " RV_VERSION "\n");
  const std::string frame = rvtest::DataDir() + "/imaging/png_rgba8.png";
  ASSERT_EQ(rvtest::RunCommand(env + rvtest::ShellQuote(prefix + "/bin/rvtool") + " info " +
                                   rvtest::ShellQuote(frame),
                               &out, &err),
            0)
      << err;
  EXPECT_EQ(out, "width=23 height=17 bpp=32 alpha=1 decoder=png\n");
  const std::string log = rvtest::ReadFile(home + "/.config/reelvane/Kacv.log");
  EXPECT_NE(log.find("cineon.kcv"), std::string::npos) << log;
  EXPECT_FALSE(fs::exists(prefix + "/lib/reelvane/Kacv.log"));
}

// One install serves every check: installs from one build tree in parallel tests would race
// on the manifest it writes.
TEST(InstalledCopy, WorksFromATemporaryPrefix) {
  rvtest::TempDir dir;
  const std::string prefix = dir.File("prefix");
  std::string out, err;
  ASSERT_EQ(rvtest::RunCommand(std::string(RV_CMAKE_COMMAND) + " --install " +
                                   rvtest::ShellQuote(RV_BUILD_DIR) + " --prefix " +
                                   rvtest::ShellQuote(prefix),
                               &out, &err),
            0)
      << out << err;
  {
    SCOPED_TRACE("program folder and links");
    CheckProgramFolderAndLinks(prefix);
  }
  {
    SCOPED_TRACE("icons and desktop entry");
    CheckIconsAndDesktopEntry(prefix);
  }
  {
    SCOPED_TRACE("installed programs");
    CheckRunsFromTheLinks(prefix, dir.File("home"));
  }
}

}  // namespace
