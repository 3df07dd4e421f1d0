#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Bounds-checked little-endian reads over one metafile record. A read past the end yields zero
// and marks the reader failed; the players stop at a failed record, so nothing is ever read past
// the data the file holds.
class CMetafileBytes {
 public:
  CMetafileBytes(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

  bool Ok() const { return m_ok; }
  std::size_t Size() const { return m_size; }
  std::size_t Position() const { return m_pos; }
  std::size_t Remaining() const { return m_pos <= m_size ? m_size - m_pos : 0; }
  const std::uint8_t* Data() const { return m_data; }

  void Seek(std::size_t pos) {
    if (pos > m_size) {
      m_ok = false;
      m_pos = m_size;
    } else {
      m_pos = pos;
    }
  }
  void Skip(std::size_t n) { Seek(n > Remaining() ? m_size + 1 : m_pos + n); }
  // A pointer to n bytes at the position, or null (and failed) when fewer remain.
  const std::uint8_t* Bytes(std::size_t n) {
    if (n > Remaining()) {
      m_ok = false;
      return nullptr;
    }
    const std::uint8_t* p = m_data + m_pos;
    m_pos += n;
    return p;
  }
  // Whether n bytes starting at an absolute offset lie inside the data.
  bool Holds(std::size_t offset, std::size_t n) const {
    return offset <= m_size && n <= m_size - offset;
  }

  std::uint8_t U8() {
    const std::uint8_t* p = Bytes(1);
    return p ? p[0] : 0;
  }
  std::uint16_t U16() {
    const std::uint8_t* p = Bytes(2);
    return p ? std::uint16_t(p[0] | (p[1] << 8)) : 0;
  }
  std::int16_t I16() { return static_cast<std::int16_t>(U16()); }
  std::uint32_t U32() {
    const std::uint8_t* p = Bytes(4);
    return p ? std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
                   (std::uint32_t(p[3]) << 24)
             : 0;
  }
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
  float F32() {
    const std::uint32_t bits = U32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }

 private:
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
  bool m_ok = true;
};
