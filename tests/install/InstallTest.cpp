// --help/--version of the built programs, and a copy installed into a temporary prefix.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestUtil.h"
#include "support/NesCommon55.h"

namespace {

using rvtest::ShellQuote;
// No display, no Qt platform: the information options need neither.
const std::string kNoDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ";

// A command and the start of its stdout; a start that ends in a newline is the whole of it.
class InfoOption : public testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(InfoOption, PrintsOnStdoutAndExitsZeroWithoutADisplay) {
  const auto& [command, expected] = GetParam();
  std::string out, err;
  const std::string program = ShellQuote(rvtest::BinDir()) + "/" + command;
  ASSERT_EQ(rvtest::RunCommand(kNoDisplay + program, &out, &err), 0) << err;
  EXPECT_EQ(err, "");
  EXPECT_EQ(expected.back() == '\n' ? out : out.substr(0, expected.size()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, InfoOption,
    testing::Values(std::pair("reelvane --version", "Reelvane " RV_VERSION "\n"),
                    std::pair("reelvane --help", "usage: reelvane [FRAME [IN[-OUT]]"),
                    std::pair("reelvane -h", "usage: reelvane [FRAME [IN[-OUT]]"),
                    std::pair("rvtool --version", "rvtool (Reelvane) " RV_VERSION "\n"),
                    std::pair("rvtool --help", "usage: rvtool COMMAND")));

// One install serves every check: parallel installs from one build tree race on its manifest.
TEST(InstalledCopy, LayoutIconsDesktopEntryAndPrograms) {
  rvtest::TempDir dir;
  const std::string prefix = dir.File("prefix"), home = dir.File("home");
  std::string out, err;
  const std::string install = RV_CMAKE_COMMAND " --install " + ShellQuote(RV_BUILD_DIR);
  ASSERT_EQ(rvtest::RunCommand(install + " --prefix " + ShellQuote(prefix), &out, &err), 0) << err;
  for (const std::string file : {"reelvane", "rvtool"})
    EXPECT_EQ(std::filesystem::read_symlink(prefix + "/bin/" + file), "../lib/reelvane/" + file);
  for (const char* file : {"libNesCommon55.so", "libKaGraphSub10.so", "Converters/cineon.kcv",
                           "doc/index.html", kNesInstalledCopyMarker})
    EXPECT_TRUE(std::filesystem::is_regular_file(prefix + "/lib/reelvane/" + file)) << file;
  const std::string icons = ShellQuote(prefix + "/share/icons/hicolor") + "/*/apps/reelvane.";
  ASSERT_EQ(rvtest::RunCommand("identify -format '%wx%h ' " + icons + "png " + icons + "svg", &out),
            0);
  EXPECT_EQ(out, "128x128 16x16 22x22 24x24 256x256 32x32 48x48 64x64 256x256 ");
  EXPECT_EQ(rvtest::RunCommand("desktop-file-validate " +
                               ShellQuote(prefix + "/share/applications/reelvane.desktop")),
            0);
  // The installed plug-in decodes; a program folder writable by root still gets no log.
  const std::string rvtool = kNoDisplay +
                             "-u REELVANE_HOME -u XDG_CONFIG_HOME HOME=" + ShellQuote(home) + " " +
                             ShellQuote(prefix + "/bin/rvtool");
  const std::string frame = ShellQuote(rvtest::DataDir() + "/cineon/dpx10.dpx");
  ASSERT_EQ(rvtest::RunCommand(rvtool + " info " + frame, &out, &err), 0) << err;
  EXPECT_EQ(out, "width=6 height=4 bpp=32 alpha=1 decoder=Cineon/DPX Converter\n");
  EXPECT_TRUE(std::filesystem::exists(home + "/.config/reelvane/Kacv.log"));
  EXPECT_FALSE(std::filesystem::exists(prefix + "/lib/reelvane/Kacv.log"));
}

}  // namespace
