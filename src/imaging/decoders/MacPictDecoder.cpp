#include "imaging/decoders/MacPictDecoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "imaging/decoders/JPEGDecoder.h"

namespace {

constexpr std::uint16_t kUncovered = 0xFFFF;
constexpr int kOpEndPic = 0x00FF;
constexpr std::size_t kPreambleSize = 512;
const RvPixel kWhite = RvMakePixel(255, 255, 255);
const char kBadGeometry[] = "Error decoding pict: Empty picture frame or negative image bounds.";

std::int16_t Signed16(std::uint16_t v) { return static_cast<std::int16_t>(v); }

// QuickDraw's 5-bit components replicate their top bits into the low ones so that 31 maps to
// 255 and 0 to 0.
std::uint8_t Expand5(unsigned v) { return static_cast<std::uint8_t>((v << 3) | (v >> 2)); }

}  // namespace

// Maps the rows and columns of one image (its bounds, the part of it to copy and where that part
// goes in picture coordinates) onto the canvas, which covers the picture frame.
class CMacPictDecoder::RowPlacer {
 public:
  RowPlacer(const Rect& bounds, const Rect& src, const Rect& dst, const Rect& frame, int width,
            int height) {
    const int srcW = src.Width(), srcH = src.Height();
    const int dstW = dst.Width(), dstH = dst.Height();
    if (srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0) return;
    const int y0 = std::max(0, dst.top - frame.top);
    const int y1 = std::min(height, dst.bottom - frame.top);
    for (int cy = y0; cy < y1; ++cy) {
      const std::int64_t sy =
          src.top + std::int64_t(cy + frame.top - dst.top) * srcH / dstH - bounds.top;
      if (sy >= 0 && sy < bounds.Height()) m_rows.push_back({cy, int(sy)});
    }
    const int x0 = std::max(0, dst.left - frame.left);
    const int x1 = std::min(width, dst.right - frame.left);
    for (int cx = x0; cx < x1; ++cx) {
      const std::int64_t sx =
          src.left + std::int64_t(cx + frame.left - dst.left) * srcW / dstW - bounds.left;
      if (sx >= 0 && sx < bounds.Width()) m_columns.push_back({cx, int(sx)});
    }
  }

  // Canvas pixels the image writes in all.
  std::uint64_t Work() const { return std::uint64_t(m_rows.size()) * m_columns.size(); }

  // Writes source row `row` (already expanded to pixels and, for indexed images, indexes) to
  // every canvas row that shows it. Rows must come in ascending order.
  void Place(int row, const std::vector<RvPixel>& pixels, const std::uint16_t* indexes,
             RvPixel* canvas, std::uint16_t* canvasIndexes, int canvasWidth) {
    while (m_next < m_rows.size() && m_rows[m_next].second < row) ++m_next;
    for (; m_next < m_rows.size() && m_rows[m_next].second == row; ++m_next) {
      const std::size_t base = std::size_t(m_rows[m_next].first) * canvasWidth;
      for (const auto& [cx, sx] : m_columns) {
        canvas[base + cx] = pixels[sx];
        if (canvasIndexes) canvasIndexes[base + cx] = indexes ? indexes[sx] : kUncovered;
      }
    }
  }

 private:
  std::vector<std::pair<int, int>> m_rows;     // canvas row, source row
  std::vector<std::pair<int, int>> m_columns;  // canvas column, source column
  std::size_t m_next = 0;
};

CMacPictDecoder::CMacPictDecoder() = default;
CMacPictDecoder::~CMacPictDecoder() = default;

