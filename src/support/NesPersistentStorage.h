// One interface for named settings (section and key, as in an ini file) with three stores
// behind it: an ini file, the application's profile and a binary archive. None of the objects
// has a lock: each belongs to the thread that made it. Ini files and the profile are shared
// with every other writer of them; each single write replaces the file atomically.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>

#include "support/NesExport.h"

// Reads never fail (a missing or unreadable entry gives the default); writes return false when
// the store refuses.
class NES_EXPORT CNesPersistentStorage {
 public:
  virtual ~CNesPersistentStorage() = default;

  virtual std::string strRead(const std::string& section, const std::string& key,
                              const std::string& defaultText) const = 0;
  virtual int iRead(const std::string& section, const std::string& key, int defaultValue) const = 0;
  virtual bool bRead(const std::string& section, const std::string& key,
                     bool defaultValue) const = 0;
  virtual double dRead(const std::string& section, const std::string& key,
                       double defaultValue) const = 0;
  virtual bool bWrite(const std::string& section, const std::string& key, double value) = 0;
  virtual bool bWrite(const std::string& section, const std::string& key, bool value) = 0;
  virtual bool bWrite(const std::string& section, const std::string& key, int value) = 0;
  virtual bool bWrite(const std::string& section, const std::string& key,
                      const std::string& value) = 0;
  // Without this a string literal would pick the bool form.
  bool bWrite(const std::string& section, const std::string& key, const char* value) {
    return bWrite(section, key, std::string(value));
  }
};

// An ini file given by its full path; the ini helpers' formats, defaults and failure rules.
class NES_EXPORT CNesPersistentStorageIniFile : public CNesPersistentStorage {
 public:
  explicit CNesPersistentStorageIniFile(std::string file) : m_file(std::move(file)) {}
  using CNesPersistentStorage::bWrite;

  std::string strRead(const std::string& section, const std::string& key,
                      const std::string& defaultText) const override;
  int iRead(const std::string& section, const std::string& key, int defaultValue) const override;
  bool bRead(const std::string& section, const std::string& key, bool defaultValue) const override;
  double dRead(const std::string& section, const std::string& key,
               double defaultValue) const override;
  bool bWrite(const std::string& section, const std::string& key, double value) override;
  bool bWrite(const std::string& section, const std::string& key, bool value) override;
  bool bWrite(const std::string& section, const std::string& key, int value) override;
  bool bWrite(const std::string& section, const std::string& key,
              const std::string& value) override;

  const std::string& File() const { return m_file; }

 private:
  std::string m_file;
};

// The running application's profile: the ini file "<program name>.ini" in the settings
// folder. Doubles are stored as "%f" text and booleans as 0 or 1; a value that is not a
// number reads as the default.
class NES_EXPORT CNesPersistentStorageRegistry : public CNesPersistentStorage {
 public:
  using CNesPersistentStorage::bWrite;

  // The profile file of this process.
  static std::string strProfileFile();

  std::string strRead(const std::string& section, const std::string& key,
                      const std::string& defaultText) const override;
  int iRead(const std::string& section, const std::string& key, int defaultValue) const override;
  bool bRead(const std::string& section, const std::string& key, bool defaultValue) const override;
  double dRead(const std::string& section, const std::string& key,
               double defaultValue) const override;
  bool bWrite(const std::string& section, const std::string& key, double value) override;
  bool bWrite(const std::string& section, const std::string& key, bool value) override;
  bool bWrite(const std::string& section, const std::string& key, int value) override;
  bool bWrite(const std::string& section, const std::string& key,
              const std::string& value) override;
};

// Raised by CNesArchive when the stream fails or holds something other than was asked for.
class NES_EXPORT CNesArchiveException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A binary serialisation archive over a stream (not owned; it must outlive the archive),
// either loading or storing. Numbers are little-endian; a text is a 32-bit length and its
// bytes. Every failure raises CNesArchiveException. One thread uses an archive at a time.
class NES_EXPORT CNesArchive {
 public:
  enum class EMode { kLoad, kStore };
  // Longest text a load accepts, so a damaged length cannot make it allocate gigabytes.
  static constexpr std::uint32_t kMaxText = 16u << 20;

  CNesArchive(std::iostream& stream, EMode mode) : m_stream(stream), m_mode(mode) {}
  CNesArchive(const CNesArchive&) = delete;
  CNesArchive& operator=(const CNesArchive&) = delete;

  bool IsLoading() const { return m_mode == EMode::kLoad; }
  bool IsStoring() const { return m_mode == EMode::kStore; }

  void WriteU8(std::uint8_t value);
  void WriteU32(std::uint32_t value);
  void WriteDouble(double value);
  void WriteString(const std::string& text);
  std::uint8_t ReadU8();
  std::uint32_t ReadU32();
  double ReadDouble();
  std::string ReadString();

  void Flush();
  std::uint64_t Position();
  void Seek(std::uint64_t position);

 private:
  void WriteBytes(const void* bytes, std::size_t count);
  void ReadBytes(void* bytes, std::size_t count);

  std::iostream& m_stream;
  EMode m_mode;
};

// Settings as records in an archive (not owned; it must outlive the object). Writes work only
// while the archive is storing, reads only while it is loading. A record is a 32-bit 0, the
// key "section.key", a type tag and the value; a record stream ends with bWriteEnd (a 32-bit
// 1) or the end of the stream. A read looks at the records from where the archive stands,
// matching keys without regard to case, and then returns the archive to that place, so
// entries may be read in any order. A record of another type than asked for is refused (the
// default is returned), never reinterpreted; booleans are stored as integers.
class NES_EXPORT CNesPersistentStorageArchive : public CNesPersistentStorage {
 public:
  explicit CNesPersistentStorageArchive(CNesArchive& archive) : m_archive(archive) {}
  using CNesPersistentStorage::bWrite;

  std::string strRead(const std::string& section, const std::string& key,
                      const std::string& defaultText) const override;
  int iRead(const std::string& section, const std::string& key, int defaultValue) const override;
  bool bRead(const std::string& section, const std::string& key, bool defaultValue) const override;
  double dRead(const std::string& section, const std::string& key,
               double defaultValue) const override;
  bool bWrite(const std::string& section, const std::string& key, double value) override;
  bool bWrite(const std::string& section, const std::string& key, bool value) override;
  bool bWrite(const std::string& section, const std::string& key, int value) override;
  bool bWrite(const std::string& section, const std::string& key,
              const std::string& value) override;
  // Ends the record stream; false when the archive is loading or fails.
  bool bWriteEnd();

 private:
  enum class EType : std::uint8_t { kText = 1, kInt = 2, kDouble = 3 };
  bool bWriteRecord(const std::string& section, const std::string& key, EType type,
                    const std::string* text, std::int32_t number, double real);
  // Moves the archive to the value of the record (section, key); its type in *type.
  bool bFindRecord(const std::string& section, const std::string& key, EType* type) const;

  CNesArchive& m_archive;
};

// Restores the process's current directory from a setting on construction and stores it
// again on destruction. The storage is not owned and must outlive this object. The current
// directory belongs to the whole process: use it from one thread.
class NES_EXPORT CNesSetAndStoreDirectory {
 public:
  CNesSetAndStoreDirectory(CNesPersistentStorage* storage, std::string section, std::string key);
  ~CNesSetAndStoreDirectory();
  CNesSetAndStoreDirectory(const CNesSetAndStoreDirectory&) = delete;
  CNesSetAndStoreDirectory& operator=(const CNesSetAndStoreDirectory&) = delete;

 private:
  CNesPersistentStorage* m_storage;
  std::string m_section;
  std::string m_key;
};
