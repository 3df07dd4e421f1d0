#include "app/CommandLine.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "imageops/RvCrop.h"
#include "imageops/RvResample.h"
#include "support/NesCommon55.h"

namespace {

constexpr const char* kInOutExpected = "Error in command line: in/out points or options expected";
constexpr const char* kUnknownParameters = "Unknown command line parameters";
constexpr const char* kGeneralError = "General Error";
constexpr const char* kParentPrefix = "../";
constexpr const char* kCurrentPrefix = "./";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int ClampToInt(long value) {
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// Error positions are offsets into the displayed text. The remaining text is always a trimmed
// tail of it, so the offset is measured from the displayed text's last non-blank character.
class ErrorPositions {
 public:
  explicit ErrorPositions(const std::string& displayed) : m_displayed(displayed) {
    m_end = displayed.size();
    while (m_end > 0 && IsBlank(displayed[m_end - 1])) --m_end;
  }
  int Of(const std::string& remaining) const {
    const std::size_t rest = std::min(remaining.size(), m_end);
    return static_cast<int>(m_end - rest);
  }
  const std::string& Displayed() const { return m_displayed; }

 private:
  std::string m_displayed;
  std::size_t m_end = 0;
};

// A sink that drops reports, for callers that pass none.
class SilentSink : public CRvCmdLineErrorSink {
 public:
  void ReportCmdLineError(const std::string&, const std::string&, int) override {}
};

// "IN", "IN-OUT", "-OUT" parts: an empty part keeps its value, any other stores the number at
// its start (0 when there is none).
void ParseInOut(std::string token, CRvCommandLineRequest* request) {
  std::string part;
  long value = 0;
  if (ExtractToken(&token, '-', &part)) {
    bString2Long(part, &value, nullptr, 10);
    request->inFrame = ClampToInt(value);
  }
  if (ExtractToken(&token, '-', &part)) {
    value = 0;
    bString2Long(part, &value, nullptr, 10);
    request->outFrame = ClampToInt(value);
  }
}

std::string CurrentDirectory() {
  std::error_code ec;
  const std::filesystem::path cwd = std::filesystem::current_path(ec);
  return ec ? std::string() : cwd.string();
}

}  // namespace

bool ExtractToken(std::string* source, char separator, std::string* token) {
  for (;;) {
    std::size_t split = std::string::npos;
    const std::size_t open = source->find('"');
    if (open != std::string::npos) {
      const std::size_t close = source->find('"', open + 1);
      if (close != std::string::npos) split = source->find(separator, close + 1);
    } else {
      split = source->find(separator);
    }
    if (split == std::string::npos) {
      *token = *source;
      source->clear();
      return !token->empty();
    }
    *token = source->substr(0, split);
    source->erase(0, split + 1);
    if (!token->empty()) return true;
  }
}

void StripQuotes(std::string* text) {
  TruncateWhiteSpace(text);
  if (!text->empty() && text->front() == '"') text->erase(0, 1);
  if (!text->empty() && text->back() == '"') text->pop_back();
}

std::string ExpandPercentVariables(const std::string& text) {
  std::string result = text;
  std::size_t from = 0;
  for (;;) {
    const std::size_t open = result.find('%', from);
    if (open == std::string::npos) return result;
    const std::size_t close = result.find('%', open + 1);
    std::string value;
    std::size_t after = open + 1;  // a lone "%" is dropped
    if (close != std::string::npos) {
      const std::string name = result.substr(open + 1, close - open - 1);
      const char* env = name.empty() ? nullptr : std::getenv(name.c_str());
      value = env ? env : "";
      after = close + 1;
    }
    result = result.substr(0, open) + value + result.substr(after);
    from = open + value.size();  // never rescan what was inserted
  }
}

std::string MakeAbsolutePath(const std::string& path, const std::string& baseDirectory) {
  std::string drive, directory, name, extension;
  SplitPath(path, &drive, &directory, &name, &extension);
  const bool rooted = !directory.empty() && directory.front() == kNesPathSeparator;
  const bool network =
      path.rfind(kNesNetworkPrefix, 0) == 0 || path.rfind(kNesNetworkPrefixWindows, 0) == 0;
  if (!drive.empty() || rooted || network) return path;

  int levels = 0;
  while (directory.size() >= 3 && directory.rfind(kParentPrefix, 0) == 0) {
    directory.erase(0, 3);
    ++levels;
  }
  while (directory.rfind(kCurrentPrefix, 0) == 0) directory.erase(0, 2);

  std::string base = baseDirectory;
  if (base.empty() || base.back() != kNesPathSeparator) base += kNesPathSeparator;
  for (int i = 0; i < levels && base != kNesPathSeparatorText; ++i) {
    base = strNesGetPrevDirectory(base);
    if (base.empty()) base = kNesPathSeparatorText;  // the root has no parent
  }
  return strCombinePath(drive, base + directory, name, extension);
}

std::string BuildCommandLine(int argc, const char* const* argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i] ? argv[i] : "";
    if (i > 0) line += ' ';
    const bool quote = i == 0 || arg.empty() || arg.find_first_of(" \"") != std::string::npos;
    line += quote ? "\"" + arg + "\"" : arg;
  }
  return line;
}

bool ParseCommandLine(std::string commandLine, CRvCommandLineRequest* request, CRvCrop* crop,
                      CRvResample* resample, CRvCmdLineErrorSink* errors,
                      const std::string& baseDirectory) {
  SilentSink silent;
  if (!errors) errors = &silent;
  if (commandLine.empty()) return false;

  std::string token;
  ExtractToken(&commandLine, ' ', &token);  // the program itself
  TruncateWhiteSpace(&commandLine);
  if (!ExtractToken(&commandLine, ' ', &token)) return false;
  StripQuotes(&token);

  const ErrorPositions positions(commandLine);
  bool errorShown = false;
  const auto report = [&](const std::string& message, int position) {
    errors->ReportCmdLineError(message, positions.Displayed(), position);
    errorShown = true;
  };

  const std::string base = baseDirectory.empty() ? CurrentDirectory() : baseDirectory;
  std::string sequencePath = ExpandPercentVariables(MakeAbsolutePath(token, base));

  std::string rest = Lower(commandLine);
  TruncateWhiteSpace(&rest);

  if (!rest.empty()) {
    if (rest.front() != '-') {
      const int position = positions.Of(rest);
      if (!ExtractToken(&rest, ' ', &token)) {
        report(kInOutExpected, position);
      } else if (IsDigit(token.front())) {
        ParseInOut(token, request);
      }
      TruncateWhiteSpace(&rest);
    }

    while (rest.size() > 1 && rest.front() == '-') {
      const char option = rest[1];
      if (option == 'c' || option == 'r') {
        rest.erase(0, 2);
        const int start = positions.Of(rest);
        std::string errorText = kGeneralError;
        int count = 0;
        const bool ok = option == 'c' ? (crop && crop->Parse(&rest, &errorText, &count))
                                      : (resample && resample->Parse(&rest, &errorText, &count));
        if (ok) {
          (option == 'c' ? request->cropGiven : request->resampleGiven) = true;
        } else {
          report(errorText, start + count);
        }
      } else if (option == 'u') {
        rest.erase(0, 2);
        request->uFlag = true;
      } else {
        rest.erase(0, 1);  // leaves the unknown letter, which ends the loop
      }
      TruncateWhiteSpace(&rest);
    }

    if (!errorShown && !rest.empty()) report(kUnknownParameters, positions.Of(rest));
  }

  request->sequencePath = sequencePath;
  return true;
}