void CMacPictDecoder::DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) {
  m_source = source;
  m_haveImage = false;
  m_hasAlpha = false;
  m_indexed = true;
  m_table.clear();
  m_work = 0;
  m_workBudget = 4 * (kFreeCanvasPixels + kMaxPixelsPerByte * source->GetFileSize());
  // The canvas can be large and the decoder lives as long as the program: free it however the
  // decode ends.
  struct Release {
    CMacPictDecoder* self;
    ~Release() {
      self->m_canvas = {};
      self->m_indexes = {};
      self->m_source = nullptr;
    }
  } release{this};

  try {
    const int version = ReadVersion();
    ReadOpcodes(version);
    WriteResult(bitmap, bppWanted);
  } catch (const std::bad_alloc&) {
    RaiseError(kErrNoMemory, "Out of memory creating bitmap.");
  }
}

int CMacPictDecoder::ReadVersion() {
  Skip(kPreambleSize);
  m_source->ReadWordBE();  // the picture size: only the low 16 bits of the real size
  m_frame = ReadRect();
  std::uint8_t b = m_source->ReadByte();
  while (b == 0) b = m_source->ReadByte();
  if (b != 0x11) RaiseError(kErrWrongSignature, "Error decoding pict: Version number missing.");
  const std::uint8_t v = m_source->ReadByte();
  if (v == 1) return 1;
  if (v == 2 && m_source->ReadByte() == 0xFF) return 2;
  RaiseError(kErrWrongSignature, "Illegal version number.");
}

CMacPictDecoder::Rect CMacPictDecoder::ReadRect() {
  Rect r;
  r.top = Signed16(m_source->ReadWordBE());
  r.left = Signed16(m_source->ReadWordBE());
  r.bottom = Signed16(m_source->ReadWordBE());
  r.right = Signed16(m_source->ReadWordBE());
  return r;
}

void CMacPictDecoder::Skip(std::size_t n) {
  if (n > 0) m_source->ReadNBytes(n);
}

void CMacPictDecoder::Align(int version) {
  if (version == 2 && (m_source->GetPosition() & 1)) Skip(1);
}

void CMacPictDecoder::SkipRegion() {
  // Polygons and regions start with their own size, the size word included.
  const std::uint16_t size = m_source->ReadWordBE();
  Skip(size >= 2 ? size - 2 : 0);
}

void CMacPictDecoder::ReadOpcodes(int version) {
  for (;;) {
    Align(version);
    const int opcode = version == 2 ? m_source->ReadWordBE() : m_source->ReadByte();
    if (opcode == kOpEndPic) return;
    switch (opcode) {
      case 0x90:
      case 0x91:
      case 0x98:
      case 0x99:
        DecodeBits(opcode);
        break;
      case 0x9A:
      case 0x9B:
        DecodeDirectBits(opcode);
        break;
      case 0x8200:
        DecodeQuickTime();
        break;
      default:
        SkipOpcode(opcode, version);
        break;
    }
  }
}

