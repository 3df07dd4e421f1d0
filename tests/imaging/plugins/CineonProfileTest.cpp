// Cineon profiles: the program's ".rvcp" ini files and Flame ".lut" files.
#include <gtest/gtest.h>

#include <string>

#include "TestUtil.h"
#include "imaging/CineonProfile.h"

namespace {

constexpr CineonValues kSome{1.25, 1.5, 100, 700, 5};

CineonValues ReadLut(const std::string& text, bool* ok, std::string* error = nullptr) {
  rvtest::TempDir dir;
  const std::string path = dir.File("p.lut");
  rvtest::WriteFile(path, text);
  CineonValues values = kSome;
  std::string message;
  *ok = bReadFlameCineonProfile(path, &values, &message);
  if (error) *error = message;
  return values;
}

}  // namespace

// (That writing keeps the rest of the file is the ini writer's, IniFileTest.)
TEST(RvcpProfile, WrittenValuesReadBackExactlyUnderTheirKeys) {
  rvtest::TempDir dir;
  const std::string path = dir.File("settings.ini");
  const CineonValues v{1.625, 2.4, 90, 690, 17};
  ASSERT_TRUE(bWriteCineonValues(path, v));
  EXPECT_EQ(ReadCineonValues(path), v);
  const std::string text = rvtest::ReadFile(path);
  EXPECT_NE(text.find("[Cineon]"), std::string::npos);
  for (const char* key :
       {"GammaDisplay", "GammaLog", "ReferenceBlack", "ReferenceWhite", "SoftClip"}) {
    EXPECT_NE(text.find(key), std::string::npos) << key;
  }
}

TEST(RvcpProfile, MissingKeysAndFilesReadAsTheStoredDefaults) {
  rvtest::TempDir dir;
  EXPECT_EQ(ReadCineonValues(dir.File("none.rvcp")), (CineonValues{1.7, 2.2, 95, 685, 0}));
  const std::string path = dir.File("partial.rvcp");
  rvtest::WriteFile(path, "[cineon]\nreferencewhite = 700\n");  // names ignore letter case
  EXPECT_EQ(ReadCineonValues(path), (CineonValues{1.7, 2.2, 95, 700, 0}));
}

TEST(RvcpProfile, UnusableValuesReadAsDefaults) {
  rvtest::TempDir dir;
  const std::string path = dir.File("bad.rvcp");
  rvtest::WriteFile(path, "[Cineon]\nReferenceBlack=-4\nGammaLog=-1\nSoftClip=7\n");
  const CineonValues v = ReadCineonValues(path);
  EXPECT_EQ(v.referenceBlack, 95u);
  EXPECT_EQ(v.gammaLog, 1.7);
  EXPECT_EQ(v.softClip, 7u);
}

TEST(LutProfile, ReadsEveryKnownLine) {
  bool ok = false;
  const CineonValues v = ReadLut(
      "RGB Reference White 690\n"
      "RGB Reference Black 90\n"
      "RGB Softclip 12\n"
      "RGB Film Gamma 0.6\n"
      "RGB Gamma Correction 1.0\n",
      &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(v, (CineonValues{0.6, 1.0, 90, 690, 12}));
}

TEST(LutProfile, WordsIgnoreCaseAndColonsAndHashesSeparate) {
  bool ok = false;
  const CineonValues v = ReadLut(
      "  rgb: reference: WHITE: 700\r\n"
      "\tRgB#softCLIP##3  \n",
      &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(v.referenceWhite, 700u);
  EXPECT_EQ(v.softClip, 3u);
  EXPECT_EQ(v.referenceBlack, kSome.referenceBlack);
}

TEST(LutProfile, OtherLinesAreIgnored) {
  for (const char* text : {"\n# a comment\nRED Reference White 1\nRGB Reference Grey 500\n"
                           "RGB Reference White\nRGB Film Speed abc\nRGB Softclip\n"
                           "RGB Something Else 5\n",
                           "LUT: 3 1024\n0 0 0\n", ""}) {
    bool ok = false;
    EXPECT_EQ(ReadLut(text, &ok), kSome) << text;
    EXPECT_TRUE(ok) << text;
  }
}

TEST(LutProfile, MalformedNumberFailsAndChangesNothing) {
  for (const char* line :
       {"RGB Reference White 68x5\n", "RGB Reference Black -5\n", "RGB Softclip 1.5\n",
        "RGB Film Gamma one\n", "RGB Gamma Correction 0x10\n", "RGB Gamma Correction nan\n"}) {
    bool ok = true;
    std::string error;
    const CineonValues v = ReadLut(std::string("RGB Reference White 600\n") + line, &ok, &error);
    EXPECT_FALSE(ok) << line;
    EXPECT_EQ(error, "Unexpected File Format") << line;
    EXPECT_EQ(v, kSome) << line;  // the line before the bad one is not kept either
  }
}

TEST(LutProfile, UnreadableFileFailsWithItsOwnMessage) {
  CineonValues v = kSome;
  std::string error;
  EXPECT_FALSE(bReadFlameCineonProfile("/nonexistent/dir/p.lut", &v, &error));
  EXPECT_NE(error.find("/nonexistent/dir/p.lut"), std::string::npos);
  EXPECT_EQ(v, kSome);
}

TEST(ProfileLoad, ExtensionDecidesLetterCaseIgnored) {
  rvtest::TempDir dir;
  const std::string rvcp = dir.File("LOOK.RVCP");
  ASSERT_TRUE(bWriteCineonValues(rvcp, kSome));
  CineonValues v;
  std::string error;
  EXPECT_EQ(LoadCineonProfile(rvcp, &v, &error), CineonLoadResult::kLoaded);
  EXPECT_EQ(v, kSome);

  const std::string lut = dir.File("flame.LuT");
  rvtest::WriteFile(lut, "RGB Reference Black 77\n");
  EXPECT_EQ(LoadCineonProfile(lut, &v, &error), CineonLoadResult::kLoaded);
  EXPECT_EQ(v.referenceBlack, 77u);

  rvtest::WriteFile(lut, "RGB Reference Black seven\n");
  EXPECT_EQ(LoadCineonProfile(lut, &v, &error), CineonLoadResult::kMalformed);
  EXPECT_EQ(v.referenceBlack, 77u);

  const std::string grd = dir.File("nuke.grd");
  rvtest::WriteFile(grd, "anything");
  const CineonValues before = v;
  EXPECT_EQ(LoadCineonProfile(grd, &v, &error), CineonLoadResult::kNotRead);
  EXPECT_EQ(v, before);

  EXPECT_EQ(LoadCineonProfile(dir.File("x.txt"), &v, &error), CineonLoadResult::kUnknownExtension);
  EXPECT_EQ(error, "Unknown file format");
  EXPECT_EQ(GetCineonProfileKind("/a/b.c/noext"), CineonProfileKind::kUnknown);
}
