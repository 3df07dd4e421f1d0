#include <gtest/gtest.h>

#include <string>

#include "imageops/RvCrop.h"
#include "imageops/RvResample.h"

namespace {

struct Rect {
  int left, top, width, height;
  bool operator==(const Rect&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Rect& r) {
  return os << r.left << "," << r.top << " " << r.width << "x" << r.height;
}

CRvCrop ParseCrop(const std::string& spec) {
  CRvCrop crop;
  std::string text = spec, error;
  int count = -1;
  EXPECT_TRUE(crop.Parse(&text, &error, &count)) << spec << ": " << error;
  EXPECT_EQ(count, 0);
  return crop;
}

Rect CropRect(const std::string& spec, int width, int height) {
  Rect r{};
  ParseCrop(spec).GetCropRect(width, height, &r.left, &r.top, &r.width, &r.height);
  return r;
}

struct Failure {
  std::string error;
  int count;
  std::string rest;
};

template <typename Spec>
Failure ParseFailure(const std::string& spec) {
  Spec s;
  std::string text = spec, error = "General Error";
  int count = -1;
  EXPECT_FALSE(s.Parse(&text, &error, &count)) << spec;
  return {error, count, text};
}

}  // namespace

// --- crop grammar ---------------------------------------------------------------------------

TEST(CropParseTest, PositionalValuesAreLeftTopWidthHeight) {
  const CRvCrop crop = ParseCrop("10 20 300 200");
  EXPECT_EQ(crop.Left().value, 10);
  EXPECT_EQ(crop.Top().value, 20);
  EXPECT_EQ(crop.Width().value, 300);
  EXPECT_EQ(crop.Height().value, 200);
  EXPECT_FALSE(crop.Right().IsGiven());
  EXPECT_FALSE(crop.Bottom().IsGiven());
}

TEST(CropParseTest, LetteredValuesPercentAndCase) {
  const CRvCrop crop = ParseCrop("L10 T5% R3 b4% W50% h7 l12");
  EXPECT_EQ(crop.Left(), (CRvSpecValue{12, false}));  // a later letter overwrites
  EXPECT_EQ(crop.Top(), (CRvSpecValue{5, true}));
  EXPECT_EQ(crop.Right(), (CRvSpecValue{3, false}));
  EXPECT_EQ(crop.Bottom(), (CRvSpecValue{4, true}));
  EXPECT_EQ(crop.Width(), (CRvSpecValue{50, true}));
  EXPECT_EQ(crop.Height(), (CRvSpecValue{7, false}));
}

TEST(CropParseTest, StopsAtTheNextOptionAndLeavesIt) {
  CRvCrop crop;
  std::string text = " 10  20 -r 50% -u", error;
  int count = -1;
  ASSERT_TRUE(crop.Parse(&text, &error, &count));
  EXPECT_EQ(text, "-r 50% -u");
  EXPECT_EQ(crop.Top().value, 20);
}

TEST(CropParseTest, ErrorsCarryTheirTextAndTheFailingTokensOffset) {
  Failure f = ParseFailure<CRvCrop>("t5 10");
  EXPECT_EQ(f.error, "Use specifier T L R B W H on number in crop parameter");
  EXPECT_EQ(f.count, 3);
  f = ParseFailure<CRvCrop>(" 1 2 x5 -r 5");
  EXPECT_EQ(f.error, "Unknown specifier in crop command line: x");
  EXPECT_EQ(f.count, 5);
  EXPECT_EQ(f.rest, "-r 5");  // the failing token is taken off, the next option stays
  f = ParseFailure<CRvCrop>("1 2 3 4 5");
  EXPECT_EQ(f.error, "Too many parameters in crop");
  EXPECT_EQ(f.count, 8);
  f = ParseFailure<CRvCrop>("l%");
  EXPECT_EQ(f.error, "Missing parameter in crop command line");
  EXPECT_EQ(f.count, 0);
  f = ParseFailure<CRvCrop>("10 t");
  EXPECT_EQ(f.error, "Missing parameter in crop command line");
  EXPECT_EQ(f.count, 3);
  f = ParseFailure<CRvCrop>("10 2a");
  EXPECT_EQ(f.error, "Number expected in crop parameter");
  EXPECT_EQ(f.count, 3);
  f = ParseFailure<CRvCrop>("w+5");
  EXPECT_EQ(f.error, "Number expected in crop parameter");
  f = ParseFailure<CRvCrop>("w99999999999");
  EXPECT_EQ(f.error, "Number expected in crop parameter");
}

TEST(CropParseTest, NoValuesIsAnError) {
  Failure f = ParseFailure<CRvCrop>("");
  EXPECT_EQ(f.error, "No crop parameters found");
  EXPECT_EQ(f.count, 0);
  f = ParseFailure<CRvCrop>("   -r 50");
  EXPECT_EQ(f.error, "No crop parameters found");
  EXPECT_EQ(f.count, 3);
  EXPECT_EQ(f.rest, "-r 50");
}

TEST(CropParseTest, FailureKeepsValuesAcceptedBeforeAndParseClearsOldOnes) {
  CRvCrop crop = ParseCrop("r9");
  std::string text = "10 20 q", error;
  int count = 0;
  ASSERT_FALSE(crop.Parse(&text, &error, &count));
  EXPECT_EQ(crop.Left().value, 10);
  EXPECT_EQ(crop.Top().value, 20);
  EXPECT_FALSE(crop.Right().IsGiven());
}

// --- crop formatting ------------------------------------------------------------------------

TEST(CropFormatTest, FormatsAndParsesBack) {
  const char* specs[] = {"10 20 300 200", "t10 h20", "l5 w30%", "10 20 h5 r3 b4%",
                         "w50%",          "r1 b2",   "0 0 0 0", "l1 t2 r3 b4 w5 h6"};
  for (const char* spec : specs) {
    const CRvCrop crop = ParseCrop(spec);
    EXPECT_EQ(ParseCrop(crop.Format()), crop) << spec << " -> " << crop.Format();
  }
}

TEST(CropFormatTest, PositionalOnlyWhileEveryEarlierValueIsGiven) {
  EXPECT_EQ(ParseCrop("t10 h20").Format(), "T10 H20 ");
  EXPECT_EQ(ParseCrop("10 20 300 200").Format(), "10 20 300 200 ");
  EXPECT_EQ(ParseCrop("l10 w300 h5").Format(), "10 W300 H5 ");
  EXPECT_EQ(ParseCrop("b2% r1 t4").Format(), "T4 R1 B2% ");
  EXPECT_EQ(CRvCrop().Format(), "");
}

// --- crop geometry --------------------------------------------------------------------------

TEST(CropRectTest, ExamplesFromEverydayUse) {
  EXPECT_EQ(CropRect("10 20 300 200", 640, 480), (Rect{10, 20, 300, 200}));
  EXPECT_EQ(CropRect("w50%", 640, 480), (Rect{160, 0, 320, 480}));
  EXPECT_EQ(CropRect("r10", 100, 50), (Rect{0, 0, 90, 50}));
  EXPECT_EQ(CropRect("l10 r10", 100, 50), (Rect{10, 0, 80, 50}));
  EXPECT_EQ(CropRect("t10 b10%", 100, 50), (Rect{0, 10, 100, 35}));
}

TEST(CropRectTest, SizesAreClippedToTheImage) {
  EXPECT_EQ(CropRect("10 20 300 200", 100, 50), (Rect{10, 20, 90, 30}));
  EXPECT_EQ(CropRect("r20 w500", 100, 50), (Rect{0, 0, 80, 50}));
  EXPECT_EQ(CropRect("r20 w30", 100, 50), (Rect{50, 0, 30, 50}));
  EXPECT_EQ(CropRect("r500", 100, 50), (Rect{0, 0, 0, 50}));
  EXPECT_EQ(CropRect("w101 h7", 100, 50), (Rect{0, 21, 100, 7}));
  EXPECT_EQ(CropRect("w33", 100, 50), (Rect{33, 0, 33, 50}));  // centred, rounded down
}

TEST(CropRectTest, OverlappingMarginsGiveAnEmptyCropNeverNegative) {
  EXPECT_EQ(CropRect("l60 r60", 100, 50), (Rect{60, 0, 0, 50}));
  EXPECT_EQ(CropRect("t40 b40", 100, 50), (Rect{0, 40, 100, 0}));
  EXPECT_EQ(CropRect("l70% r70%", 100, 50), (Rect{70, 0, 0, 50}));
}

TEST(CropRectTest, MarginAtTheFarEdgeKeepsTheLastColumnOrRow) {
  EXPECT_EQ(CropRect("l100", 100, 50), (Rect{99, 0, 1, 50}));
  EXPECT_EQ(CropRect("l500 t50", 100, 50), (Rect{99, 49, 1, 1}));
  EXPECT_EQ(CropRect("100%", 100, 50), (Rect{99, 0, 1, 50}));
}

TEST(CropRectTest, PercentTruncatesTowardZeroAndEmptyImagesStayEmpty) {
  EXPECT_EQ(CropRect("33% 33%", 10, 10), (Rect{3, 3, 7, 7}));
  EXPECT_EQ(CropRect("10 10 5 5", 0, 0), (Rect{0, 0, 0, 0}));
  EXPECT_EQ(CropRect("w2147483647 h2147483647", 100, 50), (Rect{0, 0, 100, 50}));
  EXPECT_EQ(CropRect("l2147483647 w2147483647", 100, 50), (Rect{99, 0, 1, 50}));
}

// --- resample ------------------------------------------------------------------------------

TEST(ResampleTest, DigitsFillWidthThenHeight) {
  CRvResample r;
  std::string text = "720 576 -u", error;
  int count = -1;
  ASSERT_TRUE(r.Parse(&text, &error, &count));
  EXPECT_EQ(r.Width(), (CRvSpecValue{720, false}));
  EXPECT_EQ(r.Height(), (CRvSpecValue{576, false}));
  EXPECT_EQ(text, "-u");
  EXPECT_EQ(count, 0);
  text = "h50% 200";
  ASSERT_TRUE(r.Parse(&text, &error, &count));
  EXPECT_EQ(r.Width(), (CRvSpecValue{200, false}));
  EXPECT_EQ(r.Height(), (CRvSpecValue{50, true}));
}

TEST(ResampleTest, NewSizeKeepsSidesNotGiven) {
  CRvResample r;
  std::string text = "50%", error;
  int count = 0;
  ASSERT_TRUE(r.Parse(&text, &error, &count));
  int w = 0, h = 0;
  r.GetNewSize(720, 576, &w, &h);
  EXPECT_EQ(w, 360);
  EXPECT_EQ(h, 576);
  text = "H33%";
  ASSERT_TRUE(r.Parse(&text, &error, &count));
  r.GetNewSize(720, 10, &w, &h);
  EXPECT_EQ(w, 720);
  EXPECT_EQ(h, 3);
}

TEST(ResampleTest, ErrorsResetBothValues) {
  Failure f = ParseFailure<CRvResample>("w100 w200");
  EXPECT_EQ(f.error, "Duplicate width parameter in scale command line");
  EXPECT_EQ(f.count, 5);
  f = ParseFailure<CRvResample>("h1 H2");
  EXPECT_EQ(f.error, "Duplicate height parameter in scale command line");
  f = ParseFailure<CRvResample>("1 2 3");
  EXPECT_EQ(f.error, "Too many parameter in scale command line");
  EXPECT_EQ(f.count, 4);
  f = ParseFailure<CRvResample>("1 z2");
  EXPECT_EQ(f.error, "Unknown specifier in scale command line: z");
  f = ParseFailure<CRvResample>("w%");
  EXPECT_EQ(f.error, "Missing parameter in resample command line");
  f = ParseFailure<CRvResample>("12x");
  EXPECT_EQ(f.error, "Number expected in scale parameters");
  f = ParseFailure<CRvResample>(" -c 5");
  EXPECT_EQ(f.error, "No scale parameters found");
  EXPECT_EQ(f.rest, "-c 5");

  CRvResample r;
  std::string text = "100 h50 x", error;
  int count = 0;
  ASSERT_FALSE(r.Parse(&text, &error, &count));
  EXPECT_FALSE(r.Width().IsGiven());
  EXPECT_FALSE(r.Height().IsGiven());
}

TEST(ResampleTest, FormatParsesBackToTheSameSides) {
  CRvResample r;
  r.SetHeight(288, false);
  EXPECT_EQ(r.Format(), "H288 ");
  CRvResample back;
  std::string text = r.Format(), error;
  int count = 0;
  ASSERT_TRUE(back.Parse(&text, &error, &count));
  EXPECT_EQ(back, r);
  EXPECT_FALSE(back.Width().IsGiven());

  r.SetWidth(50, true);
  EXPECT_EQ(r.Format(), "50% 288 ");
  text = r.Format();
  ASSERT_TRUE(back.Parse(&text, &error, &count));
  EXPECT_EQ(back, r);
  EXPECT_EQ(CRvResample().Format(), "");
}
