#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class CImageFilter;

// One 32-bit pixel or palette entry: the bytes blue, green, red, alpha in memory, which on a
// little-endian machine is the value 0xAARRGGBB.
using RvPixel = std::uint32_t;

inline constexpr RvPixel RvMakePixel(std::uint8_t r, std::uint8_t g, std::uint8_t b,
                                     std::uint8_t a = 255) {
  return (RvPixel(a) << 24) | (RvPixel(r) << 16) | (RvPixel(g) << 8) | RvPixel(b);
}
inline constexpr std::uint8_t RvPixelBlue(RvPixel p) { return std::uint8_t(p); }
inline constexpr std::uint8_t RvPixelGreen(RvPixel p) { return std::uint8_t(p >> 8); }
inline constexpr std::uint8_t RvPixelRed(RvPixel p) { return std::uint8_t(p >> 16); }
inline constexpr std::uint8_t RvPixelAlpha(RvPixel p) { return std::uint8_t(p >> 24); }

// An in-memory picture. Rows are stored bottom-up with a stride rounded up to 4 bytes; the line
// table's entry 0 points at the top row. 32-bit pixels are B, G, R, A bytes.
class CImageBitmap {
 public:
  CImageBitmap();
  virtual ~CImageBitmap();
  CImageBitmap(const CImageBitmap&) = delete;
  CImageBitmap& operator=(const CImageBitmap&) = delete;

  // Allocates header, palette and rows (rows start zeroed) and builds the line table.
  // Throws CTextException(10, "Out of memory creating bitmap.") on allocation failure.
  void Create(int width, int height, std::uint16_t bitsPerPixel, bool alpha);
  // The same without zeroing the pixel rows (row padding is still zeroed), for decoders that
  // write every pixel: saves a pass over the frame.
  void CreateForOverwrite(int width, int height, std::uint16_t bitsPerPixel, bool alpha);

  virtual void Lock(bool readable, bool writable);
  virtual void Unlock();
  int GetLockCount() const { return m_lockCount; }

  int GetWidth() const { return m_width; }
  int GetHeight() const { return m_height; }
  std::uint16_t GetBitsPerPixel() const { return m_bpp; }
  bool HasAlpha() const { return m_alpha; }
  void SetHasAlpha(bool alpha) { m_alpha = alpha; }
  // Bytes per stored row: bpp x width / 8 (+1 for 1-bit rows not a multiple of 8), rounded up to 4.
  int GetBytesPerLine() const { return StrideFor(m_width, m_bpp); }
  static int StrideFor(int width, int bitsPerPixel);

  // Entry 0 is the top row.
  std::uint8_t* const* GetLineArray() { return m_lines.data(); }
  const std::uint8_t* const* GetLineArray() const { return m_lines.data(); }

  // 2^bpp entries for bpp <= 8, else null.
  RvPixel* GetPalette() { return m_palette; }
  const RvPixel* GetPalette() const { return m_palette; }
  void SetPalette(const RvPixel* entries);  // 2^bpp entries
  void SetGreyPalette();

  // Memory reported to the frame cache's budget:
  // stride x height + 40 + palette bytes (4 x 2^bpp below 16 bpp) + 48.
  virtual std::size_t GetMemUsed() const;

  // The pixel at column x of row y (0 = top) as a 32-bit value; palettised and 1-bit bitmaps
  // return / take the palette index.
  RvPixel GetPixel(int x, int y) const;
  void SetPixel(int x, int y, RvPixel value);

  // Copies each byte of an 8-bit bitmap of the same size into the alpha byte of this 32-bit
  // bitmap and sets the alpha flag.
  void AlphaFromChannel(const CImageBitmap& channel);
  // Becomes a copy of the other bitmap's size, depth, alpha flag, palette and pixels.
  void CopyFrom(const CImageBitmap& other);
  // Replaces the contents by the filter's result.
  void ApplyFilter(const CImageFilter& filter);

 protected:
  // Allocates storage for the current geometry (header, palette, rows) and sets m_palette.
  virtual void AllocStorage() = 0;
  virtual void FreeStorage() = 0;
  // Fills m_lines from the storage (entry y -> stored row height - 1 - y).
  virtual void InitLineArray() = 0;
  // AllocStorage zeroes the rows only when this is set.
  bool RowsMustBeZeroed() const { return m_zeroRows; }

  int m_width = 0;
  int m_height = 0;
  std::uint16_t m_bpp = 0;
  bool m_alpha = false;
  int m_lockCount = 0;
  RvPixel* m_palette = nullptr;
  std::vector<std::uint8_t*> m_lines;

 private:
  void Create(int width, int height, std::uint16_t bitsPerPixel, bool alpha, bool zeroRows);
  void ZeroRowPadding();
  bool m_zeroRows = true;
};

// Header, palette and rows in one block laid out as a Windows packed DIB (40-byte
// BITMAPINFOHEADER, palette, rows).
class CDIBBitmap : public CImageBitmap {
 public:
  CDIBBitmap();
  ~CDIBBitmap() override;

  // The 40-byte header followed by the palette.
  const std::uint8_t* GetBitmapInfo() const { return m_info; }
  // Start of the stored pixel rows (bottom row first).
  std::uint8_t* GetBits() { return m_bits; }
  const std::uint8_t* GetBits() const { return m_bits; }

 protected:
  void AllocStorage() override;
  void FreeStorage() override;
  void InitLineArray() override;
  void WriteInfoHeader();

  std::uint8_t* m_info = nullptr;  // header + palette (+ rows for the packed kind)
  std::uint8_t* m_bits = nullptr;
};

// Header and palette in one block, the rows in one separate 64-byte aligned block, so the
// display can wrap the rows in an image object without copying. The type of every frame bitmap.
// Rows of a megabyte or more are mapped pages of their own, so freeing a frame gives its memory
// back to the system at once: frames of one size freed and allocated again would otherwise
// fragment the heap and keep a cache far above its budget resident.
class CDIBSectionBitmap : public CDIBBitmap {
 public:
  static constexpr std::size_t kMappedRowsThreshold = std::size_t(1) << 20;

  CDIBSectionBitmap();
  ~CDIBSectionBitmap() override;
  // True when the rows are mapped pages (for tests).
  bool RowsAreMapped() const { return m_mappedBytes != 0; }

 protected:
  void AllocStorage() override;
  void FreeStorage() override;

 private:
  std::size_t m_mappedBytes = 0;
};

// Keeps a bitmap locked for the scope, so a throw between Lock and Unlock leaves the count
// balanced.
class CBitmapLock {
 public:
  explicit CBitmapLock(CImageBitmap* bitmap, bool readable = false, bool writable = true)
      : m_bitmap(bitmap) {
    m_bitmap->Lock(readable, writable);
  }
  ~CBitmapLock() { m_bitmap->Unlock(); }
  CBitmapLock(const CBitmapLock&) = delete;
  CBitmapLock& operator=(const CBitmapLock&) = delete;

 private:
  CImageBitmap* m_bitmap;
};

// A pixel operation over a whole bitmap (crop, resize): produces a new picture from the source.
class CImageFilter {
 public:
  virtual ~CImageFilter() = default;
  virtual void Apply(const CImageBitmap& source, CImageBitmap* destination) const = 0;
};
