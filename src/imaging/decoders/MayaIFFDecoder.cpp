#include "imaging/decoders/MayaIFFDecoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/decoders/DecoderLimits.h"

using namespace rvdecode;

namespace {

constexpr std::uint32_t Tag(const char (&t)[5]) {
  return (std::uint32_t(std::uint8_t(t[0])) << 24) | (std::uint32_t(std::uint8_t(t[1])) << 16) |
         (std::uint32_t(std::uint8_t(t[2])) << 8) | std::uint32_t(std::uint8_t(t[3]));
}
constexpr std::uint32_t kFor4 = Tag("FOR4");
constexpr std::uint32_t kCimg = Tag("CIMG");
constexpr std::uint32_t kTbhd = Tag("TBHD");
constexpr std::uint32_t kTbmp = Tag("TBMP");
constexpr std::uint32_t kZbuf = Tag("ZBUF");
constexpr std::uint32_t kRgba = Tag("RGBA");

// A two-byte run stands for at most 128 bytes of one channel.
constexpr std::uint64_t kMaxBytesPerByte = 64;

// Tiles without alpha are opaque; written copies and alpha views rely on it.
constexpr std::uint8_t kOpaque = 255;

// 16-bit samples are scaled like SGI's: trunc(s x 255 / 65535), the same as s / 257.
inline std::uint8_t Sample16(const std::uint8_t* p) { return std::uint8_t(WordBE(p) / 257); }

[[noreturn]] void Fail(int code, const std::string& text) { throw CTextException(code, text); }

}  // namespace

bool CMayaIFFDecoder::CanDecode(const std::uint8_t* header, std::size_t size) const {
  return size >= 4 && std::memcmp(header, "FOR4", 4) == 0;
}

CMayaIFFDecoder::Chunk CMayaIFFDecoder::ReadChunk(CImageSource* source) {
  Chunk c;
  c.start = source->GetPosition();
  const std::uint8_t* h = source->ReadNBytes(8);
  c.tag = LongBE(h);
  c.size = LongBE(h + 4);
  c.end = c.start + 8 + ((std::uint64_t(c.size) + 3) & ~std::uint64_t(3));
  if (c.tag == kFor4) c.groupType = source->ReadLongBE();
  return c;
}

void CMayaIFFDecoder::SkipTo(CImageSource* source, std::uint64_t position) {
  // A chunk claiming to reach past the file takes the rest of it; the next read then meets
  // the end of the data.
  source->Seek(std::size_t(std::min<std::uint64_t>(position, source->GetFileSize())));
}

