#include "sequence/FrameName.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

TEST(ParseFrameName, KeyAndNumber) {
  const struct {
    const char* path;
    const char* key;
    std::uint32_t number;
  } cases[] = {
      {"shot_0012.tif", "shot_#.tif", 12},
      {"render.0042.exr", "render.#.exr", 42},
      {"image0001", "image#.", 1},
      {"clip.0012", "clip..#", 12},
      {"clip.tif.0012", "clip.tif.#", 12},
      {"shot_12a.tif", "shot_12a.tif", 0},
      {"logo.tif", "logo.tif", 0},
      // The folder never enters the key.
      {"/shots/a/shot_0012.tif", "shot_#.tif", 12},
      // Separators before the digits stay part of the key.
      {"take_-0003.png", "take_-#.png", 3},
      // Padding is not part of the key, leading zeros are ignored.
      {"shot_000.tif", "shot_#.tif", 0},
      {"/x/12.tif", "#.tif", 12},
      // A digit run too large for 32 bits never becomes the "no frame" marker.
      {"shot_99999999999999999999.tif", "shot_#.tif", kRvNone - 1},
      {"shot_4294967295.tif", "shot_#.tif", kRvNone - 1},
      {"shot_4294967294.tif", "shot_#.tif", 4294967294u},
  };
  for (const auto& c : cases) {
    std::string key = "stale";
    std::uint32_t number = 99;
    ParseFrameName(c.path, &key, &number);
    EXPECT_EQ(key, c.key) << c.path;
    EXPECT_EQ(number, c.number) << c.path;
  }
}

TEST(TrimSeparators, StripsBothEndsEndFirst) {
  const std::pair<const char*, const char*> cases[] = {
      {"._-tif -_.", "tif"}, {"a.b", "a.b"}, {" _-.", ""}, {"", ""}};
  for (const auto& [before, after] : cases) {
    std::string text = before;
    TrimSeparators(&text);
    EXPECT_EQ(text, after) << before;
  }
}

TEST(Keys, CompareWithoutCase) {
  EXPECT_TRUE(RvKeysEqual("Shot_#.TIF", "shot_#.tif"));
  EXPECT_FALSE(RvKeysEqual("shot_#.tif", "shot_#.tiff"));
  EXPECT_FALSE(RvKeysEqual("shot_#.tif", "shut_#.tif"));
  EXPECT_EQ(RvFoldKey("Shot_#.TIF"), RvFoldKey("shot_#.tif"));
  // Bytes outside ASCII are not folded into ASCII letters.
  EXPECT_FALSE(RvKeysEqual("\xc3\x84.tif", "\xc3\xa4.tif"));
}

using MaskCase = std::tuple<const char*, const char*, bool>;
class MaskTest : public testing::TestWithParam<MaskCase> {};

TEST_P(MaskTest, Matches) {
  const auto& [name, mask, expected] = GetParam();
  EXPECT_EQ(RvMatchMask(name, mask), expected) << name << " vs " << mask;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, MaskTest,
    testing::Values(MaskCase{"noext", "*.*", true}, MaskCase{"a.b.c", "*.c", true},
                    MaskCase{"a.b.c", "*.b", false}, MaskCase{"SHOT.TIF", "shot.tif", true},
                    MaskCase{"shot_1.tif", "shot_???????????.tif", true},
                    MaskCase{"shot_00000000001.tif", "shot_???????????.tif", true},
                    MaskCase{"shot_000000000001.tif", "shot_???????????.tif", false},
                    MaskCase{"shot_.tif", "shot_???????????.tif", true},
                    MaskCase{"axyb", "a??b", true}, MaskCase{"axb", "a??b", false},
                    MaskCase{"abc", "a?", false},
                    MaskCase{"clip.tif.0012", "clip.tif.???????????", true},
                    MaskCase{"clip.tif", "clip.???????????", true}, MaskCase{"abc", "abc.*", true},
                    MaskCase{"abcd", "abc.*", false}, MaskCase{"a1b2c3", "*1*2*3", true},
                    MaskCase{"a1b2c", "*1*2*3", false}, MaskCase{"", "*", true},
                    MaskCase{"x", "", false}));

TEST(Mask, ManyStarsStayFast) {
  // Backtracking without memory would take exponential time here.
  const std::string name(200, 'a');
  EXPECT_FALSE(RvMatchMask(name, "*a*a*a*a*a*a*a*a*a*a*a*a*b"));
}

}  // namespace
