// Typed ini access over the profile store: reads never fail (they fall back to the default),
// numbers are written in fixed forms ("%i", "%f") that every reader of the file understands.
#include <array>
#include <charconv>
#include <climits>
#include <cstdio>

#include "support/NesCommon55.h"
#include "support/NesProfile.h"

namespace {

std::string FormatInt(long value) { return std::to_string(value); }

// "%f": six decimals, "." as decimal point whatever the locale.
std::string FormatDouble(double value) {
  std::array<char, 400> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::fixed, 6);
  if (result.ec != std::errc()) return "0.000000";
  return std::string(buffer.data(), result.ptr);
}

}  // namespace

std::string strReadFromIniFile(const std::string& file, const std::string& section,
                               const std::string& key, const std::string& defaultText) {
  std::string value;
  if (bNesGetProfileString(file, section, key, &value)) return value;
  std::string fallback = defaultText;
  if (fallback.size() > kNesProfileMaxValue) fallback.resize(kNesProfileMaxValue);
  return fallback;
}

int iReadFromIniFile(const std::string& file, const std::string& section, const std::string& key,
                     int defaultValue) {
  const std::string text = strReadFromIniFile(file, section, key, FormatInt(defaultValue));
  long value = 0;
  if (!bString2Long(text, &value, nullptr, 10)) return defaultValue;
  // A number beyond the int range reads as the nearest int rather than wrapping around.
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

bool bReadFromIniFile(const std::string& file, const std::string& section, const std::string& key,
                      bool defaultValue) {
  return iReadFromIniFile(file, section, key, defaultValue ? 1 : 0) != 0;
}

double dReadFromIniFile(const std::string& file, const std::string& section, const std::string& key,
                        double defaultValue) {
  const std::string text = strReadFromIniFile(file, section, key, FormatDouble(defaultValue));
  double value = 0.0;
  if (!bString2Double(text, &value, nullptr)) return defaultValue;
  return value;
}

bool bWriteToIniFile(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value) {
  return bNesWriteProfileString(file, section, key, value);
}

bool bWriteToIniFile(const std::string& file, const std::string& section, const std::string& key,
                     const char* value) {
  return bNesWriteProfileString(file, section, key, value ? std::string(value) : std::string());
}

bool bWriteToIniFile(const std::string& file, const std::string& section, const std::string& key,
                     int value) {
  return bNesWriteProfileString(file, section, key, FormatInt(value));
}

bool bWriteToIniFile(const std::string& file, const std::string& section, const std::string& key,
                     bool value) {
  return bNesWriteProfileString(file, section, key, FormatInt(value ? 1 : 0));
}

bool bWriteToIniFile(const std::string& file, const std::string& section, const std::string& key,
                     double value) {
  return bNesWriteProfileString(file, section, key, FormatDouble(value));
}