void CMayaIFFDecoder::DoDecode(CImageSource* source, CImageBitmap* bitmap, int /*bppWanted*/) {
  const Chunk form = ReadChunk(source);
  if (form.tag != kFor4) Fail(kErrUnsupported, "Maya IFF format starts with FOR4");
  if (form.groupType != kCimg) Fail(kErrUnsupported, "Maya IFF format uses CIMG");

  Chunk chunk = ReadChunk(source);
  while (chunk.tag != kTbhd) {
    SkipTo(source, chunk.end);
    chunk = ReadChunk(source);
  }
  const std::uint8_t* tbhd = source->ReadNBytes(24);
  const std::uint32_t width = LongBE(tbhd);
  const std::uint32_t height = LongBE(tbhd + 4);
  const std::uint32_t flags = LongBE(tbhd + 12);
  // Writers differ in what they store for 16-bit samples (1 or 2); any non-zero count means two
  // bytes a sample, 0 one.
  const bool wide = WordBE(tbhd + 16) != 0;
  const std::size_t sampleBytes = wide ? 2 : 1;
  const int tileCount = WordBE(tbhd + 18);
  const std::uint32_t compression = LongBE(tbhd + 20);
  if (compression > 1) Fail(kErrUnsupported, "Maya IFF format unsupported compression format > 1");
  if (!(flags & 1)) Fail(kErrUnsupported, "Maya IFF format currently only RGB and RGBA supported");
  const bool alpha = (flags & 2) != 0;
  const int channels = alpha ? 4 : 3;
  if (std::string p = ImageSizeProblem(width, height, 32); !p.empty())
    Fail(kErrFormat, "Maya IFF: " + p);
  const std::uint64_t bytes =
      std::uint64_t(width) * height * std::uint64_t(channels) * std::uint64_t(sampleBytes);
  if (std::string p = DataCapacityProblem(bytes / kMaxBytesPerByte, source->GetRemaining());
      !p.empty())
    Fail(kErrFormat, "Maya IFF: " + p);
  SkipTo(source, chunk.end);

  chunk = ReadChunk(source);
  while (chunk.tag != kFor4 || chunk.groupType != kTbmp) {
    SkipTo(source, chunk.end);
    chunk = ReadChunk(source);
  }

  const int w = int(width);
  const int h = int(height);
  bitmap->Create(w, h, 32, true);
  CBitmapLock lock(bitmap);
  std::uint8_t* const* lines = bitmap->GetLineArray();
  if (!alpha)  // pixels no tile covers are opaque black too
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) lines[y][4 * std::size_t(x) + 3] = kOpaque;
  // Run-length tiles are expanded here, one plane a channel. 16-bit samples come as two sets of
  // planes in the same channel order, the high bytes first, except alpha, whose low byte is in
  // the first set (as the format's writers store it).
  std::vector<std::uint8_t> planes;

  for (int tiles = 0; tiles < tileCount;) {
    const Chunk tile = ReadChunk(source);
    if (tile.tag == kZbuf) {
      SkipTo(source, tile.end);
      continue;
    }
    ++tiles;
    const std::uint8_t* corners = source->ReadNBytes(8);
    const int x1 = WordBE(corners);
    const int y1 = WordBE(corners + 2);
    const int x2 = WordBE(corners + 4);
    const int y2 = WordBE(corners + 6);
    if (tile.tag != kRgba) {
      SkipTo(source, tile.end);
      continue;
    }
    if (x1 > x2 || y1 > y2 || x2 >= w || y2 >= h)
      Fail(kErrFormat, "Maya IFF: a tile lies outside the image.");
    const int tw = x2 - x1 + 1;
    const int th = y2 - y1 + 1;
    const std::uint64_t expected = std::uint64_t(tw) * std::uint64_t(th) * std::uint64_t(channels) *
                                   std::uint64_t(sampleBytes);
    // The tile's data: its chunk less the corners, and never past the file's end.
    const std::uint64_t dataSize = tile.size >= 8 ? tile.size - 8 : 0;
    CByteCursor in(source->Peek(0),
                   std::size_t(std::min<std::uint64_t>(dataSize, source->GetRemaining())));
    // Tile row 0 is the image's bottom row.
    auto pixelAt = [&](int tx, int ty) {
      return lines[h - 1 - (y1 + ty)] + 4 * std::size_t(x1 + tx);
    };

    if (expected <= dataSize && wide) {
      // Per pixel alpha (when present), blue, green, red as big-endian 16-bit samples.
      // Where each stored sample lands in our blue, green, red, alpha pixel.
      constexpr int kWithAlpha[4] = {3, 0, 1, 2};
      constexpr int kWithout[3] = {0, 1, 2};
      const int* offset = alpha ? kWithAlpha : kWithout;
      for (int ty = 0; ty < th; ++ty) {
        const std::uint8_t* src = in.Bytes(std::size_t(tw) * std::size_t(channels) * 2);
        std::uint8_t* dst = pixelAt(0, ty);
        for (int tx = 0; tx < tw; ++tx, dst += 4) {
          dst[3] = kOpaque;
          for (int c = 0; c < channels; ++c, src += 2) dst[offset[c]] = Sample16(src);
        }
      }
    } else if (expected <= dataSize) {
      for (int ty = 0; ty < th; ++ty) {
        const std::uint8_t* src = in.Bytes(std::size_t(tw) * std::size_t(channels));
        std::uint8_t* dst = pixelAt(0, ty);
        if (alpha) {
          // Alpha, blue, green, red bytes are our blue, green, red, alpha turned by one byte.
          for (int tx = 0; tx < tw; ++tx) {
            std::uint32_t v;
            std::memcpy(&v, src + 4 * std::size_t(tx), 4);
            v = (v >> 8) | (v << 24);
            std::memcpy(dst + 4 * std::size_t(tx), &v, 4);
          }
        } else {
          for (int tx = 0; tx < tw; ++tx, src += 3)
            StorePixel(dst + 4 * std::size_t(tx), RvMakePixel(src[2], src[1], src[0], kOpaque));
        }
      }
    } else {
      // Channel by channel over the whole tile into separate planes; runs carry across tile
      // rows and a run that would pass the tile's end is cut there. The planes are then
      // interleaved row by row.
      const std::size_t tilePixels = std::size_t(tw) * std::size_t(th);
      const std::size_t planeStride = tilePixels + kLongItemSlack;
      const int planeCount = channels * int(sampleBytes);
      planes.resize(std::size_t(planeCount) * planeStride);
      for (int c = 0; c < planeCount; ++c) {
        std::uint8_t* plane = planes.data() + std::size_t(c) * planeStride;
        std::size_t done = 0;
        // Items that end well inside the plane and whose fixed-size reads (a count and 128
        // bytes) stay inside the data need no checks; the rest go through the loop below.
        const std::uint8_t* p = in.Position();
        const std::uint8_t* const end = in.End();
        while (tilePixels - done >= 128 && std::size_t(end - p) >= 1 + 128) {
          const unsigned n = *p;
          const std::size_t length = (n & 0x7Fu) + 1;
          const bool literal = n < 0x80;
          if (literal) {
            CopyItem(plane + done, p + 1, length);
            p += 1 + length;
          } else {
            FillItem(plane + done, p[1], length);
            p += 2;
          }
          done += length;
        }
        in.Bytes(std::size_t(p - in.Position()));
        while (done < tilePixels) {
          const std::uint8_t n = in.Byte();
          const std::size_t length = (n & 0x7Fu) + 1;
          const std::size_t count = std::min(length, tilePixels - done);
          if (n >= 0x80) {
            FillRun(plane + done, in.Byte(), count);
          } else {
            const std::uint8_t* src = in.Bytes(length);
            CopyRun(plane + done, src, count, in.End());
          }
          done += count;
        }
      }
      if (wide) {
        // Each channel's two planes become its 8-bit samples, in the first one.
        for (int c = 0; c < channels; ++c) {
          std::uint8_t* first = planes.data() + std::size_t(c) * planeStride;
          const std::uint8_t* second = first + std::size_t(channels) * planeStride;
          const bool swapped = alpha && c == 0;
          for (std::size_t i = 0; i < tilePixels; ++i) {
            const std::uint8_t word[2] = {swapped ? second[i] : first[i],
                                          swapped ? first[i] : second[i]};
            first[i] = Sample16(word);
          }
        }
      }
      // Plane order in the file: alpha (when present), blue, green, red.
      const std::uint8_t* first = planes.data();
      const std::uint8_t* a = alpha ? first : nullptr;
      const std::uint8_t* b = alpha ? first + planeStride : first;
      const std::uint8_t* g = b + planeStride;
      const std::uint8_t* r = g + planeStride;
      for (int ty = 0; ty < th; ++ty) {
        const std::size_t at = std::size_t(ty) * std::size_t(tw);
        InterleavePlanes(r + at, g + at, b + at, a ? a + at : nullptr, kOpaque, tw, pixelAt(0, ty));
      }
    }
    SkipTo(source, tile.end);
  }
}