void CMacPictDecoder::SkipOpcode(int opcode, int version) {
  // Data lengths of the QuickDraw opcodes that carry no pixels.
  static constexpr std::uint8_t kFixed[0x24] = {
      0, 0, 8, 2, 1, 2, 4, 4, 2, 8, 8, 4, 4, 2, 4, 4,  // 0x00-0x0F (0x01 is a region)
      8, 0, 0, 0, 0, 2, 2, 0, 0, 0, 6, 6, 0, 6, 0, 6,  // 0x10-0x1F (0x11, 0x12-0x14 below)
      8, 4, 6, 2};                                     // 0x20-0x23
  auto wordLength = [this] { Skip(m_source->ReadWordBE()); };
  auto text = [this](std::size_t before) {
    Skip(before);
    Skip(m_source->ReadByte());
  };
  if (opcode == 0x01) return SkipRegion();
  if (opcode == 0x11) return Skip(version == 2 ? 2 : 1);
  if (opcode >= 0x12 && opcode <= 0x14) return SkipPixPat();
  if (opcode < 0x24) return Skip(kFixed[opcode]);
  if (opcode <= 0x27) return wordLength();
  if (opcode == 0x28) return text(4);
  if (opcode == 0x29 || opcode == 0x2A) return text(1);
  if (opcode == 0x2B) return text(2);
  if (opcode <= 0x2F) return wordLength();
  if (opcode <= 0x8F) {
    // Rectangles, round rectangles, ovals, arcs, polygons and regions in groups of eight:
    // the first four of a group carry their shape, the "same shape" four carry nothing.
    const int group = (opcode - 0x30) >> 3;
    const bool same = (opcode & 0x08) != 0;
    if (group == 4) return same ? void() : SkipRegion();  // polygons
    if (group == 5) return same ? void() : SkipRegion();  // regions
    if (group == 3) return Skip(same ? 4 : 12);           // arcs
    return Skip(same ? 0 : 8);
  }
  if (opcode <= 0x9F) return wordLength();  // 0x92-0x97, 0x9C-0x9F reserved
  if (opcode == 0xA0) return Skip(2);
  if (opcode == 0xA1) {
    m_source->ReadWordBE();  // comment kind
    return wordLength();
  }
  if (opcode <= 0xAF) return wordLength();
  if (opcode <= 0xCF) return;
  if (opcode <= 0xFE) return Skip(m_source->ReadLongBE());
  if (opcode <= 0x7FFF) return Skip(std::size_t(opcode >> 8) * 2);
  if (opcode <= 0x80FF) return;
  Skip(m_source->ReadLongBE());
}

void CMacPictDecoder::SkipPixPat() {
  const std::uint16_t type = m_source->ReadWordBE();
  Skip(8);                        // the black-and-white pattern
  if (type == 2) return Skip(6);  // dither pattern: its RGB colour
  if (type != 1) RaiseError(kErrFormat, "Unknown pattern type in pixPat.");
  const PixMapInfo info = ReadPixMap(false);
  if (info.isPixMap) ReadColourTable();
  std::vector<std::uint8_t> row;
  const bool packed = info.rowBytes >= 8;
  for (int y = 0; y < info.bounds.Height(); ++y) ReadRow(info, packed, 1, info.rowBytes, &row);
}

CMacPictDecoder::PixMapInfo CMacPictDecoder::ReadPixMap(bool direct) {
  PixMapInfo info;
  const std::uint16_t rowBytes = m_source->ReadWordBE();
  info.isPixMap = direct || (rowBytes & 0x8000) != 0;
  info.rowBytes = rowBytes & 0x3FFF;
  info.bounds = ReadRect();
  if (info.isPixMap) {
    m_source->ReadWordBE();  // version
    info.packType = m_source->ReadWordBE();
    Skip(4 + 4 + 4 + 2);  // pack size, resolutions, pixel type
    info.pixelSize = m_source->ReadWordBE();
    info.cmpCount = m_source->ReadWordBE();
    Skip(2 + 4 + 4 + 4);  // component size, plane bytes, table handle, reserved
  }
  if (info.bounds.Width() < 0 || info.bounds.Height() < 0) RaiseError(kErrFormat, kBadGeometry);
  return info;
}

std::vector<RvPixel> CMacPictDecoder::ReadColourTable() {
  Skip(4);  // seed
  const std::uint16_t flags = m_source->ReadWordBE();
  // The stored size is the number of entries less one; a negative size means no entries.
  const int size = Signed16(m_source->ReadWordBE());
  const std::size_t count = size < 0 ? 0 : std::size_t(size) + 1;
  std::vector<RvPixel> table;
  try {
    table.assign(count, RvMakePixel(0, 0, 0));
  } catch (const std::bad_alloc&) {
    RaiseError(kErrNoMemory, "Out of memory allocationg color table.");
  }
  const std::uint8_t* p = m_source->ReadNBytes(count * 8);
  for (std::size_t i = 0; i < count; ++i, p += 8) {
    // A device table (top flag bit) lists its entries in order; otherwise each names its index.
    const std::size_t slot = (flags & 0x8000) ? i : std::size_t((p[0] << 8) | p[1]);
    if (slot < count) table[slot] = RvMakePixel(p[2], p[4], p[6]);
  }
  return table;
}

