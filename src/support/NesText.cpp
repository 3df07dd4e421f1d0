// Text and number helpers. Number conversions use the "C" locale whatever the process locale
// is (Qt sets the user's locale at start-up), so settings files read the same everywhere.
#include <locale.h>

#include <cstdlib>
#include <cstring>

#include "support/NesCommon55.h"

namespace {

locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

void TruncateWhiteSpace(std::string* text) {
  if (!text) return;
  const std::size_t first = text->find_first_not_of(" \t");
  if (first == std::string::npos) {
    text->clear();
    return;
  }
  const std::size_t last = text->find_last_not_of(" \t");
  *text = text->substr(first, last - first + 1);
}

bool bCmpNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool bGetNextToken(std::string* source, const std::string& separators, std::string* token) {
  if (!source || !token || source->empty()) return false;
  for (;;) {
    const std::size_t sep = source->find_first_of(separators);
    if (sep == std::string::npos) {
      *token = *source;
      source->clear();
      return true;
    }
    *token = source->substr(0, sep);
    source->erase(0, sep + 1);
    if (!token->empty()) return true;
    if (source->empty()) return true;  // only separators: an empty token, source used up
  }
}

bool bString2Long(std::string text, long* value, int* consumed, int radix) {
  if (text.empty() || !value) return false;
  *value = 0;
  if (radix != 0 && (radix < 2 || radix > 36)) {
    if (consumed) *consumed = 0;
    return false;
  }
  const char* begin = text.c_str();
  char* end = nullptr;
  const long result = std::strtol(begin, &end, radix);
  *value = result;
  const std::size_t used = static_cast<std::size_t>(end - begin);
  if (consumed) *consumed = static_cast<int>(used);
  return used == text.size();
}

bool bString2Double(std::string text, double* value, int* consumed) {
  if (text.empty() || !value) return false;
  *value = 0.0;
  const char* begin = text.c_str();
  char* end = nullptr;
  const double result = strtod_l(begin, &end, CLocale());
  *value = result;
  const std::size_t used = static_cast<std::size_t>(end - begin);
  if (consumed) *consumed = static_cast<int>(used);
  return used == text.size();
}

std::string strLong2String(long value, unsigned width) {
  std::string digits = std::to_string(value);
  if (digits.size() < width) digits.insert(0, width - digits.size(), ' ');
  return digits;
}
