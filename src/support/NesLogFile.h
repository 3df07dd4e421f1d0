// An append-only text log that rotates itself: once the file grows past its limit it is moved
// to the same name with ".old" appended and a fresh file is started, so one log never takes
// more than about twice its limit on disk.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "support/NesExport.h"

class NES_EXPORT CNesLogFile {
 public:
  // The file is not touched until bOpen or the first AppendEntry.
  CNesLogFile(const std::string& fileName, std::uint32_t sizeLimitKiB);
  virtual ~CNesLogFile();
  CNesLogFile(const CNesLogFile&) = delete;
  CNesLogFile& operator=(const CNesLogFile&) = delete;

  // Opens (creating when missing, keeping what is there) and writes an empty line and the
  // "LogFile opened" entry; reset rotates the existing content away first. On failure the
  // system's error number goes to *error when given.
  bool bOpen(bool reset, std::uint32_t* error = nullptr);
  void Close();
  bool IsOpen() const;

  // Appends "YYYY.MM.DD hh:mm:ss [tag] message" (message formatted as by printf). An entry
  // that cannot be written is dropped; the next entry tries to open the file again.
  virtual void AppendEntry(const std::string& tag, const char* format, ...)
      __attribute__((format(printf, 3, 4)));

  const std::string& FileName() const { return m_fileName; }
  std::uint32_t SizeLimitKiB() const { return m_sizeLimitKiB; }

 protected:
  // Moves the file to its ".old" name and opens a fresh one.
  virtual void ResetFile();
  // Writes the text as it stands; the descriptor is unbuffered, so it is on disk at once.
  virtual void WriteString(const std::string& text);

 private:
  bool OpenLocked(bool reset, std::uint32_t* error);
  void CloseLocked();
  void AppendLocked(const std::string& tag, const std::string& message);
  void ResetLocked();

  // Callers from several threads may share one log; the mutex keeps lines whole.
  mutable std::recursive_mutex m_mutex;
  int m_fd = -1;
  std::uint32_t m_sizeLimitKiB;
  std::string m_fileName;
  bool m_open = false;
};
