#include "support/NesProfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "support/NesCommon55.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  return bCmpNoCase(std::string(a), std::string(b));
}

// One line of the file without its line ending, and what kind of line it is.
struct ProfileLine {
  std::string text;
  std::string ending;  // "\n", "\r\n" or empty for a last line without one
};

std::vector<ProfileLine> SplitLines(const std::string& content) {
  std::vector<ProfileLine> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    const std::size_t nl = content.find('\n', start);
    ProfileLine line;
    if (nl == std::string::npos) {
      line.text = content.substr(start);
      start = content.size();
    } else {
      line.text = content.substr(start, nl - start);
      line.ending = "\n";
      start = nl + 1;
    }
    if (!line.text.empty() && line.text.back() == '\r') {
      line.text.pop_back();
      line.ending = "\r" + line.ending;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::string_view> SectionOf(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  line.remove_prefix(1);
  const std::size_t close = line.find(']');
  if (close != std::string_view::npos) line = line.substr(0, close);
  return Trim(line);
}

bool IsComment(std::string_view line) {
  line = Trim(line);
  return !line.empty() && (line.front() == ';' || line.front() == '#');
}

// Splits a "key=value" line; false for lines without "=" and for comments.
bool SplitKeyLine(std::string_view line, std::string_view* key, std::string_view* value) {
  if (IsComment(line)) return false;
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  *key = Trim(line.substr(0, eq));
  *value = Trim(line.substr(eq + 1));
  return true;
}

std::string Unquote(std::string_view value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value.remove_prefix(1);
    value.remove_suffix(1);
  }
  return std::string(value);
}

// The stored form of a value: quoted when reading it back would otherwise change it.
std::string StoredValue(const std::string& value) {
  const bool blankAtEnds = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
  const bool looksQuoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
  if (blankAtEnds || looksQuoted) return "\"" + value + "\"";
  return value;
}

bool ReadWholeFile(const std::string& path, std::string* content, bool* exists) {
  *exists = false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  *exists = true;
  content->clear();
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    content->append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Holds an exclusive advisory lock on a folder for the lifetime of the object. The lock is on
// the folder rather than the file because the file is replaced by every write.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder) {
    m_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) return;
    while (::flock(m_fd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(m_fd);
        m_fd = -1;
        return;
      }
    }
  }
  ~FolderLock() {
    if (m_fd >= 0) ::close(m_fd);  // closing releases the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  bool Locked() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
};

// Follows a symbolic link to the file it names, so a write replaces the target, not the link.
std::string ResolveTarget(const std::string& file) {
  char resolved[PATH_MAX];
  if (::realpath(file.c_str(), resolved)) return resolved;
  return file;
}

std::string FolderOf(const std::string& file) {
  const std::size_t sep = file.rfind(kNesPathSeparator);
  if (sep == std::string::npos) return ".";
  if (sep == 0) return kNesPathSeparatorText;
  return file.substr(0, sep);
}

bool ValidNames(const std::string& section, const std::string& key, const std::string& value) {
  const auto hasBreak = [](const std::string& s) {
    return s.find_first_of("\r\n") != std::string::npos;
  };
  if (Trim(section).empty() || Trim(key).empty()) return false;
  if (hasBreak(section) || hasBreak(key) || hasBreak(value)) return false;
  if (section.find(']') != std::string::npos) return false;
  const std::string_view trimmedKey = Trim(key);
  if (key.find('=') != std::string::npos || trimmedKey.front() == '[' ||
      trimmedKey.front() == ';' || trimmedKey.front() == '#')
    return false;
  return true;
}

std::string Join(const std::vector<ProfileLine>& lines, const std::string& newline) {
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    out += lines[i].text;
    // A last line without a line feed (nothing or a lone carriage return) gets a whole line
    // ending when something now follows it; otherwise the next line would join it.
    const bool lineFeed = lines[i].ending.find('\n') != std::string::npos;
    out += (!lineFeed && i + 1 < lines.size()) ? newline : lines[i].ending;
  }
  return out;
}

// Returns the new file content with section/key set to value.
std::string MergeValue(const std::string& content, std::string_view section, std::string_view key,
                       const std::string& value) {
  std::vector<ProfileLine> lines = SplitLines(content);
  const std::string newline =
      (!lines.empty() && lines.front().ending == "\r\n") ? std::string("\r\n") : "\n";
  const std::string stored = StoredValue(value);

  std::optional<std::size_t> insertAt;  // set once our section is found
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto name = SectionOf(lines[i].text);
    if (name) {
      if (insertAt) break;  // the end of our section
      if (SameName(*name, section)) insertAt = i + 1;
      continue;
    }
    if (!insertAt) continue;
    std::string_view k, v;
    if (SplitKeyLine(lines[i].text, &k, &v) && SameName(k, key)) {
      lines[i].text = std::string(k) + "=" + stored;  // keeps the spelling already stored
      return Join(lines, newline);
    }
    if (!Trim(lines[i].text).empty()) insertAt = i + 1;  // after the section's last content
  }

  const ProfileLine keyLine{std::string(key) + "=" + stored, newline};
  if (insertAt) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*insertAt), keyLine);
  } else {
    lines.push_back({"[" + std::string(section) + "]", newline});
    lines.push_back(keyLine);
  }
  return Join(lines, newline);
}

}  // namespace

bool bNesGetProfileString(const std::string& file, const std::string& section,
                          const std::string& key, std::string* value) {
  std::string content;
  bool exists = false;
  if (!ReadWholeFile(file, &content, &exists) || !exists) return false;
  bool inSection = false;
  for (const ProfileLine& line : SplitLines(content)) {
    const auto name = SectionOf(line.text);
    if (name) {
      if (inSection) return false;  // only the first section of that name counts
      inSection = SameName(*name, Trim(section));
      continue;
    }
    if (!inSection) continue;
    std::string_view k, v;
    if (SplitKeyLine(line.text, &k, &v) && SameName(k, Trim(key))) {
      *value = Unquote(v);
      if (value->size() > kNesProfileMaxValue) value->resize(kNesProfileMaxValue);
      return true;
    }
  }
  return false;
}

bool bNesWriteProfileString(const std::string& file, const std::string& section,
                            const std::string& key, const std::string& value) {
  if (file.empty() || !ValidNames(section, key, value)) return false;
  const std::string target = ResolveTarget(file);
  const std::string folder = FolderOf(target);
  FolderLock lock(folder);
  if (!lock.Locked()) return false;

  std::string content;
  bool exists = false;
  if (!ReadWholeFile(target, &content, &exists)) return false;
  mode_t mode = 0644;
  if (exists) {
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) return false;
    // A file without any write permission is read-only even for the superuser.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
    if (::access(target.c_str(), W_OK) != 0) return false;
    mode = st.st_mode & 07777;
  }

  const std::string merged = MergeValue(content, Trim(section), Trim(key), value);
  if (exists && merged == content) return true;  // the value is already stored

  std::string tempPath = target + ".XXXXXX";
  const int fd = ::mkstemp(tempPath.data());
  if (fd < 0) return false;
  const bool written = WriteAll(fd, merged) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !written || ::rename(tempPath.c_str(), target.c_str()) != 0) {
    ::unlink(tempPath.c_str());
    return false;
  }
  return true;
}
