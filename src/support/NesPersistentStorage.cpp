#include "support/NesPersistentStorage.h"

#include <unistd.h>

#include <array>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <istream>
#include <limits>
#include <vector>

#include "support/NesCommon55.h"

namespace {

// "%f" whatever the locale.
std::string FormatDouble(double value) {
  std::array<char, 400> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::fixed, 6);
  if (result.ec != std::errc()) return "0.000000";
  return std::string(buffer.data(), result.ptr);
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string RecordKey(const std::string& section, const std::string& key) {
  return section + "." + key;
}

}  // namespace

// --- ini file -----------------------------------------------------------------------------

std::string CNesPersistentStorageIniFile::strRead(const std::string& section,
                                                  const std::string& key,
                                                  const std::string& defaultText) const {
  return strReadFromIniFile(m_file, section, key, defaultText);
}
int CNesPersistentStorageIniFile::iRead(const std::string& section, const std::string& key,
                                        int defaultValue) const {
  return iReadFromIniFile(m_file, section, key, defaultValue);
}
bool CNesPersistentStorageIniFile::bRead(const std::string& section, const std::string& key,
                                         bool defaultValue) const {
  return bReadFromIniFile(m_file, section, key, defaultValue);
}
double CNesPersistentStorageIniFile::dRead(const std::string& section, const std::string& key,
                                           double defaultValue) const {
  return dReadFromIniFile(m_file, section, key, defaultValue);
}
bool CNesPersistentStorageIniFile::bWrite(const std::string& section, const std::string& key,
                                          double value) {
  return bWriteToIniFile(m_file, section, key, value);
}
bool CNesPersistentStorageIniFile::bWrite(const std::string& section, const std::string& key,
                                          bool value) {
  return bWriteToIniFile(m_file, section, key, value);
}
bool CNesPersistentStorageIniFile::bWrite(const std::string& section, const std::string& key,
                                          int value) {
  return bWriteToIniFile(m_file, section, key, value);
}
bool CNesPersistentStorageIniFile::bWrite(const std::string& section, const std::string& key,
                                          const std::string& value) {
  return bWriteToIniFile(m_file, section, key, value);
}

// --- application profile ------------------------------------------------------------------

std::string CNesPersistentStorageRegistry::strProfileFile() {
  std::error_code ec;
  std::string name = std::filesystem::read_symlink("/proc/self/exe", ec).filename().string();
  if (ec || name.empty()) name = "application";
  return strSettingsPath() + name + ".ini";
}

std::string CNesPersistentStorageRegistry::strRead(const std::string& section,
                                                   const std::string& key,
                                                   const std::string& defaultText) const {
  return strReadFromIniFile(strProfileFile(), section, key, defaultText);
}
int CNesPersistentStorageRegistry::iRead(const std::string& section, const std::string& key,
                                         int defaultValue) const {
  return iReadFromIniFile(strProfileFile(), section, key, defaultValue);
}
bool CNesPersistentStorageRegistry::bRead(const std::string& section, const std::string& key,
                                          bool defaultValue) const {
  return iRead(section, key, defaultValue ? 1 : 0) > 0;
}
double CNesPersistentStorageRegistry::dRead(const std::string& section, const std::string& key,
                                            double defaultValue) const {
  const std::string text = strRead(section, key, FormatDouble(defaultValue));
  double value = 0.0;
  return bString2Double(text, &value, nullptr) ? value : defaultValue;
}
bool CNesPersistentStorageRegistry::bWrite(const std::string& section, const std::string& key,
                                           double value) {
  return bWrite(section, key, FormatDouble(value));
}
bool CNesPersistentStorageRegistry::bWrite(const std::string& section, const std::string& key,
                                           bool value) {
  return bWrite(section, key, value ? 1 : 0);
}
bool CNesPersistentStorageRegistry::bWrite(const std::string& section, const std::string& key,
                                           int value) {
  return bWriteToIniFile(strProfileFile(), section, key, value);
}
bool CNesPersistentStorageRegistry::bWrite(const std::string& section, const std::string& key,
                                           const std::string& value) {
  return bWriteToIniFile(strProfileFile(), section, key, value);
}

