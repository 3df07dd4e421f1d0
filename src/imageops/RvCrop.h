// Crop specifier: up to six edge values parsed from and formatted to the short text form used
// on the command line and in the crop panel ("10 20 300 200", "l10 r10", "w50%").
#pragma once

#include <string>

// One optional value of a specifier: a pixel count or a percent of the image size.
struct CRvSpecValue {
  int value = -1;  // -1: not given
  bool percent = false;

  bool IsGiven() const { return value >= 0; }
  // The value in pixels for an image side of size pixels (percent truncated toward zero).
  int Pixels(int size) const;
  // "10", "50%".
  std::string Text() const;
  bool operator==(const CRvSpecValue&) const = default;
};

// Splits the next blank-separated token off the front of a specifier text. Reading stops at
// the end of the text or at a token beginning with "-" (the next command-line option).
class CRvSpecTokenizer {
 public:
  explicit CRvSpecTokenizer(std::string* text) : m_text(text), m_length(text->size()) {}
  // False at the end. *token is lower-cased; *position is its offset in the original text.
  bool Next(std::string* token, int* position);
  // Offset in the original text of what is still unread.
  int Position() const;

 private:
  void SkipBlanks();
  std::string* m_text;
  std::size_t m_length;
};

// Reads "<digits>[%]" into *result. Returns the error kind on failure.
enum class RvSpecNumberError { None, Missing, NotANumber };
RvSpecNumberError RvParseSpecNumber(const std::string& text, CRvSpecValue* result);

class CRvCrop {
 public:
  enum Edge { kLeft = 0, kTop, kRight, kBottom, kWidth, kHeight, kEdgeCount };

  // Takes a crop specifier off the front of *text (up to the end or the next "-" option). On
  // failure *errorText is set, *count is the offset of the failing token in the text as given,
  // the values accepted before that token are kept and the failing token has been taken off.
  // On success *count is 0. Any earlier values are cleared first.
  bool Parse(std::string* text, std::string* errorText, int* count);
  // The specifier as text; parsing it gives the same values. Empty when nothing is given.
  std::string Format() const;
  // The rectangle to keep from a width x height image. Never negative; a left (top) margin at
  // the image's far edge keeps its last column (row).
  void GetCropRect(int width, int height, int* left, int* top, int* cropWidth,
                   int* cropHeight) const;

  const CRvSpecValue& Get(Edge edge) const { return m_values[edge]; }
  void Set(Edge edge, int value, bool percent);
  void Clear();
  bool IsEmpty() const;

  const CRvSpecValue& Left() const { return m_values[kLeft]; }
  const CRvSpecValue& Top() const { return m_values[kTop]; }
  const CRvSpecValue& Right() const { return m_values[kRight]; }
  const CRvSpecValue& Bottom() const { return m_values[kBottom]; }
  const CRvSpecValue& Width() const { return m_values[kWidth]; }
  const CRvSpecValue& Height() const { return m_values[kHeight]; }

  bool operator==(const CRvCrop&) const = default;

 private:
  CRvSpecValue m_values[kEdgeCount];
};
