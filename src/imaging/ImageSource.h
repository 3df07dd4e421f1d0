#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// A byte source that decoders read from. Reads hand out pointers into the source's memory that
// stay valid at least until the next read; nothing is copied. Every read is counted: the
// progress sink hears consumed / file size each time the count crosses a multiple of 1024, and
// a read past the end throws CTextException(11, "End of file reached while decoding.\n").
class CImageSource {
 public:
  using ProgressSink = std::function<void(double)>;

  CImageSource();
  virtual ~CImageSource();
  CImageSource(const CImageSource&) = delete;
  CImageSource& operator=(const CImageSource&) = delete;

  // Notifies the progress sink with 1.0 and forgets the name.
  virtual void Close();

  const std::uint8_t* ReadNBytes(std::size_t n);
  std::uint8_t ReadByte();
  std::uint16_t ReadWordLE();
  std::uint32_t ReadLongLE();
  std::uint16_t ReadWordBE();
  std::uint32_t ReadLongBE();
  // The next n bytes without consuming them; throws code 11 when fewer remain.
  const std::uint8_t* Peek(std::size_t n);
  // Moves the read position to an absolute offset (not beyond the end; throws code 11).
  void Seek(std::size_t position);

  const std::string& GetName() const { return m_name; }
  std::size_t GetFileSize() const { return m_fileSize; }
  std::size_t GetPosition() const { return m_position; }
  std::size_t GetRemaining() const { return m_fileSize - m_position; }
  std::size_t GetBytesConsumed() const { return m_consumed; }
  void SetProgressSink(ProgressSink sink) { m_progress = std::move(sink); }

 protected:
  // Subclasses call this when opened: the data lives at [data, data + size).
  void OpenData(const std::string& name, const std::uint8_t* data, std::size_t size);

 private:
  void Consume(std::size_t n);

  std::string m_name;
  const std::uint8_t* m_data = nullptr;
  std::size_t m_fileSize = 0;
  std::size_t m_position = 0;
  std::size_t m_consumed = 0;
  ProgressSink m_progress;
};

// A file mapped read-only (sequential access advised). An empty file is a source of size 0.
class CFileImageSource : public CImageSource {
 public:
  ~CFileImageSource() override;
  // Returns 0 on success, else the error code: 3 folder missing, 5 access denied or mapping
  // failure, 4 any other failure.
  int Open(const std::string& fileName);
  void Close() override;

 private:
  int m_fd = -1;
  void* m_map = nullptr;
  std::size_t m_mapSize = 0;
};

// A block of memory owned by the caller.
class CMemImageSource : public CImageSource {
 public:
  void Open(const std::uint8_t* data, std::size_t size, const std::string& name = "memory");
};

// Data compiled into the program (for example the idle picture).
class CResourceImageSource : public CImageSource {
 public:
  // Returns 0 on success, else 4 when no resource of that name exists.
  int Open(const std::string& resourceName);
};
