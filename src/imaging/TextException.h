#pragma once

#include <exception>
#include <string>

// Error codes carried by CTextException.
enum ImageErrorCode : int {
  kErrWrongSignature = 1,  // not this format
  kErrFormat = 2,          // malformed or unsupported content, plug-in failure
  kErrPathNotFound = 3,    // the folder of the file does not exist
  kErrCannotOpen = 4,      // any other failure to open
  kErrAccess = 5,          // access denied, mapping or read failure
  kErrUnsupported = 6,     // unsupported variant of a known format
  kErrCorrupt = 7,         // inconsistent data
  kErrUnknownType = 8,     // no decoder recognises the file
  kErrNoMemory = 10,       // allocation failure
  kErrEndOfFile = 11,      // data ended before the image was complete
};

// The one exception type of the decoding framework: a code and a message text.
class CTextException : public std::exception {
 public:
  CTextException(int code, std::string text) : m_code(code), m_text(std::move(text)) {}

  int GetCode() const noexcept { return m_code; }
  const std::string& GetText() const noexcept { return m_text; }
  const char* what() const noexcept override { return m_text.c_str(); }

 private:
  int m_code;
  std::string m_text;
};