void CMacPictDecoder::ReadRow(const PixMapInfo& info, bool packed, int unitSize,
                              std::size_t unpackedSize, std::vector<std::uint8_t>* row) {
  row->assign(unpackedSize, 0);
  if (!packed) {
    const std::uint8_t* data = m_source->ReadNBytes(unpackedSize);
    std::copy(data, data + unpackedSize, row->begin());
    return;
  }
  const std::size_t count = info.rowBytes > 250 ? m_source->ReadWordBE() : m_source->ReadByte();
  const std::uint8_t* data = m_source->ReadNBytes(count);
  std::size_t in = 0, out = 0;
  const std::size_t unit = std::size_t(unitSize);
  // PackBits: a count byte n >= 0 copies n + 1 units literally, n in -127..-1 repeats the next
  // unit 1 - n times, -128 is a no-op. Output beyond the row is dropped, never written.
  while (in < count && out < unpackedSize) {
    const int n = static_cast<std::int8_t>(data[in++]);
    if (n >= 0) {
      const std::size_t len = std::min(std::size_t(n + 1) * unit, count - in);
      const std::size_t copy = std::min(len, unpackedSize - out);
      std::memcpy(row->data() + out, data + in, copy);
      in += len;
      out += copy;
    } else if (n != -128) {
      if (in + unit > count) break;
      for (int k = 0; k < 1 - n && out < unpackedSize; ++k) {
        const std::size_t copy = std::min(unit, unpackedSize - out);
        std::memcpy(row->data() + out, data + in, copy);
        out += copy;
      }
      in += unit;
    }
  }
}

void CMacPictDecoder::EnsureCanvas() {
  if (!m_canvas.empty()) return;
  const std::int64_t w = m_frame.Width(), h = m_frame.Height();
  if (w <= 0 || h <= 0) RaiseError(kErrFormat, kBadGeometry);
  if (w * h > kMaxPixels) RaiseError(kErrNoMemory, "Out of memory creating bitmap.");
  // Images may be stretched onto the frame, so a small file can fill a larger frame; but not a
  // frame beyond what the whole file's rows could cover even at PackBits' best (one-bit rows,
  // 128 bytes from 2), unless it stays small anyway.
  if (w * h > kFreeCanvasPixels &&
      std::uint64_t(w * h) / kMaxPixelsPerByte > m_source->GetFileSize())
    RaiseError(kErrFormat, "The picture frame is larger than the file's data can describe.");
  try {
    m_canvas.assign(std::size_t(w * h), kWhite);
    if (m_indexed) m_indexes.assign(std::size_t(w * h), kUncovered);
  } catch (const std::bad_alloc&) {
    RaiseError(kErrNoMemory, "Out of memory creating bitmap.");
  }
  m_width = int(w);
  m_height = int(h);
}

void CMacPictDecoder::ChargeWork(std::uint64_t pixels) {
  m_work += pixels;
  if (m_work > m_workBudget)
    RaiseError(kErrFormat, "The picture's images are larger than the file's data can describe.");
}

void CMacPictDecoder::UseIndexedTable(const std::vector<RvPixel>& table) {
  if (!m_indexed) return;
  const std::size_t n = std::min<std::size_t>(table.size(), 256);
  std::vector<RvPixel> first(table.begin(), table.begin() + n);
  if (m_table.empty()) {
    m_table = std::move(first);
  } else if (m_table != first) {
    DropIndexes();
  }
}

void CMacPictDecoder::DropIndexes() {
  m_indexed = false;
  m_indexes = {};
}