// --- archive stream -----------------------------------------------------------------------

void CNesArchive::WriteBytes(const void* bytes, std::size_t count) {
  if (!IsStoring()) throw CNesArchiveException("archive is not storing");
  m_stream.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(count));
  if (!m_stream) throw CNesArchiveException("archive write failed");
}

void CNesArchive::ReadBytes(void* bytes, std::size_t count) {
  if (!IsLoading()) throw CNesArchiveException("archive is not loading");
  m_stream.read(static_cast<char*>(bytes), static_cast<std::streamsize>(count));
  if (!m_stream) throw CNesArchiveException("archive ends early");
}

void CNesArchive::WriteU8(std::uint8_t value) { WriteBytes(&value, 1); }

void CNesArchive::WriteU32(std::uint32_t value) {
  std::uint8_t bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
  WriteBytes(bytes, 4);
}

void CNesArchive::WriteDouble(double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  WriteU32(static_cast<std::uint32_t>(bits));
  WriteU32(static_cast<std::uint32_t>(bits >> 32));
}

void CNesArchive::WriteString(const std::string& text) {
  if (text.size() > kMaxText) throw CNesArchiveException("text too long for the archive");
  WriteU32(static_cast<std::uint32_t>(text.size()));
  WriteBytes(text.data(), text.size());
}

std::uint8_t CNesArchive::ReadU8() {
  std::uint8_t value = 0;
  ReadBytes(&value, 1);
  return value;
}

