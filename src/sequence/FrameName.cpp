#include "sequence/FrameName.h"

#include <cstring>
#include <vector>

#include "support/NesCommon55.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsSeparator(char c) { return c != '\0' && std::strchr(kRvSeparators, c) != nullptr; }

char FoldChar(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Moves the trailing digits of text to the front of digits.
void TakeTrailingDigits(std::string* text, std::string* digits) {
  std::size_t end = text->size();
  while (end > 0 && IsDigit((*text)[end - 1])) --end;
  digits->insert(0, *text, end, std::string::npos);
  text->erase(end);
}

// The digit run as a frame number. Leading zeros are ignored. A run too large for 32 bits
// saturates one below "none", so an absurd name can never pose as the "no frame" marker.
std::uint32_t DigitsToNumber(const std::string& digits) {
  std::uint64_t value = 0;
  for (char c : digits) {
    value = value * 10 + std::uint64_t(c - '0');
    if (value >= kRvNone) return kRvNone - 1;
  }
  return std::uint32_t(value);
}

class MaskMatcher {
 public:
  MaskMatcher(const std::string& name, const std::string& mask) : m_name(name), m_mask(mask) {}

  bool Match(std::size_t m, std::size_t n) {
    while (m < m_mask.size()) {
      const char c = m_mask[m];
      if (c == '*') {
        while (m < m_mask.size() && m_mask[m] == '*') ++m;
        if (m == m_mask.size()) return true;
        // "*.*" and a trailing ".*" also accept a rest without any dot.
        if (m_mask.compare(m, std::string::npos, ".*") == 0) return true;
        for (std::size_t start = n; start <= m_name.size(); ++start)
          if (MatchMemo(m, start)) return true;
        return false;
      }
      if (c == '?') {
        std::size_t run = 0;
        while (m < m_mask.size() && m_mask[m] == '?') ++m, ++run;
        for (; run > 0 && n < m_name.size() && m_name[n] != '.'; --run) ++n;
        continue;
      }
      if (c == '.' && n == m_name.size() && m_mask.compare(m, std::string::npos, ".*") == 0)
        return true;  // "name.*" matches a name without extension
      if (n >= m_name.size() || FoldChar(m_name[n]) != FoldChar(c)) return false;
      ++m, ++n;
    }
    return n == m_name.size();
  }

 private:
  // Each (mask, name) position pair is tried at most once, so several stars stay polynomial.
  bool MatchMemo(std::size_t m, std::size_t n) {
    const std::size_t width = m_name.size() + 1;
    if (m_failed.empty()) m_failed.assign((m_mask.size() + 1) * width, 0);
    char& failed = m_failed[m * width + n];
    if (failed) return false;
    if (Match(m, n)) return true;
    failed = 1;
    return false;
  }

  const std::string& m_name;
  const std::string& m_mask;
  std::vector<char> m_failed;
};

}  // namespace

void TrimSeparators(std::string* text) {
  while (!text->empty()) {
    if (IsSeparator(text->back()))
      text->pop_back();
    else if (IsSeparator(text->front()))
      text->erase(0, 1);
    else
      break;
  }
}

void ParseFrameName(const std::string& path, std::string* key, std::uint32_t* number) {
  std::string name;
  std::string ext;
  SplitPath(path, nullptr, nullptr, &name, &ext);
  const std::string plainName = name;
  const std::string plainExt = ext;
  std::string digits;
  bool numberInExtension = false;

  if (!ext.empty() && IsDigit(ext.back())) {
    numberInExtension = true;
    TakeTrailingDigits(&ext, &digits);
    TrimSeparators(&ext);
    if (ext.empty()) {
      const std::string whole = name;
      SplitPath(whole, nullptr, nullptr, &name, &ext);
    }
  } else if (!name.empty() && IsDigit(name.back())) {
    TakeTrailingDigits(&name, &digits);
  }

  if (digits.empty()) {
    *key = strCombinePath("", "", plainName, plainExt);
    *number = 0;
    return;
  }
  TrimSeparators(&ext);
  if (numberInExtension)
    *key = name + "." + ext + ".#";
  else
    *key = name + "#." + ext;
  *number = DigitsToNumber(digits);
}

bool RvKeysEqual(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldChar(a[i]) != FoldChar(b[i])) return false;
  return true;
}

std::string RvFoldKey(const std::string& key) {
  std::string folded = key;
  for (char& c : folded) c = FoldChar(c);
  return folded;
}

bool RvMatchMask(const std::string& name, const std::string& mask) {
  if (mask == "*" || mask == "*.*") return true;
  MaskMatcher matcher(name, mask);
  return matcher.Match(0, 0);
}
