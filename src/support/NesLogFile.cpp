#include "support/NesLogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <vector>

namespace {

constexpr const char* kOldSuffix = ".old";

std::string FormatV(const char* format, va_list args) {
  if (!format) return std::string();
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return std::string();
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::string Timestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  const std::size_t n = std::strftime(text, sizeof text, "%Y.%m.%d %H:%M:%S [", &local);
  return std::string(text, n);
}

}  // namespace

CNesLogFile::CNesLogFile(const std::string& fileName, std::uint32_t sizeLimitKiB)
    : m_sizeLimitKiB(sizeLimitKiB), m_fileName(fileName) {}

CNesLogFile::~CNesLogFile() { Close(); }

bool CNesLogFile::bOpen(bool reset, std::uint32_t* error) {
  std::lock_guard lock(m_mutex);
  return OpenLocked(reset, error);
}

void CNesLogFile::Close() {
  std::lock_guard lock(m_mutex);
  CloseLocked();
}

bool CNesLogFile::IsOpen() const {
  std::lock_guard lock(m_mutex);
  return m_open;
}

void CNesLogFile::AppendEntry(const std::string& tag, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string message = FormatV(format, args);
  va_end(args);
  std::lock_guard lock(m_mutex);
  AppendLocked(tag, message);
}

void CNesLogFile::ResetFile() {
  std::lock_guard lock(m_mutex);
  ResetLocked();
}

void CNesLogFile::WriteString(const std::string& text) {
  std::lock_guard lock(m_mutex);
  if (!m_open) return;
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(m_fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a full disk loses the rest of the line, never the earlier ones
    done += static_cast<std::size_t>(n);
  }
}

bool CNesLogFile::OpenLocked(bool reset, std::uint32_t* error) {
  if (m_open) return true;
  // O_APPEND: every line goes to the current end, also when another process writes too.
  m_fd = ::open(m_fileName.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (m_fd < 0) {
    if (error) *error = static_cast<std::uint32_t>(errno);
    return false;
  }
  m_open = true;
  if (reset) {
    ResetLocked();  // reopens and writes the opening entry itself
    return m_open;
  }
  WriteString("\n");
  AppendLocked("NesLog", "LogFile opened");
  return true;
}

void CNesLogFile::CloseLocked() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  m_open = false;
}

void CNesLogFile::AppendLocked(const std::string& tag, const std::string& message) {
  if (!m_open && !OpenLocked(false, nullptr)) return;
  WriteString(Timestamp() + tag + "] " + message + "\n");
  struct stat st {};
  if (m_open && ::fstat(m_fd, &st) == 0 &&
      static_cast<std::uint64_t>(st.st_size) / 1024 > m_sizeLimitKiB)
    ResetLocked();
}

void CNesLogFile::ResetLocked() {
  CloseLocked();
  const std::string oldName = m_fileName + kOldSuffix;
  std::error_code ec;
  std::filesystem::rename(m_fileName, oldName, ec);
  if (ec) {
    // A rename across devices or onto a busy name fails; copying still keeps the old lines.
    std::filesystem::copy_file(m_fileName, oldName,
                               std::filesystem::copy_options::overwrite_existing, ec);
    std::filesystem::remove(m_fileName, ec);
  }
  OpenLocked(false, nullptr);
}
