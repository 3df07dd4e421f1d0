#include "imaging/ImageSource.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <mutex>

#include "imaging/TextException.h"

namespace {

constexpr std::size_t kProgressStep = 1024;

[[noreturn]] void ThrowEndOfFile() {
  throw CTextException(kErrEndOfFile, "End of file reached while decoding.\n");
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// CImageSource

CImageSource::CImageSource() = default;
CImageSource::~CImageSource() = default;

void CImageSource::OpenData(const std::string& name, const std::uint8_t* data, std::size_t size) {
  m_name = name;
  m_data = data;
  m_fileSize = size;
  m_position = 0;
  m_consumed = 0;
}

void CImageSource::Close() {
  if (m_progress) m_progress(1.0);
  m_name.clear();
}

void CImageSource::Consume(std::size_t n) {
  // Bounds are checked against the read position, not the running count: a decoder that seeks
  // forward must not be able to read past the end just because it skipped bytes.
  if (n > m_fileSize - m_position) ThrowEndOfFile();
  const std::size_t before = m_consumed;
  m_consumed += n;
  m_position += n;
  if (m_progress && m_consumed / kProgressStep != before / kProgressStep && m_fileSize > 0)
    m_progress(double(m_consumed) / double(m_fileSize));
}

const std::uint8_t* CImageSource::ReadNBytes(std::size_t n) {
  const std::uint8_t* p = m_data + m_position;
  Consume(n);
  return p;
}

std::uint8_t CImageSource::ReadByte() { return *ReadNBytes(1); }

std::uint16_t CImageSource::ReadWordLE() {
  const std::uint8_t* p = ReadNBytes(2);
  return std::uint16_t(p[0] | (p[1] << 8));
}

std::uint32_t CImageSource::ReadLongLE() {
  const std::uint8_t* p = ReadNBytes(4);
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}

std::uint16_t CImageSource::ReadWordBE() {
  const std::uint8_t* p = ReadNBytes(2);
  return std::uint16_t((p[0] << 8) | p[1]);
}

std::uint32_t CImageSource::ReadLongBE() {
  const std::uint8_t* p = ReadNBytes(4);
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
         std::uint32_t(p[3]);
}

const std::uint8_t* CImageSource::Peek(std::size_t n) {
  if (n > m_fileSize - m_position) ThrowEndOfFile();
  return m_data + m_position;
}

void CImageSource::Seek(std::size_t position) {
  if (position > m_fileSize) ThrowEndOfFile();
  m_position = position;
}

// ---------------------------------------------------------------------------------------------
// CFileImageSource

namespace {

int OpenErrorCode(int error, const std::string& fileName) {
  switch (error) {
    case ENOTDIR:
      return kErrPathNotFound;
    case ENOENT: {
      // Only a missing folder is "path not found"; a missing file in an existing folder is not.
      const std::filesystem::path parent = std::filesystem::path(fileName).parent_path();
      std::error_code ec;
      if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) return kErrPathNotFound;
      return kErrCannotOpen;
    }
    case EACCES:
    case EPERM:
      return kErrAccess;
    default:
      return kErrCannotOpen;
  }
}

}  // namespace

CFileImageSource::~CFileImageSource() {
  if (m_map) munmap(m_map, m_mapSize);
  if (m_fd >= 0) ::close(m_fd);
}

int CFileImageSource::Open(const std::string& fileName) {
  if (m_fd >= 0) Close();
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return OpenErrorCode(errno, fileName);
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    ::close(fd);
    return kErrAccess;
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    return kErrCannotOpen;
  }
  const auto size = std::size_t(st.st_size);
  void* map = nullptr;
  if (size > 0) {
    map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED) {
      ::close(fd);
      return kErrAccess;
    }
    madvise(map, size, MADV_SEQUENTIAL);
  }
  m_fd = fd;
  m_map = map;
  m_mapSize = size;
  OpenData(fileName, static_cast<const std::uint8_t*>(map), size);
  return 0;
}

void CFileImageSource::Close() {
  if (m_map) munmap(m_map, m_mapSize);
  if (m_fd >= 0) ::close(m_fd);
  m_map = nullptr;
  m_mapSize = 0;
  m_fd = -1;
  OpenData(std::string(), nullptr, 0);
  CImageSource::Close();
}

// ---------------------------------------------------------------------------------------------
// CMemImageSource, CResourceImageSource

void CMemImageSource::Open(const std::uint8_t* data, std::size_t size, const std::string& name) {
  OpenData(name, data, data ? size : 0);
}

namespace {

struct ResourceEntry {
  const std::uint8_t* data;
  std::size_t size;
};

// Built on first use, so registrars in any translation unit may run in any order.
std::map<std::string, ResourceEntry>& ResourceTable() {
  static std::map<std::string, ResourceEntry> table;
  return table;
}

std::mutex& ResourceMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

CResourceRegistrar::CResourceRegistrar(const char* name, const std::uint8_t* data,
                                       std::size_t size) {
  std::lock_guard<std::mutex> lock(ResourceMutex());
  ResourceTable()[name] = ResourceEntry{data, size};
}

bool FindResourceData(const std::string& name, const std::uint8_t** data, std::size_t* size) {
  std::lock_guard<std::mutex> lock(ResourceMutex());
  const auto it = ResourceTable().find(name);
  if (it == ResourceTable().end()) return false;
  *data = it->second.data;
  *size = it->second.size;
  return true;
}

int CResourceImageSource::Open(const std::string& resourceName) {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  if (!FindResourceData(resourceName, &data, &size)) return kErrCannotOpen;
  OpenData(resourceName, data, size);
  return 0;
}