void CMacPictDecoder::DecodeBits(int opcode) {
  const PixMapInfo info = ReadPixMap(false);
  // A plain bitmap draws its set bits in black on white.
  const std::vector<RvPixel> table =
      info.isPixMap ? ReadColourTable() : std::vector<RvPixel>{kWhite, RvMakePixel(0, 0, 0)};
  const Rect src = ReadRect();
  const Rect dst = ReadRect();
  m_source->ReadWordBE();  // transfer mode: images are copied
  if (opcode & 1) SkipRegion();
  const int bits = info.pixelSize;
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8)
    RaiseError(kErrFormat, "Bad bits per pixel in expandBuf.");

  EnsureCanvas();
  m_haveImage = true;
  if (table.size() > 256) DropIndexes();
  UseIndexedTable(table);
  RowPlacer placer(info.bounds, src, dst, m_frame, m_width, m_height);
  const int width = info.bounds.Width();
  ChargeWork(placer.Work() + std::uint64_t(width) * std::uint64_t(info.bounds.Height()));
  const bool packed = opcode >= 0x98 && info.rowBytes >= 8;
  std::vector<std::uint8_t> row;
  std::vector<RvPixel> pixels(width);
  std::vector<std::uint16_t> indexes(width);
  const std::size_t needed = (std::size_t(width) * bits + 7) / 8;
  const unsigned mask = (1u << bits) - 1;
  for (int y = 0; y < info.bounds.Height(); ++y) {
    ReadRow(info, packed, 1, info.rowBytes, &row);
    if (row.size() < needed) row.resize(needed, 0);  // short rows read as zero bits
    for (int x = 0; x < width; ++x) {
      const std::size_t bit = std::size_t(x) * bits;
      const unsigned index = (row[bit >> 3] >> (8 - bits - (bit & 7))) & mask;
      if (index >= table.size())
        RaiseError(kErrFormat, "pixel value greater than colour table size.");
      pixels[x] = table[index];
      indexes[x] = std::uint16_t(index);
    }
    placer.Place(y, pixels, indexes.data(), m_canvas.data(), m_indexed ? m_indexes.data() : nullptr,
                 m_width);
  }
}

