// Preset files of the crop and resample panels: the TAB name rule, the case-insensitive name
// lookup, atomic rewriting, and the shipped presets, every one of which must parse.
#include <gtest/gtest.h>

#include <string>

#include "TestUtil.h"
#include "imageops/RvCrop.h"
#include "imageops/RvPresets.h"
#include "imageops/RvResample.h"

namespace {

TEST(Presets, ANameOnlyWithATabAfterTheFirstCharacter) {
  const struct {
    const char *line, *name, *command, *display;
  } cases[] = {{"Half\t50% 50%", "Half", "50% 50%", "Half"},
               {"\t720 576", "", "\t720 576", "\t720 576"},
               {"w50%", "", "w50%", "w50%"},
               {"A\tb\tc", "A", "b\tc", "A"}};
  for (const auto& c : cases) {
    const CRvPreset preset = CRvPreset::FromLine(c.line);
    EXPECT_EQ(preset.name, c.name) << c.line;
    EXPECT_EQ(preset.command, c.command) << c.line;
    EXPECT_EQ(preset.Display(), c.display) << c.line;
  }
}

TEST(Presets, ReadsLinesSkipsBlanksAndFindsNamesIgnoringCase) {
  rvtest::TempDir dir;
  rvtest::WriteFile(dir.File("crop.rvps"),
                    "Wide Screen\t  t10 h20  \r\n\r\n10 20 30 40\nwide\tw5\n");
  CRvPresetList list;
  ASSERT_TRUE(list.Read(dir.File("crop.rvps")));
  ASSERT_EQ(list.Items().size(), 3u);
  EXPECT_EQ(list.Items()[1].Display(), "10 20 30 40");
  std::string command;
  ASSERT_TRUE(list.FindCommand("WIDE screen", &command));
  EXPECT_EQ(command, "t10 h20");  // surrounding blanks removed
  ASSERT_TRUE(list.FindCommand("Wide", &command));
  EXPECT_EQ(command, "w5");
  EXPECT_FALSE(list.FindCommand("10 20 30 40", &command));  // a line without a name
  EXPECT_FALSE(list.Read(dir.File("missing.rvps")));
  EXPECT_TRUE(list.Empty());
}

TEST(Presets, PutReplacesByNameAndWritesTheWholeFile) {
  rvtest::TempDir dir;
  CRvPresetList list;
  EXPECT_TRUE(list.Put("Half", "50% "));
  EXPECT_TRUE(list.Put("Quarter", "25%"));
  EXPECT_TRUE(list.Put("HALF", "50% 50% "));
  EXPECT_FALSE(list.Put("Bad\tName", "10"));
  EXPECT_FALSE(list.Put("Empty", " "));
  list.Remove(1);
  std::string error;
  ASSERT_TRUE(list.Write(dir.File("resample.rvps"), &error)) << error;
  CRvPresetList back;
  ASSERT_TRUE(back.Read(dir.File("resample.rvps")));
  ASSERT_EQ(back.Items().size(), 1u);
  EXPECT_EQ(back.Items()[0].line, "Half\t50% 50% ");
  EXPECT_FALSE(list.Write(dir.File("no/such/folder/resample.rvps"), &error));
  EXPECT_NE(error.find("no/such/folder"), std::string::npos);
}

TEST(Presets, DefaultsAreInstalledOnlyWhereNoFileIs) {
  rvtest::TempDir dir;
  const std::string folder = dir.Path().string() + "/";
  rvtest::WriteFile(folder + kRvCropPresetFile, "");  // emptied by the user: stays empty
  ASSERT_TRUE(RvInstallPresetFile(folder, kRvCropPresetFile, RvDefaultCropPresets()));
  ASSERT_TRUE(RvInstallPresetFile(folder, kRvResamplePresetFile, RvDefaultResamplePresets()));
  CRvPresetList crop, resample;
  ASSERT_TRUE(crop.Read(folder + kRvCropPresetFile));
  ASSERT_TRUE(resample.Read(folder + kRvResamplePresetFile));
  EXPECT_TRUE(crop.Empty());
  EXPECT_GE(resample.Items().size(), 5u);
}

TEST(Presets, EveryShippedPresetIsNamedAndParses) {
  for (const bool isCrop : {true, false}) {
    rvtest::TempDir dir;
    rvtest::WriteFile(dir.File("p"), isCrop ? RvDefaultCropPresets() : RvDefaultResamplePresets());
    CRvPresetList list;
    ASSERT_TRUE(list.Read(dir.File("p")));
    for (const CRvPreset& preset : list.Items()) {
      std::string text = preset.command, error;
      int count = 0;
      const bool parsed = isCrop ? CRvCrop().Parse(&text, &error, &count)
                                 : CRvResample().Parse(&text, &error, &count);
      EXPECT_TRUE(parsed) << preset.line << ": " << error;
      EXPECT_FALSE(preset.name.empty()) << preset.line;
    }
  }
}

}  // namespace
