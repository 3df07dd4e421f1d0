#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "imageops/RvCrop.h"
#include "imageops/RvResample.h"

namespace {

struct Report {
  std::string message;
  std::string displayed;
  int position;
  // The part of the displayed text the dialog highlights.
  std::string Highlight() const { return displayed.substr(static_cast<std::size_t>(position)); }
};

class Recorder : public CRvCmdLineErrorSink {
 public:
  void ReportCmdLineError(const std::string& message, const std::string& displayed,
                          int position) override {
    reports.push_back({message, displayed, position});
  }
  std::vector<Report> reports;
};

struct Parsed {
  bool named = false;
  CRvCommandLineRequest request;
  CRvCrop crop;
  CRvResample resample;
  Recorder errors;
};

constexpr const char* kBase = "/work/shots/day1";

Parsed Parse(const std::string& line, const std::string& base = kBase) {
  Parsed p;
  p.named = ParseCommandLine(line, &p.request, &p.crop, &p.resample, &p.errors, base);
  return p;
}

}  // namespace

TEST(ExtractTokenTest, SplitsAtTheSeparatorAndSkipsEmptyTokens) {
  std::string source = "a  b", token;
  ASSERT_TRUE(ExtractToken(&source, ' ', &token));
  EXPECT_EQ(token, "a");
  ASSERT_TRUE(ExtractToken(&source, ' ', &token));
  EXPECT_EQ(token, "b");
  EXPECT_EQ(source, "");
  EXPECT_FALSE(ExtractToken(&source, ' ', &token));
}

TEST(ExtractTokenTest, QuotedStretchProtectsSeparatorsUpToItsClosingQuote) {
  std::string source = "\"/my shots/a 1.tga\" 10-50", token;
  ASSERT_TRUE(ExtractToken(&source, ' ', &token));
  EXPECT_EQ(token, "\"/my shots/a 1.tga\"");
  EXPECT_EQ(source, "10-50");
  // A quote later in the text also protects the blanks before it.
  source = "prog \"/my shots/a.tga\"";
  ASSERT_TRUE(ExtractToken(&source, ' ', &token));
  EXPECT_EQ(token, "prog \"/my shots/a.tga\"");
  EXPECT_EQ(source, "");
  // An unclosed quote makes the rest one token.
  source = "\"open quote rest";
  ASSERT_TRUE(ExtractToken(&source, ' ', &token));
  EXPECT_EQ(token, "\"open quote rest");
}

TEST(StripQuotesTest, TrimsThenDropsOneQuoteAtEachEnd) {
  std::string text = "  \"/a b/c.tif\" ";
  StripQuotes(&text);
  EXPECT_EQ(text, "/a b/c.tif");
  text = "\"\"x\"\"";
  StripQuotes(&text);
  EXPECT_EQ(text, "\"x\"");
  text = "\"";
  StripQuotes(&text);
  EXPECT_EQ(text, "");
}

TEST(ExpandPercentVariablesTest, ReplacesSetAndUnsetVariables) {
  setenv("RV_TEST_SHOTS", "/mnt/shots", 1);
  unsetenv("RV_TEST_UNSET");
  EXPECT_EQ(ExpandPercentVariables("%RV_TEST_SHOTS%/a.tga"), "/mnt/shots/a.tga");
  EXPECT_EQ(ExpandPercentVariables("/x/%RV_TEST_UNSET%/a.tga"), "/x//a.tga");
  EXPECT_EQ(ExpandPercentVariables("/x/100%"), "/x/100");  // a lone % is dropped
  EXPECT_EQ(ExpandPercentVariables("a%%b"), "ab");
}

TEST(ExpandPercentVariablesTest, SelfReferenceAndPercentInValuesTerminate) {
  setenv("RV_TEST_SELF", "x%RV_TEST_SELF%y", 1);
  EXPECT_EQ(ExpandPercentVariables("<%RV_TEST_SELF%>"), "<x%RV_TEST_SELF%y>");
  setenv("RV_TEST_PCT", "50%", 1);
  EXPECT_EQ(ExpandPercentVariables("%RV_TEST_PCT%%RV_TEST_PCT%"), "50%50%");
}

TEST(MakeAbsolutePathTest, RelativePathsJoinTheBaseAndRootedOnesStay) {
  const struct {
    const char *path, *base, *expected;
  } cases[] = {
      {"a.0001.tga", "/work/shots", "/work/shots/a.0001.tga"},
      {"sub/a.tga", "/work/shots/", "/work/shots/sub/a.tga"},
      {"./././a.tga", "/w", "/w/a.tga"},
      {"../../x/a.tga", "/work/shots/day1", "/work/x/a.tga"},
      {"../../../../a.tga", "/work/shots", "/a.tga"},  // not above the root
      {"/shots/a.tga", "/work", "/shots/a.tga"},
      {"//server/share/a.tga", "/work", "//server/share/a.tga"},
      {"\\\\server\\share\\a.tga", "/work", "\\\\server\\share\\a.tga"},
  };
  for (const auto& c : cases) EXPECT_EQ(MakeAbsolutePath(c.path, c.base), c.expected) << c.path;
}

TEST(BuildCommandLineTest, QuotesTheProgramAndArgumentsThatNeedIt) {
  const char* argv[] = {"/opt/rv/reelvane", "/my shots/a.tga", "10-50", "", "say \"hi\"", "-u"};
  EXPECT_EQ(BuildCommandLine(6, argv),
            "\"/opt/rv/reelvane\" \"/my shots/a.tga\" 10-50 \"\" \"say \"hi\"\" -u");
}