void CMacPictDecoder::DecodeDirectBits(int opcode) {
  Skip(4);  // base address
  const PixMapInfo info = ReadPixMap(true);
  const Rect src = ReadRect();
  const Rect dst = ReadRect();
  m_source->ReadWordBE();  // transfer mode
  if (opcode & 1) SkipRegion();
  if (info.pixelSize != 16 && info.pixelSize != 32)
    RaiseError(kErrFormat, "Bad bits per pixel in expandBuf8.");

  EnsureCanvas();
  m_haveImage = true;
  DropIndexes();
  RowPlacer placer(info.bounds, src, dst, m_frame, m_width, m_height);
  const std::size_t width = std::size_t(info.bounds.Width());
  ChargeWork(placer.Work() + width * std::uint64_t(info.bounds.Height()));
  std::vector<std::uint8_t> row;
  std::vector<RvPixel> pixels(width);

  // How the rows are stored: narrow rows are never packed; pack type 1 is raw, 2 drops the pad
  // byte of 32-bit pixels, 3 packs 16-bit units, 4 (and the default 0) packs each component
  // of a 32-bit row as a plane of its own.
  enum class Layout { kRaw16, kPacked16, kRaw32, kRgb24, kPlanes };
  Layout layout;
  if (info.pixelSize == 16)
    layout = (info.rowBytes < 8 || info.packType == 1) ? Layout::kRaw16 : Layout::kPacked16;
  else if (info.rowBytes < 8 || info.packType == 1)
    layout = Layout::kRaw32;
  else if (info.packType == 2)
    layout = Layout::kRgb24;
  else
    layout = Layout::kPlanes;
  int planes = 3;
  if (layout == Layout::kPlanes) {
    if (info.cmpCount != 3 && info.cmpCount != 4)
      RaiseError(kErrFormat, "Bad bits per pixel in expandBuf8.");
    planes = info.cmpCount;
  }
  const bool alpha = info.pixelSize == 32 && info.cmpCount == 4 && layout != Layout::kRgb24;
  std::size_t unpacked = 0;
  switch (layout) {
    case Layout::kRaw16:
    case Layout::kRaw32:
      unpacked = std::size_t(info.rowBytes);
      break;
    case Layout::kPacked16:
      unpacked = std::max(std::size_t(info.rowBytes), width * 2);
      break;
    case Layout::kRgb24:
      unpacked = width * 3;
      break;
    case Layout::kPlanes:
      unpacked = width * std::size_t(planes);
      break;
  }
  const std::size_t needed = layout == Layout::kRaw32 ? width * 4 : width * 2;
  for (int y = 0; y < info.bounds.Height(); ++y) {
    const bool packed = layout == Layout::kPacked16 || layout == Layout::kPlanes;
    ReadRow(info, packed, layout == Layout::kPacked16 ? 2 : 1, unpacked, &row);
    if ((layout == Layout::kRaw16 || layout == Layout::kRaw32) && row.size() < needed)
      row.resize(needed, 0);
    const std::uint8_t* p = row.data();
    for (std::size_t x = 0; x < width; ++x) {
      switch (layout) {
        case Layout::kRaw16:
        case Layout::kPacked16: {
          const unsigned v = (unsigned(p[2 * x]) << 8) | p[2 * x + 1];
          pixels[x] = RvMakePixel(Expand5((v >> 10) & 31), Expand5((v >> 5) & 31), Expand5(v & 31));
          break;
        }
        case Layout::kRaw32: {
          const std::uint8_t* q = p + 4 * x;
          pixels[x] = RvMakePixel(q[1], q[2], q[3], alpha ? q[0] : 255);
          break;
        }
        case Layout::kRgb24:
          pixels[x] = RvMakePixel(p[3 * x], p[3 * x + 1], p[3 * x + 2]);
          break;
        case Layout::kPlanes: {
          const std::size_t o = planes == 4 ? width : 0;  // the alpha plane comes first
          pixels[x] = RvMakePixel(p[o + x], p[o + width + x], p[o + 2 * width + x],
                                  planes == 4 ? p[x] : 255);
          break;
        }
      }
    }
    placer.Place(y, pixels, nullptr, m_canvas.data(), nullptr, m_width);
  }
  if (alpha) m_hasAlpha = true;
}

void CMacPictDecoder::DecodeQuickTime() {
  const std::size_t length = m_source->ReadLongBE();
  const std::size_t start = m_source->GetPosition();
  if (length > m_source->GetRemaining())
    throw CTextException(kErrEndOfFile, "End of file reached while decoding.\n");
  const std::size_t end = start + length;

  m_source->ReadWordBE();  // version
  std::int32_t matrix[9];
  for (std::int32_t& m : matrix) m = static_cast<std::int32_t>(m_source->ReadLongBE());
  const std::size_t matteSize = m_source->ReadLongBE();
  Skip(8 + 2 + 8 + 4);  // matte rectangle, mode, source rectangle, accuracy
  const std::size_t maskSize = m_source->ReadLongBE();
  if (matteSize > 0) {
    // A matte is an image description of its own followed by its data.
    const std::size_t descSize = m_source->ReadLongBE();
    Skip(descSize >= 4 ? descSize - 4 : 0);
    Skip(matteSize);
  }
  Skip(maskSize);

  const std::size_t descStart = m_source->GetPosition();
  const std::size_t descSize = m_source->ReadLongBE();
  const std::uint8_t* codec = m_source->ReadNBytes(4);
  if (std::memcmp(codec, "jpeg", 4) != 0 || descSize < 86 || descStart + descSize > end)
    RaiseError(kErrUnsupported, "PICT file contains unrecognized quicktime data.\n");
  Skip(36);  // reserved words, versions, vendor, qualities, width and height, resolutions
  std::size_t dataSize = m_source->ReadLongBE();
  m_source->Seek(descStart + descSize);
  if (dataSize == 0 || dataSize > end - m_source->GetPosition())
    dataSize = end - m_source->GetPosition();

  CMemImageSource memory;
  memory.Open(m_source->ReadNBytes(dataSize), dataSize, "PICT JPEG");
  CDIBSectionBitmap image;
  CJPEGDecoder jpeg;
  jpeg.DecodeSource(&memory, &image, 32);

  EnsureCanvas();
  m_haveImage = true;
  DropIndexes();
  Rect bounds;
  bounds.right = image.GetWidth();
  bounds.bottom = image.GetHeight();
  // The matrix places the image: entries 0 and 4 scale, 6 and 7 translate (16.16 fixed point).
  auto scaled = [](int size, std::int32_t factor) {
    return factor > 0 ? int(std::int64_t(size) * factor >> 16) : size;
  };
  Rect dst;
  dst.left = matrix[6] >> 16;
  dst.top = matrix[7] >> 16;
  dst.right = dst.left + scaled(bounds.right, matrix[0]);
  dst.bottom = dst.top + scaled(bounds.bottom, matrix[4]);
  RowPlacer placer(bounds, bounds, dst, m_frame, m_width, m_height);
  std::vector<RvPixel> pixels(bounds.right);
  for (int y = 0; y < bounds.bottom; ++y) {
    for (int x = 0; x < bounds.right; ++x) pixels[x] = image.GetPixel(x, y) | 0xFF000000u;
    placer.Place(y, pixels, nullptr, m_canvas.data(), nullptr, m_width);
  }
  m_source->Seek(end);
}

