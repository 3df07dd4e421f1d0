#include <gtest/gtest.h>

#include "support/NesCommon55.h"

namespace {
bool ShiftOnly(int key) { return key == kNesVkShift; }
}  // namespace

TEST(KeyStateTest, WithoutProviderOrTableEveryKeyIsUp) {
  NesSetKeyStateProvider(nullptr);
  NesClearKeyDownTable();
  EXPECT_FALSE(bNesKeyPressed(kNesVkShift));
  EXPECT_FALSE(bNesKeyPressed(-1));
  EXPECT_FALSE(bNesKeyPressed(100000));
}

TEST(KeyStateTest, TableAndProviderBothReport) {
  NesClearKeyDownTable();
  NesSetKeyDown('A', true);
  EXPECT_TRUE(bNesKeyPressed('A'));
  NesSetKeyDown('A', false);
  EXPECT_FALSE(bNesKeyPressed('A'));
  NesSetKeyDown(100000, true);  // out of range: ignored, not written
  EXPECT_FALSE(bNesKeyPressed(100000));

  NesSetKeyStateProvider(ShiftOnly);
  EXPECT_TRUE(bNesKeyPressed(kNesVkShift));
  EXPECT_FALSE(bNesKeyPressed(kNesVkControl));
  NesSetKeyDown(kNesVkControl, true);
  EXPECT_TRUE(bNesKeyPressed(kNesVkControl));
  NesClearKeyDownTable();
  EXPECT_FALSE(bNesKeyPressed(kNesVkControl));
  NesSetKeyStateProvider(nullptr);
  EXPECT_FALSE(bNesKeyPressed(kNesVkShift));
}
