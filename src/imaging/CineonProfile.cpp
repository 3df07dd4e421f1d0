#include "imaging/CineonProfile.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <vector>

#include "support/NesCommon55.h"

namespace {

// Sentinels that no stored value equals, so a missing or unusable key is told from a real 0.
constexpr int kMissingInt = std::numeric_limits<int>::min();

double ReadGamma(const std::string& file, const char* key, double fallback) {
  const double value = dReadFromIniFile(file, kCineonSection, key, fallback);
  return std::isfinite(value) && value >= 0.0 ? value : fallback;
}

std::uint32_t ReadCode(const std::string& file, const char* key, std::uint32_t fallback) {
  const int value = iReadFromIniFile(file, kCineonSection, key, kMissingInt);
  return value >= 0 ? std::uint32_t(value) : fallback;
}

bool EqualNoCase(const std::string& a, const char* b) { return bCmpNoCase(a, b); }

// Tokens of a ".lut" line: runs of blank, tab, "#" and ":" separate them.
std::vector<std::string> LutTokens(const std::string& line) {
  static const std::string kSeparators = " \t#:";
  std::vector<std::string> tokens;
  std::size_t pos = 0;
  while (true) {
    pos = line.find_first_not_of(kSeparators, pos);
    if (pos == std::string::npos) break;
    const std::size_t end = line.find_first_of(kSeparators, pos);
    tokens.push_back(line.substr(pos, end == std::string::npos ? end : end - pos));
    if (end == std::string::npos) break;
    pos = end;
  }
  return tokens;
}

// A decimal integer that a code value can hold: digits only, whole token.
bool ParseCode(const std::string& token, std::uint32_t* value) {
  if (token.empty() || token.size() > 10) return false;
  std::uint64_t v = 0;
  for (char c : token) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + std::uint64_t(c - '0');
  }
  if (v > std::numeric_limits<std::uint32_t>::max()) return false;
  *value = std::uint32_t(v);
  return true;
}

// A decimal number, whole token, finite.
bool ParseNumber(const std::string& token, double* value) {
  if (token.empty()) return false;
  const char* begin = token.c_str();
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(begin, &end);
  if (end != begin + token.size() || errno == ERANGE || !std::isfinite(v)) return false;
  // strtod also takes hexadecimal and "inf"/"nan" spellings; a profile holds plain decimals.
  for (char c : token) {
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) {
      return false;
    }
  }
  *value = v;
  return true;
}

// Applies one trimmed line; false when it holds a number that does not parse.
bool ApplyLutLine(const std::string& line, CineonValues* values) {
  const std::vector<std::string> t = LutTokens(line);
  if (t.size() < 3 || !EqualNoCase(t[0], "RGB")) return true;
  if (EqualNoCase(t[1], "Reference")) {
    if (t.size() < 4) return true;
    std::uint32_t* target = EqualNoCase(t[2], "White")   ? &values->referenceWhite
                            : EqualNoCase(t[2], "Black") ? &values->referenceBlack
                                                         : nullptr;
    return target == nullptr || ParseCode(t[3], target);
  }
  if (EqualNoCase(t[1], "Softclip")) return ParseCode(t[2], &values->softClip);
  if (t.size() < 4) return true;
  if (EqualNoCase(t[1], "Film") && EqualNoCase(t[2], "Gamma")) {
    return ParseNumber(t[3], &values->gammaLog);
  }
  if (EqualNoCase(t[1], "Gamma") && EqualNoCase(t[2], "Correction")) {
    return ParseNumber(t[3], &values->gammaDisplay);
  }
  return true;
}

std::string LowerExtension(const std::string& path) {
  std::string drive, directory, name, extension;
  SplitPath(path, &drive, &directory, &name, &extension);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  return extension;
}

}  // namespace

CineonValues ReadCineonValues(const std::string& iniFile) {
  const CineonValues d = kCineonStoredDefaults;
  CineonValues v;
  v.gammaDisplay = ReadGamma(iniFile, kCineonKeyGammaDisplay, d.gammaDisplay);
  v.gammaLog = ReadGamma(iniFile, kCineonKeyGammaLog, d.gammaLog);
  v.referenceBlack = ReadCode(iniFile, kCineonKeyReferenceBlack, d.referenceBlack);
  v.referenceWhite = ReadCode(iniFile, kCineonKeyReferenceWhite, d.referenceWhite);
  v.softClip = ReadCode(iniFile, kCineonKeySoftClip, d.softClip);
  return v;
}

bool bWriteCineonValues(const std::string& iniFile, const CineonValues& values) {
  // Codes above INT_MAX cannot come back through the integer reader; refuse to write them.
  constexpr std::uint32_t kIntMax = std::numeric_limits<int>::max();
  if (values.referenceBlack > kIntMax || values.referenceWhite > kIntMax ||
      values.softClip > kIntMax) {
    return false;
  }
  return bWriteToIniFile(iniFile, kCineonSection, kCineonKeyGammaDisplay, values.gammaDisplay) &&
         bWriteToIniFile(iniFile, kCineonSection, kCineonKeyGammaLog, values.gammaLog) &&
         bWriteToIniFile(iniFile, kCineonSection, kCineonKeyReferenceBlack,
                         int(values.referenceBlack)) &&
         bWriteToIniFile(iniFile, kCineonSection, kCineonKeyReferenceWhite,
                         int(values.referenceWhite)) &&
         bWriteToIniFile(iniFile, kCineonSection, kCineonKeySoftClip, int(values.softClip));
}

bool bReadFlameCineonProfile(const std::string& file, CineonValues* values,
                             std::string* errorText) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    if (errorText) *errorText = "Cannot open the profile " + file + ".";
    return false;
  }
  CineonValues read = *values;
  std::string line;
  while (std::getline(in, line)) {
    // Carriage returns of "\r\n" files count as white space too.
    for (char& c : line) {
      if (c == '\r') c = ' ';
    }
    TruncateWhiteSpace(&line);
    if (line.empty()) continue;
    if (!ApplyLutLine(line, &read)) {
      if (errorText) *errorText = kCineonMalformedProfileText;
      return false;
    }
  }
  if (in.bad()) {
    if (errorText) *errorText = "Cannot read the profile " + file + ".";
    return false;
  }
  *values = read;
  return true;
}

CineonProfileKind GetCineonProfileKind(const std::string& path) {
  const std::string extension = LowerExtension(path);
  if (extension == ".rvcp") return CineonProfileKind::kReelvane;
  if (extension == ".lut") return CineonProfileKind::kFlame;
  if (extension == ".grd") return CineonProfileKind::kNuke;
  return CineonProfileKind::kUnknown;
}

CineonLoadResult LoadCineonProfile(const std::string& path, CineonValues* values,
                                   std::string* errorText) {
  switch (GetCineonProfileKind(path)) {
    case CineonProfileKind::kReelvane:
      *values = ReadCineonValues(path);
      return CineonLoadResult::kLoaded;
    case CineonProfileKind::kFlame: {
      std::string detail;
      if (!bReadFlameCineonProfile(path, values, &detail)) {
        if (errorText) *errorText = detail;
        return CineonLoadResult::kMalformed;
      }
      return CineonLoadResult::kLoaded;
    }
    case CineonProfileKind::kNuke:
      return CineonLoadResult::kNotRead;
    case CineonProfileKind::kUnknown:
      break;
  }
  if (errorText) *errorText = kCineonUnknownFormatText;
  return CineonLoadResult::kUnknownExtension;
}
