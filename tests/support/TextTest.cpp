#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/NesCommon55.h"

TEST(TextTest, TruncateWhiteSpaceRemovesBlanksAndTabsOnly) {
  const std::pair<const char*, const char*> cases[] = {
      {" \t a b \t ", "a b"}, {"\t\t\t", ""}, {"\nline\n ", "\nline\n"}};
  for (const auto& [before, after] : cases) {
    std::string text = before;
    TruncateWhiteSpace(&text);
    EXPECT_EQ(text, after) << before;
  }
}

TEST(TextTest, CompareIgnoringCase) {
  EXPECT_TRUE(bCmpNoCase("WindowPosition", "windowposition"));
  EXPECT_TRUE(bCmpNoCase("", ""));
  EXPECT_FALSE(bCmpNoCase("abc", "abd"));
  EXPECT_FALSE(bCmpNoCase("abc", "abcd"));
}

// Empty tokens are skipped, but a text of separators only still gives one empty token.
TEST(TextTest, NextTokenSkipsEmptyTokens) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {{"a,,b;c", {"a", "b", "c"}},
                                                                    {",,;", {""}}};
  for (const auto& [text, expected] : cases) {
    std::string source = text, token = "old";
    std::vector<std::string> tokens;
    while (tokens.size() < 5 && bGetNextToken(&source, ",;", &token)) tokens.push_back(token);
    EXPECT_EQ(tokens, expected) << text;
    EXPECT_EQ(source, "") << text;
  }
}

TEST(TextTest, String2LongReportsWholeAndPartialNumbers) {
  long value = 99;
  int used = -1;
  EXPECT_TRUE(bString2Long("123", &value, &used, 10));
  EXPECT_EQ(value, 123);
  EXPECT_EQ(used, 3);
  EXPECT_FALSE(bString2Long("12abc", &value, &used, 10));
  EXPECT_EQ(value, 12);
  EXPECT_EQ(used, 2);
  EXPECT_FALSE(bString2Long("abc", &value, &used, 10));
  EXPECT_EQ(value, 0);
  EXPECT_EQ(used, 0);
}

TEST(TextTest, String2LongLeavesOutputAloneOnEmptyTextAndRejectsBadRadix) {
  long value = 77;
  EXPECT_FALSE(bString2Long("", &value, nullptr, 10));
  EXPECT_EQ(value, 77);
  EXPECT_FALSE(bString2Long("12", &value, nullptr, 1));
  EXPECT_FALSE(bString2Long("12", &value, nullptr, 37));
}

TEST(TextTest, String2Double) {
  double value = 5.0;
  int used = -1;
  EXPECT_TRUE(bString2Double("2.5", &value, &used));
  EXPECT_DOUBLE_EQ(value, 2.5);
  EXPECT_EQ(used, 3);
  EXPECT_FALSE(bString2Double("2,5", &value, &used));
  EXPECT_DOUBLE_EQ(value, 2.0);
  EXPECT_EQ(used, 1);
  value = 5.0;
  EXPECT_FALSE(bString2Double("", &value, nullptr));
  EXPECT_DOUBLE_EQ(value, 5.0);
}

TEST(TextTest, Long2StringPadsOnTheLeft) {
  EXPECT_EQ(strLong2String(42, 5), "   42");
  EXPECT_EQ(strLong2String(42, 0), "42");
  EXPECT_EQ(strLong2String(123456, 3), "123456");
}
