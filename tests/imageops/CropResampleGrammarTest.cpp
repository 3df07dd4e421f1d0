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

template <typename Spec>
Spec Parse(const std::string& spec) {
  Spec s;
  std::string text = spec, error;
  int count = -1;
  EXPECT_TRUE(s.Parse(&text, &error, &count)) << spec << ": " << error;
  EXPECT_EQ(count, 0);
  return s;
}

CRvCrop ParseCrop(const std::string& spec) { return Parse<CRvCrop>(spec); }

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

TEST(SpecifierErrorTest, CarriesItsTextAndTheFailingTokensOffset) {
  const char* const kLetters = "Use specifier T L R B W H on number in crop parameter";
  const char* const kMissing = "Missing parameter in crop command line";
  const char* const kNumber = "Number expected in crop parameter";
  const char* const kNone = "No crop parameters found";
  const struct {
    bool crop;  // the crop grammar, else the resample one
    const char* spec;
    const char* error;
    int count;         // offset of the failing token; -1: not checked
    const char* rest;  // what is left of the text; nullptr: not checked
  } cases[] = {
      {true, "t5 10", kLetters, 3, nullptr},
      {true, "1 2 3 4 5", "Too many parameters in crop", 8, nullptr},
      {true, " 1 2 x5 -r 5", "Unknown specifier in crop command line: x", 5, "-r 5"},
      {true, "10 t", kMissing, 3, nullptr},
      {true, "w+5", kNumber, -1, nullptr},
      {true, "w99999999999", kNumber, -1, nullptr},
      {true, "", kNone, 0, nullptr},
      {true, "   -r 50", kNone, 3, "-r 50"},
      {false, "w100 w200", "Duplicate width parameter in scale command line", 5, nullptr},
      {false, "h1 H2", "Duplicate height parameter in scale command line", -1, nullptr},
      {false, "1 2 3", "Too many parameter in scale command line", 4, nullptr},
      {false, "1 z2", "Unknown specifier in scale command line: z", -1, nullptr},
      {false, "w%", "Missing parameter in resample command line", -1, nullptr},
      {false, "12x", "Number expected in scale parameters", -1, nullptr},
      {false, " -c 5", "No scale parameters found", -1, "-c 5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.spec);
    const Failure f = c.crop ? ParseFailure<CRvCrop>(c.spec) : ParseFailure<CRvResample>(c.spec);
    EXPECT_EQ(f.error, c.error);
    if (c.count >= 0) {
      EXPECT_EQ(f.count, c.count);
    }
    if (c.rest) {
      EXPECT_EQ(f.rest, c.rest);  // the failing token is taken off, the next option stays
    }
  }
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
  const char* specs[] = {"10 20 h5 r3 b4%", "l5 w30%", "0 0 0 0", "l1 t2 r3 b4 w5 h6"};
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

TEST(CropRectTest, MarginsSizesAndPercentagesOnAnImage) {
  const struct {
    const char* spec;
    int width, height;
    Rect rect;
  } cases[] = {
      // Bare numbers are left, top, width and height; sizes are clipped to the image.
      {"10 20 300 200", 640, 480, {10, 20, 300, 200}},
      {"10 20 300 200", 100, 50, {10, 20, 90, 30}},
      {"w50%", 640, 480, {160, 0, 320, 480}},
      {"l10 r10", 100, 50, {10, 0, 80, 50}},
      {"t10 b10%", 100, 50, {0, 10, 100, 35}},
      {"r20 w500", 100, 50, {0, 0, 80, 50}},
      {"r20 w30", 100, 50, {50, 0, 30, 50}},
      {"r500", 100, 50, {0, 0, 0, 50}},
      {"w101 h7", 100, 50, {0, 21, 100, 7}},
      {"w33", 100, 50, {33, 0, 33, 50}},  // centred, rounded down
      // Overlapping margins leave nothing, never a negative size.
      {"l60 r60", 100, 50, {60, 0, 0, 50}},
      {"t40 b40", 100, 50, {0, 40, 100, 0}},
      // A margin reaching the far edge keeps the last column or row.
      {"l100", 100, 50, {99, 0, 1, 50}},
      {"l500 t50", 100, 50, {99, 49, 1, 1}},
      // Percentages truncate toward zero; empty images stay empty; no sum overflows.
      {"33% 33%", 10, 10, {3, 3, 7, 7}},
      {"10 10 5 5", 0, 0, {0, 0, 0, 0}},
      {"w2147483647 h2147483647", 100, 50, {0, 0, 100, 50}},
      {"l2147483647 w2147483647", 100, 50, {99, 0, 1, 50}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CropRect(c.spec, c.width, c.height), c.rect) << c.spec << " on " << c.width;
}

// --- resample ------------------------------------------------------------------------------

TEST(ResampleTest, DigitsFillWidthThenHeight) {
  const CRvResample both = Parse<CRvResample>("720 576");
  EXPECT_EQ(both.Width(), (CRvSpecValue{720, false}));
  EXPECT_EQ(both.Height(), (CRvSpecValue{576, false}));
  const CRvResample lettered = Parse<CRvResample>("h50% 200");
  EXPECT_EQ(lettered.Width(), (CRvSpecValue{200, false}));
  EXPECT_EQ(lettered.Height(), (CRvSpecValue{50, true}));
}

TEST(ResampleTest, NewSizeKeepsSidesNotGiven) {
  int w = 0, h = 0;
  Parse<CRvResample>("50%").GetNewSize(720, 576, &w, &h);
  EXPECT_EQ(w, 360);
  EXPECT_EQ(h, 576);
  Parse<CRvResample>("H33%").GetNewSize(720, 10, &w, &h);
  EXPECT_EQ(w, 720);
  EXPECT_EQ(h, 3);
}

TEST(ResampleTest, ErrorsResetBothValues) {
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
  EXPECT_EQ(Parse<CRvResample>(r.Format()), r);
  r.SetWidth(50, true);
  EXPECT_EQ(r.Format(), "50% 288 ");
  EXPECT_EQ(Parse<CRvResample>(r.Format()), r);
  EXPECT_EQ(CRvResample().Format(), "");
}