void CMacPictDecoder::WriteResult(CImageBitmap* bitmap, int bppWanted) {
  if (!m_haveImage) RaiseError(kErrUnsupported, "PICT contained only vector data!\n");
  const std::size_t count = m_canvas.size();
  int white = -1;
  if (m_indexed && std::find(m_indexes.begin(), m_indexes.end(), kUncovered) != m_indexes.end()) {
    // Parts of the frame no image covers show the white background: they need a white entry.
    const auto it = std::find(m_table.begin(), m_table.end(), kWhite);
    if (it != m_table.end()) {
      white = int(it - m_table.begin());
    } else if (m_table.size() < 256) {
      white = int(m_table.size());
      m_table.push_back(kWhite);
    } else {
      DropIndexes();
    }
  }
  if (m_indexed && bppWanted != 32) {
    bitmap->Create(m_width, m_height, 8, false);
    std::vector<RvPixel> palette(256, RvMakePixel(0, 0, 0));
    std::copy(m_table.begin(), m_table.end(), palette.begin());
    bitmap->SetPalette(palette.data());
    CBitmapLock lock(bitmap);
    std::uint8_t* const* lines = bitmap->GetLineArray();
    for (int y = 0; y < m_height; ++y)
      for (int x = 0; x < m_width; ++x) {
        const std::uint16_t i = m_indexes[std::size_t(y) * m_width + x];
        lines[y][x] = std::uint8_t(i == kUncovered ? white : i);
      }
    return;
  }
  // Some writers leave the alpha channel of opaque pictures zero: all-zero alpha means none.
  bool alpha = m_hasAlpha;
  if (alpha) {
    alpha = std::any_of(m_canvas.begin(), m_canvas.end(),
                        [](RvPixel p) { return RvPixelAlpha(p) != 0; });
    if (!alpha)
      for (std::size_t i = 0; i < count; ++i) m_canvas[i] |= 0xFF000000u;
  }
  bitmap->Create(m_width, m_height, 32, alpha);
  CBitmapLock lock(bitmap);
  std::uint8_t* const* lines = bitmap->GetLineArray();
  for (int y = 0; y < m_height; ++y)
    std::memcpy(lines[y], m_canvas.data() + std::size_t(y) * m_width,
                std::size_t(m_width) * sizeof(RvPixel));
}
