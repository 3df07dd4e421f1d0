#include "imaging/ImageBitmap.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "imaging/TextException.h"

namespace {

constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kRowAlignment = 64;

[[noreturn]] void ThrowNoMemory() {
  throw CTextException(kErrNoMemory, "Out of memory creating bitmap.");
}

bool ValidDepth(int bpp) {
  return bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
}

std::size_t PaletteEntries(int bpp) { return bpp <= 8 ? (std::size_t(1) << bpp) : 0; }

void PutLE32(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
  p[2] = std::uint8_t(v >> 16);
  p[3] = std::uint8_t(v >> 24);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// CImageBitmap

CImageBitmap::CImageBitmap() = default;
CImageBitmap::~CImageBitmap() = default;

int CImageBitmap::StrideFor(int width, int bitsPerPixel) {
  if (width <= 0 || bitsPerPixel <= 0) return 0;
  // Rounding the bit count up gives the extra byte of a partial 1-bit row and also covers 2- and
  // 4-bit rows whose last byte is only partly used.
  const std::uint64_t bytes = (std::uint64_t(width) * std::uint64_t(bitsPerPixel) + 7) / 8;
  const std::uint64_t stride = (bytes + 3) & ~std::uint64_t(3);
  if (stride > std::uint64_t(std::numeric_limits<int>::max())) return 0;
  return int(stride);
}

void CImageBitmap::Create(int width, int height, std::uint16_t bitsPerPixel, bool alpha) {
  Create(width, height, bitsPerPixel, alpha, true);
}

void CImageBitmap::CreateForOverwrite(int width, int height, std::uint16_t bitsPerPixel,
                                      bool alpha) {
  Create(width, height, bitsPerPixel, alpha, false);
}

void CImageBitmap::Create(int width, int height, std::uint16_t bitsPerPixel, bool alpha,
                          bool zeroRows) {
  if (width < 0 || height < 0 || !ValidDepth(bitsPerPixel))
    throw CTextException(kErrFormat, "Invalid bitmap geometry.");
  // A width whose stride does not fit an int cannot be allocated either.
  if (width > 0 && StrideFor(width, bitsPerPixel) == 0) ThrowNoMemory();
  const std::uint64_t rowBytes =
      std::uint64_t(StrideFor(width, bitsPerPixel)) * std::uint64_t(height);
  if (rowBytes > std::uint64_t(std::numeric_limits<std::ptrdiff_t>::max() / 2)) ThrowNoMemory();

  FreeStorage();
  m_lines.clear();
  m_palette = nullptr;
  m_width = width;
  m_height = height;
  m_bpp = bitsPerPixel;
  m_alpha = alpha;
  m_zeroRows = zeroRows;
  try {
    AllocStorage();
    m_lines.resize(std::size_t(height));
  } catch (const std::bad_alloc&) {
    FreeStorage();
    m_width = m_height = 0;
    ThrowNoMemory();
  } catch (...) {
    m_width = m_height = 0;
    throw;
  }
  InitLineArray();
  if (!zeroRows) ZeroRowPadding();
}

void CImageBitmap::ZeroRowPadding() {
  const std::size_t used = (std::size_t(m_width) * m_bpp + 7) / 8;
  const std::size_t stride = std::size_t(GetBytesPerLine());
  if (used == stride) return;
  for (int y = 0; y < m_height; ++y) std::memset(m_lines[std::size_t(y)] + used, 0, stride - used);
}

void CImageBitmap::Lock(bool, bool) { ++m_lockCount; }

void CImageBitmap::Unlock() {
  if (m_lockCount > 0) --m_lockCount;
}

void CImageBitmap::SetPalette(const RvPixel* entries) {
  if (!m_palette || !entries) return;
  std::memcpy(m_palette, entries, PaletteEntries(m_bpp) * sizeof(RvPixel));
}

void CImageBitmap::SetGreyPalette() {
  if (!m_palette) return;
  const std::size_t n = PaletteEntries(m_bpp);
  const unsigned step = 255u / unsigned(n - 1);  // integer division first, as stored files expect
  for (std::size_t i = 0; i < n; ++i) {
    const auto v = std::uint8_t(i * step);
    m_palette[i] = RvMakePixel(v, v, v, 255);
  }
}

std::size_t CImageBitmap::GetMemUsed() const {
  const std::size_t palette = m_bpp < 16 ? 4 * (std::size_t(1) << m_bpp) : 0;
  return std::size_t(GetBytesPerLine()) * std::size_t(m_height) + 40 + palette + 48;
}

RvPixel CImageBitmap::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return 0;
  const std::uint8_t* row = m_lines[std::size_t(y)];
  switch (m_bpp) {
    case 32: {
      RvPixel p;
      std::memcpy(&p, row + std::size_t(x) * 4, 4);
      return p;
    }
    case 24: {
      const std::uint8_t* p = row + std::size_t(x) * 3;
      return RvMakePixel(p[2], p[1], p[0], 255);
    }
    case 16:
      return RvPixel(row[std::size_t(x) * 2]) | (RvPixel(row[std::size_t(x) * 2 + 1]) << 8);
    case 8:
      return row[x];
    default: {
      const int perByte = 8 / m_bpp;
      const int shift = 8 - m_bpp * (x % perByte + 1);
      return (row[x / perByte] >> shift) & ((1u << m_bpp) - 1);
    }
  }
}

void CImageBitmap::SetPixel(int x, int y, RvPixel value) {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return;
  std::uint8_t* row = m_lines[std::size_t(y)];
  switch (m_bpp) {
    case 32:
      std::memcpy(row + std::size_t(x) * 4, &value, 4);
      return;
    case 24: {
      std::uint8_t* p = row + std::size_t(x) * 3;
      p[0] = RvPixelBlue(value);
      p[1] = RvPixelGreen(value);
      p[2] = RvPixelRed(value);
      return;
    }
    case 16:
      row[std::size_t(x) * 2] = std::uint8_t(value);
      row[std::size_t(x) * 2 + 1] = std::uint8_t(value >> 8);
      return;
    case 8:
      row[x] = std::uint8_t(value);
      return;
    default: {
      const int perByte = 8 / m_bpp;
      const int shift = 8 - m_bpp * (x % perByte + 1);
      const unsigned mask = ((1u << m_bpp) - 1) << shift;
      std::uint8_t& b = row[x / perByte];
      b = std::uint8_t((b & ~mask) | ((value << shift) & mask));
      return;
    }
  }
}

void CImageBitmap::AlphaFromChannel(const CImageBitmap& channel) {
  if (m_bpp != 32 || channel.m_bpp != 8 || channel.m_width != m_width ||
      channel.m_height != m_height)
    throw CTextException(kErrFormat, "Alpha channel does not match the bitmap.");
  for (int y = 0; y < m_height; ++y) {
    const std::uint8_t* src = channel.m_lines[std::size_t(y)];
    std::uint8_t* dst = m_lines[std::size_t(y)];
    for (int x = 0; x < m_width; ++x) dst[std::size_t(x) * 4 + 3] = src[x];
  }
  m_alpha = true;
}

void CImageBitmap::CopyFrom(const CImageBitmap& other) {
  if (&other == this) return;
  Create(other.m_width, other.m_height, other.m_bpp, other.m_alpha);
  if (m_palette && other.m_palette) SetPalette(other.m_palette);
  const std::size_t stride = std::size_t(GetBytesPerLine());
  for (int y = 0; y < m_height; ++y)
    std::memcpy(m_lines[std::size_t(y)], other.m_lines[std::size_t(y)], stride);
}

void CImageBitmap::ApplyFilter(const CImageFilter& filter) {
  CDIBSectionBitmap result;
  filter.Apply(*this, &result);
  CopyFrom(result);
}

// ---------------------------------------------------------------------------------------------
// CDIBBitmap

CDIBBitmap::CDIBBitmap() = default;

CDIBBitmap::~CDIBBitmap() { CDIBBitmap::FreeStorage(); }

void CDIBBitmap::AllocStorage() {
  const std::size_t header = kInfoHeaderSize + PaletteEntries(m_bpp) * sizeof(RvPixel);
  const std::size_t rows = std::size_t(GetBytesPerLine()) * std::size_t(m_height);
  void* block = std::malloc(header + rows);
  if (!block) ThrowNoMemory();
  std::memset(block, 0, RowsMustBeZeroed() ? header + rows : header);
  m_info = static_cast<std::uint8_t*>(block);
  m_bits = m_info + header;
  m_palette =
      PaletteEntries(m_bpp) ? reinterpret_cast<RvPixel*>(m_info + kInfoHeaderSize) : nullptr;
  WriteInfoHeader();
}

void CDIBBitmap::FreeStorage() {
  std::free(m_info);
  m_info = nullptr;
  m_bits = nullptr;
  m_palette = nullptr;
}

void CDIBBitmap::InitLineArray() {
  const std::size_t stride = std::size_t(GetBytesPerLine());
  for (int y = 0; y < m_height; ++y)
    m_lines[std::size_t(y)] = m_bits + std::size_t(m_height - 1 - y) * stride;
}

void CDIBBitmap::WriteInfoHeader() {
  std::memset(m_info, 0, kInfoHeaderSize);
  PutLE32(m_info, std::uint32_t(kInfoHeaderSize));
  PutLE32(m_info + 4, std::uint32_t(m_width));
  PutLE32(m_info + 8, std::uint32_t(m_height));
  m_info[12] = 1;  // planes
  m_info[14] = std::uint8_t(m_bpp);
  m_info[15] = std::uint8_t(m_bpp >> 8);
}

// ---------------------------------------------------------------------------------------------
// CDIBSectionBitmap

CDIBSectionBitmap::CDIBSectionBitmap() = default;

CDIBSectionBitmap::~CDIBSectionBitmap() { CDIBSectionBitmap::FreeStorage(); }

void CDIBSectionBitmap::AllocStorage() {
  const std::size_t header = kInfoHeaderSize + PaletteEntries(m_bpp) * sizeof(RvPixel);
  const std::size_t rows = std::size_t(GetBytesPerLine()) * std::size_t(m_height);
  m_info = static_cast<std::uint8_t*>(std::calloc(1, header));
  if (!m_info) ThrowNoMemory();
  m_palette =
      PaletteEntries(m_bpp) ? reinterpret_cast<RvPixel*>(m_info + kInfoHeaderSize) : nullptr;
  WriteInfoHeader();

  if (rows >= kMappedRowsThreshold) {
    void* pages = mmap(nullptr, rows, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) {
      FreeStorage();
      ThrowNoMemory();
    }
    m_bits = static_cast<std::uint8_t*>(pages);  // page-aligned and already zero
    m_mappedBytes = rows;
    return;
  }
  m_bits = static_cast<std::uint8_t*>(std::aligned_alloc(
      kRowAlignment, (std::max<std::size_t>(rows, 1) + kRowAlignment - 1) & ~(kRowAlignment - 1)));
  if (!m_bits) {
    FreeStorage();
    ThrowNoMemory();
  }
  if (RowsMustBeZeroed()) std::memset(m_bits, 0, rows);
}

void CDIBSectionBitmap::FreeStorage() {
  if (m_mappedBytes) {
    munmap(m_bits, m_mappedBytes);
    m_mappedBytes = 0;
  } else {
    std::free(m_bits);
  }
  m_bits = nullptr;
  std::free(m_info);
  m_info = nullptr;
  m_palette = nullptr;
}
