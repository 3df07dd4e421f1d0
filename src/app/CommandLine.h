// The program's command line: one string, program path first, as the system hands it over
// (on this platform rebuilt from argv by BuildCommandLine). Plain functions, no widgets, so
// the grammar can be tested without a window.
//
//   reelvane FRAME [IN[-OUT]] [-c CROP] [-r RESAMPLE] [-u]
#pragma once

#include <string>

class CRvCrop;
class CRvResample;

// Receives the grammar errors; the program shows them in CRvCmdLineErrorDlg.
class CRvCmdLineErrorSink {
 public:
  virtual ~CRvCmdLineErrorSink() = default;
  // message: what went wrong; displayedText: the command line after the frame path, as typed;
  // errorPosition: offset in displayedText from which the offending part runs to the end.
  virtual void ReportCmdLineError(const std::string& message, const std::string& displayedText,
                                  int errorPosition) = 0;
};

// Everything a command line can ask for. Frame numbers are as in the file names; 0 (in) and
// -1 (out) mean "none".
struct CRvCommandLineRequest {
  std::string sequencePath;
  int inFrame = 0;
  int outFrame = -1;
  bool cropGiven = false;
  bool resampleGiven = false;
  bool uFlag = false;
};

// Parses the command line. crop and resample are filled when their options are given (the
// crop and resample panels' objects). Returns false when no file is named; true otherwise,
// also after reporting errors: whatever was parsed before an error stays in *request.
// baseDirectory is the folder a relative frame path is resolved against (the current one when
// empty).
bool ParseCommandLine(std::string commandLine, CRvCommandLineRequest* request, CRvCrop* crop,
                      CRvResample* resample, CRvCmdLineErrorSink* errors,
                      const std::string& baseDirectory = std::string());

// Takes the next token off the front of *source, up to separator; a double-quoted stretch
// protects separators up to its closing quote. Empty tokens are skipped. False when no
// non-empty token is left.
bool ExtractToken(std::string* source, char separator, std::string* token);

// Trims blanks and drops one leading and then one trailing double quote.
void StripQuotes(std::string* text);

// Replaces every %NAME% by the environment variable NAME (empty when unset); a lone "%" is
// dropped. Inserted values are not scanned again, so a value naming itself cannot loop.
std::string ExpandPercentVariables(const std::string& text);

// Resolves a relative path against baseDirectory (leading "../" parts climb, never above the
// root; leading "./" parts are dropped). Rooted and network paths come back unchanged.
std::string MakeAbsolutePath(const std::string& path, const std::string& baseDirectory);

// The command line as one string: arguments joined by one blank, each argument that is empty
// or holds a blank or a double quote wrapped in double quotes. The program path is always
// quoted, so that its token ends at its own closing quote even when a later argument is quoted.
std::string BuildCommandLine(int argc, const char* const* argv);