std::uint32_t CNesArchive::ReadU32() {
  std::uint8_t bytes[4];
  ReadBytes(bytes, 4);
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

double CNesArchive::ReadDouble() {
  const std::uint64_t low = ReadU32();
  const std::uint64_t bits = low | static_cast<std::uint64_t>(ReadU32()) << 32;
  double value = 0.0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::string CNesArchive::ReadString() {
  const std::uint32_t size = ReadU32();
  if (size > kMaxText) throw CNesArchiveException("archive text too long");
  std::string text(size, '\0');
  ReadBytes(text.data(), size);
  return text;
}

void CNesArchive::Flush() {
  if (IsStoring()) m_stream.flush();
  if (!m_stream) throw CNesArchiveException("archive flush failed");
}

std::uint64_t CNesArchive::Position() {
  const auto position = IsStoring() ? m_stream.tellp() : m_stream.tellg();
  if (position < 0) throw CNesArchiveException("archive position unknown");
  return static_cast<std::uint64_t>(position);
}

void CNesArchive::Seek(std::uint64_t position) {
  m_stream.clear();
  if (IsStoring())
    m_stream.seekp(static_cast<std::streamoff>(position));
  else
    m_stream.seekg(static_cast<std::streamoff>(position));
  if (!m_stream) throw CNesArchiveException("archive seek failed");
}

// --- archive storage ----------------------------------------------------------------------

namespace {
constexpr std::uint32_t kRecordMarker = 0;
constexpr std::uint32_t kEndMarker = 1;
}  // namespace

bool CNesPersistentStorageArchive::bWriteRecord(const std::string& section, const std::string& key,
                                                EType type, const std::string* text,
                                                std::int32_t number, double real) {
  if (!m_archive.IsStoring()) return false;
  try {
    m_archive.WriteU32(kRecordMarker);
    m_archive.WriteString(RecordKey(section, key));
    m_archive.WriteU8(static_cast<std::uint8_t>(type));
    switch (type) {
      case EType::kText:
        m_archive.WriteString(*text);
        break;
      case EType::kInt:
        m_archive.WriteU32(static_cast<std::uint32_t>(number));
        break;
      case EType::kDouble:
        m_archive.WriteDouble(real);
        break;
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool CNesPersistentStorageArchive::bWriteEnd() {
  if (!m_archive.IsStoring()) return false;
  try {
    m_archive.WriteU32(kEndMarker);
    m_archive.Flush();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool CNesPersistentStorageArchive::bFindRecord(const std::string& section, const std::string& key,
                                               EType* type) const {
  const std::string wanted = Lower(RecordKey(section, key));
  for (;;) {
    if (m_archive.ReadU32() != kRecordMarker) return false;  // the end marker or damage
    const std::string found = Lower(m_archive.ReadString());
    const auto tag = static_cast<EType>(m_archive.ReadU8());
    if (found == wanted) {
      *type = tag;
      return true;
    }
    switch (tag) {  // skip the value
      case EType::kText:
        m_archive.ReadString();
        break;
      case EType::kInt:
        m_archive.ReadU32();
        break;
      case EType::kDouble:
        m_archive.ReadDouble();
        break;
      default:
        return false;  // an unknown tag: the rest cannot be read
    }
  }
}

namespace {

// Runs a read from the archive's current place and returns the archive there afterwards;
// any failure gives the default.
template <typename T, typename Reader>
T ReadBack(CNesArchive& archive, T defaultValue, Reader reader) {
  if (!archive.IsLoading()) return defaultValue;
  std::uint64_t start = 0;
  try {
    archive.Flush();
    start = archive.Position();
  } catch (const std::exception&) {
    return defaultValue;
  }
  T result = defaultValue;
  try {
    result = reader();
  } catch (const std::exception&) {
    result = defaultValue;
  }
  try {
    archive.Seek(start);
  } catch (const std::exception&) {
  }
  return result;
}

}  // namespace

std::string CNesPersistentStorageArchive::strRead(const std::string& section,
                                                  const std::string& key,
                                                  const std::string& defaultText) const {
  return ReadBack(m_archive, defaultText, [&] {
    EType type{};
    if (!bFindRecord(section, key, &type) || type != EType::kText) return defaultText;
    return m_archive.ReadString();
  });
}
int CNesPersistentStorageArchive::iRead(const std::string& section, const std::string& key,
                                        int defaultValue) const {
  return ReadBack(m_archive, defaultValue, [&] {
    EType type{};
    if (!bFindRecord(section, key, &type) || type != EType::kInt) return defaultValue;
    return static_cast<int>(static_cast<std::int32_t>(m_archive.ReadU32()));
  });
}
bool CNesPersistentStorageArchive::bRead(const std::string& section, const std::string& key,
                                         bool defaultValue) const {
  return iRead(section, key, defaultValue ? 1 : 0) != 0;
}
double CNesPersistentStorageArchive::dRead(const std::string& section, const std::string& key,
                                           double defaultValue) const {
  return ReadBack(m_archive, defaultValue, [&] {
    EType type{};
    if (!bFindRecord(section, key, &type) || type != EType::kDouble) return defaultValue;
    return m_archive.ReadDouble();
  });
}
bool CNesPersistentStorageArchive::bWrite(const std::string& section, const std::string& key,
                                          double value) {
  return bWriteRecord(section, key, EType::kDouble, nullptr, 0, value);
}
bool CNesPersistentStorageArchive::bWrite(const std::string& section, const std::string& key,
                                          bool value) {
  return bWrite(section, key, value ? 1 : 0);
}
bool CNesPersistentStorageArchive::bWrite(const std::string& section, const std::string& key,
                                          int value) {
  return bWriteRecord(section, key, EType::kInt, nullptr, value, 0.0);
}
bool CNesPersistentStorageArchive::bWrite(const std::string& section, const std::string& key,
                                          const std::string& value) {
  return bWriteRecord(section, key, EType::kText, &value, 0, 0.0);
}

// --- current directory --------------------------------------------------------------------

CNesSetAndStoreDirectory::CNesSetAndStoreDirectory(CNesPersistentStorage* storage,
                                                   std::string section, std::string key)
    : m_storage(storage), m_section(std::move(section)), m_key(std::move(key)) {
  const std::string folder = m_storage->strRead(m_section, m_key, "");
  // A folder that has gone since leaves the current directory as it is.
  if (!folder.empty() && ::chdir(folder.c_str()) != 0) return;
}

CNesSetAndStoreDirectory::~CNesSetAndStoreDirectory() {
  std::vector<char> buffer(4096);
  if (::getcwd(buffer.data(), buffer.size()))
    m_storage->bWrite(m_section, m_key, std::string(buffer.data()));
}
