#include "imageops/RvCrop.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "support/NesCommon55.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// One axis of the crop: margins lo (left/top) and hi (right/bottom), length len (width/height).
void CropAxis(int size, const CRvSpecValue& lo, const CRvSpecValue& hi, const CRvSpecValue& len,
              int* start, int* length) {
  const std::int64_t s = std::max(size, 0);
  std::int64_t begin = 0;
  std::int64_t extent = s;
  if (lo.IsGiven()) {
    begin = std::min<std::int64_t>(lo.Pixels(size), s);
    if (len.IsGiven())
      extent = std::min<std::int64_t>(len.Pixels(size), s - begin);
    else if (hi.IsGiven())
      extent = s - std::min<std::int64_t>(hi.Pixels(size), s) - begin;
    else
      extent = s - begin;
  } else if (hi.IsGiven()) {
    const std::int64_t right = std::min<std::int64_t>(hi.Pixels(size), s);
    extent = len.IsGiven() ? std::min<std::int64_t>(len.Pixels(size), s - right) : s - right;
    begin = s - right - extent;
  } else if (len.IsGiven()) {
    extent = std::min<std::int64_t>(len.Pixels(size), s);
    begin = (s - extent) / 2;
  }
  // Margins that overlap leave nothing rather than a negative size.
  extent = std::max<std::int64_t>(extent, 0);
  // A margin reaching the far edge keeps the last column (row) instead of an empty picture.
  if (s > 0 && begin == s) {
    begin = s - 1;
    extent = 1;
  }
  *start = static_cast<int>(begin);
  *length = static_cast<int>(extent);
}

}  // namespace

int CRvSpecValue::Pixels(int size) const {
  if (!IsGiven()) return 0;
  if (!percent) return value;
  const double pixels = static_cast<double>(value) * static_cast<double>(size) * 0.01;
  if (pixels >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(pixels);  // truncates toward zero
}

std::string CRvSpecValue::Text() const { return std::to_string(value) + (percent ? "%" : ""); }

void CRvSpecTokenizer::SkipBlanks() {
  std::size_t n = 0;
  while (n < m_text->size() && IsBlank((*m_text)[n])) ++n;
  m_text->erase(0, n);
}

int CRvSpecTokenizer::Position() const { return static_cast<int>(m_length - m_text->size()); }

bool CRvSpecTokenizer::Next(std::string* token, int* position) {
  SkipBlanks();
  if (m_text->empty() || m_text->front() == '-') return false;
  *position = Position();
  std::size_t end = 0;
  while (end < m_text->size() && !IsBlank((*m_text)[end])) ++end;
  token->assign(*m_text, 0, end);
  for (char& c : *token)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  m_text->erase(0, end);
  SkipBlanks();  // what is left starts at the next token or option
  return true;
}

RvSpecNumberError RvParseSpecNumber(const std::string& text, CRvSpecValue* result) {
  std::string digits = text;
  const bool percent = !digits.empty() && digits.back() == '%';
  if (percent) digits.pop_back();
  if (digits.empty()) return RvSpecNumberError::Missing;
  // Only plain decimal digits: no sign, no blanks, nothing beyond the int range.
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return RvSpecNumberError::NotANumber;
  long value = 0;
  if (!bString2Long(digits, &value, nullptr, 10) || value < 0 || value > INT_MAX)
    return RvSpecNumberError::NotANumber;
  result->value = static_cast<int>(value);
  result->percent = percent;
  return RvSpecNumberError::None;
}

void CRvCrop::Set(Edge edge, int value, bool percent) {
  m_values[edge].value = value < 0 ? -1 : value;
  m_values[edge].percent = value < 0 ? false : percent;
}

void CRvCrop::Clear() {
  for (CRvSpecValue& v : m_values) v = CRvSpecValue();
}

bool CRvCrop::IsEmpty() const {
  return std::none_of(std::begin(m_values), std::end(m_values),
                      [](const CRvSpecValue& v) { return v.IsGiven(); });
}

bool CRvCrop::Parse(std::string* text, std::string* errorText, int* count) {
  Clear();
  const auto fail = [&](const std::string& message, int position) {
    if (errorText) *errorText = message;
    if (count) *count = position;
    return false;
  };
  static constexpr Edge kPositional[] = {kLeft, kTop, kWidth, kHeight};
  CRvSpecTokenizer tokens(text);
  std::string token;
  int position = 0;
  int positionalCount = 0;
  bool letteredSeen = false;
  bool accepted = false;
  while (tokens.Next(&token, &position)) {
    const bool positional = token.front() >= '0' && token.front() <= '9';
    Edge edge = kLeft;
    std::string number = token;
    if (positional) {
      if (letteredSeen)
        return fail("Use specifier T L R B W H on number in crop parameter", position);
      if (positionalCount == 4) return fail("Too many parameters in crop", position);
      edge = kPositional[positionalCount];
    } else {
      static constexpr const char* kLetters = "ltrbwh";
      const char* found = std::char_traits<char>::find(kLetters, 6, token.front());
      if (!found)
        return fail(std::string("Unknown specifier in crop command line: ") + token.front(),
                    position);
      edge = static_cast<Edge>(found - kLetters);
      number.erase(0, 1);
    }
    CRvSpecValue value;
    switch (RvParseSpecNumber(number, &value)) {
      case RvSpecNumberError::Missing:
        return fail("Missing parameter in crop command line", position);
      case RvSpecNumberError::NotANumber:
        return fail("Number expected in crop parameter", position);
      case RvSpecNumberError::None:
        break;
    }
    m_values[edge] = value;
    if (positional)
      ++positionalCount;
    else
      letteredSeen = true;
    accepted = true;
  }
  if (!accepted) return fail("No crop parameters found", tokens.Position());
  if (count) *count = 0;
  return true;
}

std::string CRvCrop::Format() const {
  const CRvSpecValue& l = m_values[kLeft];
  const CRvSpecValue& t = m_values[kTop];
  const CRvSpecValue& w = m_values[kWidth];
  const CRvSpecValue& h = m_values[kHeight];
  std::string out;
  const auto item = [&out](const CRvSpecValue& v, bool bare, char letter) {
    if (!v.IsGiven()) return;
    if (!bare) out += letter;
    out += v.Text() + " ";
  };
  // Leading values stay positional only while every earlier one is given, so the text parses
  // back to the same edges.
  item(l, true, 'L');
  item(t, l.IsGiven(), 'T');
  item(w, l.IsGiven() && t.IsGiven(), 'W');
  item(h, l.IsGiven() && t.IsGiven() && w.IsGiven(), 'H');
  item(m_values[kRight], false, 'R');
  item(m_values[kBottom], false, 'B');
  return out;
}

void CRvCrop::GetCropRect(int width, int height, int* left, int* top, int* cropWidth,
                          int* cropHeight) const {
  int x = 0, y = 0, w = 0, h = 0;
  CropAxis(width, m_values[kLeft], m_values[kRight], m_values[kWidth], &x, &w);
  CropAxis(height, m_values[kTop], m_values[kBottom], m_values[kHeight], &y, &h);
  if (left) *left = x;
  if (top) *top = y;
  if (cropWidth) *cropWidth = w;
  if (cropHeight) *cropHeight = h;
}