TEST(BuildCommandLineTest, AQuotedFramePathIsFoundAfterTheProgram) {
  const char* argv[] = {"/opt/r v/reelvane", "/My Shots/a 1.TGA", "10-50", "-u"};
  const Parsed p = Parse(BuildCommandLine(4, argv));
  ASSERT_TRUE(p.named);
  EXPECT_EQ(p.request.sequencePath, "/My Shots/a 1.TGA");  // the path keeps its case
  EXPECT_TRUE(p.errors.reports.empty());  // the rest after the quoted path is read as usual
}

TEST(ParseCommandLineTest, NoFileNamed) {
  EXPECT_FALSE(Parse("").named);
  EXPECT_FALSE(Parse("reelvane    ").named);
  // A quote after an unquoted program path reaches to its closing quote: nothing is named.
  EXPECT_FALSE(Parse("reelvane \"/my shots/a.tga\"").named);
}

TEST(ParseCommandLineTest, InOutVariants) {
  // The number at the start of each part counts, a part without one gives 0, and a token that
  // is no number is dropped: none of this is reported.
  const struct {
    const char* inOut;
    int in, out;
  } cases[] = {{"0-50", 0, 50}, {"20", 20, -1}, {"12ab-3x", 12, 3},
               {"5-x", 5, 0},   {"x", 0, -1},   {"99999999999", 2147483647, -1}};
  for (const auto& c : cases) {
    const Parsed p = Parse(std::string("rv a.tga ") + c.inOut);
    EXPECT_TRUE(p.named) << c.inOut;
    EXPECT_EQ(p.request.inFrame, c.in) << c.inOut;
    EXPECT_EQ(p.request.outFrame, c.out) << c.inOut;
    EXPECT_TRUE(p.errors.reports.empty()) << c.inOut;
  }
}

TEST(ParseCommandLineTest, CropAndResampleOptionsAnyCase) {
  const Parsed p = Parse("rv a.tga 1-9 -C 10 20 300 200 -R 50% H288 -U");
  ASSERT_TRUE(p.errors.reports.empty()) << p.errors.reports[0].message;
  EXPECT_TRUE(p.request.cropGiven);
  EXPECT_TRUE(p.request.resampleGiven);
  EXPECT_TRUE(p.request.uFlag);
  EXPECT_EQ(p.crop.Format(), "10 20 300 200 ");
  EXPECT_EQ(p.resample.Format(), "50% 288 ");
}

TEST(ParseCommandLineTest, UnknownOptionHighlightsItAndEverythingAfter) {
  const Parsed p = Parse("rv a.tga 10-50 -x -u");
  ASSERT_TRUE(p.named);
  ASSERT_EQ(p.errors.reports.size(), 1u);
  EXPECT_EQ(p.errors.reports[0].message, "Unknown command line parameters");
  EXPECT_EQ(p.errors.reports[0].displayed, "10-50 -x -u");
  EXPECT_EQ(p.errors.reports[0].Highlight(), "x -u");
  EXPECT_EQ(p.request.inFrame, 10);  // parsing does not stop the start-up
  EXPECT_FALSE(p.request.uFlag);     // options after an unknown one are not read
}

TEST(ParseCommandLineTest, LoneDashAndTrailingTextAreUnknown) {
  Parsed p = Parse("rv a.tga -");
  ASSERT_EQ(p.errors.reports.size(), 1u);
  EXPECT_EQ(p.errors.reports[0].message, "Unknown command line parameters");
  EXPECT_EQ(p.errors.reports[0].Highlight(), "-");
  p = Parse("rv a.tga  10   -u  extra  ");
  ASSERT_EQ(p.errors.reports.size(), 1u);
  EXPECT_EQ(p.errors.reports[0].displayed, " 10   -u  extra");
  EXPECT_EQ(p.errors.reports[0].Highlight(), "extra");
}

// The grammar's own messages are checked with the grammar; here, where they point.
TEST(ParseCommandLineTest, SpecifierErrorsHighlightTheFailingToken) {
  Parsed p = Parse("rv a.tga -c 10 t5 7 -r 50");
  ASSERT_EQ(p.errors.reports.size(), 1u);
  EXPECT_EQ(p.errors.reports[0].Highlight(), "7 -r 50");
  EXPECT_FALSE(p.request.cropGiven);
  EXPECT_TRUE(p.request.resampleGiven);  // the next option is still read

  p = Parse("rv a.tga -R w1 W2");
  ASSERT_EQ(p.errors.reports.size(), 1u);
  EXPECT_EQ(p.errors.reports[0].Highlight(), "W2");  // shown as typed
}

TEST(ParseCommandLineTest, NoUnknownParametersAfterAnEarlierError) {
  const Parsed p = Parse("rv a.tga -c x5 tail");
  ASSERT_EQ(p.errors.reports.size(), 1u);
  EXPECT_EQ(p.errors.reports[0].message, "Unknown specifier in crop command line: x");
  EXPECT_EQ(p.errors.reports[0].Highlight(), "x5 tail");
}

// The rules of joining and expanding are checked on their own above; here, that both apply.
TEST(ParseCommandLineTest, RelativeAndPercentPaths) {
  setenv("RV_TEST_DISK", "disk2", 1);
  EXPECT_EQ(Parse("rv ../%RV_TEST_DISK%/a.tga", "/w/x").request.sequencePath, "/w/disk2/a.tga");
}

TEST(ParseCommandLineTest, WorksWithoutAnErrorSink) {
  CRvCommandLineRequest request;
  CRvCrop crop;
  CRvResample resample;
  EXPECT_TRUE(ParseCommandLine("rv a.tga -q", &request, &crop, &resample, nullptr, "/w"));
  EXPECT_EQ(request.sequencePath, "/w/a.tga");
}
