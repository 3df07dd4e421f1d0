#include "imaging/metafile/MetafileDib.h"

#include <vector>

#include "imaging/metafile/MetafileBytes.h"

namespace {

constexpr int kMaxSide = 32767;
constexpr std::uint32_t kBiRgb = 0, kBiBitfields = 3;

struct DibHeader {
  std::uint32_t size = 0;
  std::int64_t width = 0, height = 0;
  int bitCount = 0;
  std::uint32_t compression = 0;
  std::uint32_t colours = 0;
  std::uint32_t masks[3] = {0, 0, 0};
  std::vector<QRgb> table;
  std::size_t tableEnd = 0;  // offset of the rows in a packed bitmap
};

bool ReadHeader(const std::uint8_t* info, std::size_t infoSize, DibHeader* h) {
  CMetafileBytes b(info, infoSize);
  h->size = b.U32();
  const bool core = h->size == 12;
  if (core) {
    h->width = b.U16();
    h->height = b.I16();
    b.U16();
    h->bitCount = b.U16();
  } else {
    if (h->size < 40) return false;
    h->width = b.I32();
    h->height = b.I32();
    b.U16();
    h->bitCount = b.U16();
    h->compression = b.U32();
    b.Skip(12);
    h->colours = b.U32();
  }
  if (!b.Ok()) return false;
  b.Seek(h->size);
  if (h->compression == kBiBitfields) {
    if (h->bitCount != 16 && h->bitCount != 32) return false;
    // Version 4 and 5 headers hold the masks inside the header itself.
    if (h->size >= 52) b.Seek(40);
    for (std::uint32_t& m : h->masks) m = b.U32();
    if (h->size >= 52) b.Seek(h->size);
  } else if (h->compression != kBiRgb) {
    return false;  // run-length and embedded JPEG/PNG bitmaps are not read
  }
  if (h->bitCount <= 8) {
    std::size_t count = h->colours ? h->colours : (std::size_t(1) << h->bitCount);
    if (count > 256) count = 256;
    const std::size_t entry = core ? 3 : 4;
    const std::uint8_t* p = b.Bytes(count * entry);
    if (!p) return false;
    h->table.resize(std::size_t(1) << h->bitCount, qRgb(0, 0, 0));
    for (std::size_t i = 0; i < count && i < h->table.size(); ++i, p += entry)
      h->table[i] = qRgb(p[2], p[1], p[0]);
  }
  h->tableEnd = b.Position();
  return b.Ok();
}

// The value of a masked field scaled to 0-255.
int Field(std::uint32_t v, std::uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  const std::uint32_t max = mask >> shift;
  return int(std::uint64_t((v & mask) >> shift) * 255 / max);
}

}  // namespace

QImage RvDecodeDib(const std::uint8_t* info, std::size_t infoSize, const std::uint8_t* bits,
                   std::size_t bitsSize) {
  DibHeader h;
  if (!info || !ReadHeader(info, infoSize, &h)) return QImage();
  const int bpp = h.bitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return QImage();
  const bool topDown = h.height < 0;
  const std::int64_t width = h.width, height = topDown ? -h.height : h.height;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return QImage();
  const std::size_t stride = ((std::size_t(width) * bpp + 31) / 32) * 4;
  if (!bits || stride * std::size_t(height) > bitsSize) return QImage();

  std::uint32_t masks[3] = {h.masks[0], h.masks[1], h.masks[2]};
  if (h.compression != kBiBitfields) {
    if (bpp == 16) masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    if (bpp == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
  }
  QImage image(int(width), int(height), QImage::Format_RGB32);
  if (image.isNull()) return image;
  for (int y = 0; y < int(height); ++y) {
    const std::uint8_t* row = bits + stride * std::size_t(topDown ? y : height - 1 - y);
    QRgb* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < int(width); ++x) {
      switch (bpp) {
        case 1:
          out[x] = h.table[(row[x >> 3] >> (7 - (x & 7))) & 1];
          break;
        case 4:
          out[x] = h.table[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
          break;
        case 8:
          out[x] = h.table[row[x]];
          break;
        case 16: {
          const std::uint32_t v = row[2 * x] | (row[2 * x + 1] << 8);
          out[x] = qRgb(Field(v, masks[0]), Field(v, masks[1]), Field(v, masks[2]));
          break;
        }
        case 24:
          out[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
          break;
        default: {
          const std::uint8_t* p = row + 4 * x;
          const std::uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
          out[x] = qRgb(Field(v, masks[0]), Field(v, masks[1]), Field(v, masks[2]));
          break;
        }
      }
    }
  }
  return image;
}

QImage RvDecodePackedDib(const std::uint8_t* data, std::size_t size) {
  DibHeader h;
  if (!data || !ReadHeader(data, size, &h)) return QImage();
  return RvDecodeDib(data, h.tableEnd, data + h.tableEnd, size - h.tableEnd);
}
