#include "imaging/decoders/TGADecoder.h"

#include <algorithm>
#include <cstring>

#include "imaging/decoders/DecoderLimits.h"

using namespace rvdecode;

namespace {

// Converts count stored pixels of the given depth to 32-bit pixels; 8-bit pixels go through
// the palette.
void ConvertPixels(const std::uint8_t* src, int count, int depth, const RvPixel* palette,
                   std::uint8_t* dst) {
  switch (depth) {
    case 8:
      ExpandIndices(src, count, palette, dst);
      break;
    case 15:
      for (int i = 0; i < count; ++i)
        StorePixel(dst + 4 * std::size_t(i), Pixel555(WordLE(src + 2 * std::size_t(i)), 255));
      break;
    case 16:
      for (int i = 0; i < count; ++i) {
        const std::uint32_t v = WordLE(src + 2 * std::size_t(i));
        StorePixel(dst + 4 * std::size_t(i), Pixel555(v, (v & 0x8000) ? 128 : 0));
      }
      break;
    case 24:
      BgrToBgra(src, count, dst);
      break;
    case 32:
      std::memcpy(dst, src, 4 * std::size_t(count));
      break;
  }
}

RvPixel ConvertOne(const std::uint8_t* src, int depth, const RvPixel* palette) {
  std::uint8_t out[4];
  ConvertPixels(src, 1, depth, palette, out);
  RvPixel p;
  std::memcpy(&p, out, 4);
  return p;
}

// A colour-map entry is converted like a pixel of its size; 8-bit entries are grey levels.
RvPixel ConvertMapEntry(const std::uint8_t* src, int entryBits) {
  if (entryBits == 8) return RvMakePixel(src[0], src[0], src[0]);
  if (entryBits == 15 || entryBits == 16 || entryBits == 24 || entryBits == 32)
    return ConvertOne(src, entryBits, nullptr);
  return RvMakePixel(0, 0, 0);
}

// Decodes the 24- or 32-bit packets that lie wholly inside the row from pixel x on, while they
// lie well inside the data too, so that they need no checks; returns where it stopped. Whole
// blocks are written only where the row has room for them.
template <int kBytes>
int DecodePacketsInRow(const std::uint8_t*& p, const std::uint8_t* end, std::uint8_t* row, int x,
                       int width) {
  constexpr std::size_t kLookahead = 1 + 128 * kBytes + 4 * kShortPixels;
  while (x < width && std::size_t(end - p) >= kLookahead) {
    const unsigned packet = *p;
    const int count = int(packet & 0x7F) + 1;
    if (count > width - x) break;
    std::uint8_t* const out = row + 4 * std::size_t(x);
    if (packet & 0x80) {
      // A 24-bit pixel's fourth byte is the next packet's; it is replaced by opaque alpha.
      std::uint32_t pixel;
      std::memcpy(&pixel, p + 1, 4);
      if (kBytes == 3) pixel |= 0xFF000000u;
      FillPixels(out, count, pixel, width - x);
      p += 1 + kBytes;
    } else {
      if (kBytes == 4)
        CopyPixels(out, p + 1, count, width - x, std::size_t(end - p - 1));
      else
        BgrToBgra(p + 1, count, out);
      p += 1 + std::size_t(count) * kBytes;
    }
    x += count;
  }
  return x;
}

}  // namespace

void CTGADecoder::DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) {
  const std::uint8_t* hp = source->ReadNBytes(18);
  std::uint8_t header[18];
  std::memcpy(header, hp, sizeof header);
  const int idLength = header[0];
  const int mapType = header[1];
  const int imageType = header[2];
  const int mapFirst = WordLE(header + 3);
  const int mapLength = WordLE(header + 5);
  const int mapEntryBits = header[7];
  const int width = WordLE(header + 12);
  const int height = WordLE(header + 14);
  const int depth = header[16];
  const bool topFirst = (header[17] & 0x20) != 0;

  const bool rle = imageType >= 9;
  const int baseType = rle ? imageType - 8 : imageType;
  if (baseType < 1 || baseType > 3) RaiseError(kErrFormat, "Unknown TGA image type.");
  if (depth != 8 && depth != 15 && depth != 16 && depth != 24 && depth != 32)
    RaiseError(kErrFormat, "TGA pixel depth " + std::to_string(depth) + " is not supported.");

  if (idLength) source->ReadNBytes(std::size_t(idLength));

  RvPixel palette[256];
  std::fill(palette, palette + 256, RvMakePixel(0, 0, 0));
  if (mapType != 0) {
    const std::size_t entryBytes = (std::size_t(mapEntryBits) + 7) / 8;
    const std::uint8_t* map = source->ReadNBytes(entryBytes * std::size_t(mapLength));
    // Entries beyond the 256 a bitmap palette holds are read past but not kept.
    for (int i = 0; entryBytes && i < mapLength && mapFirst + i < 256; ++i)
      palette[mapFirst + i] = ConvertMapEntry(map + entryBytes * std::size_t(i), mapEntryBits);
  }
  if (baseType == 3 || (mapType == 0 && depth == 8))
    for (int i = 0; i < 256; ++i)
      palette[i] = RvMakePixel(std::uint8_t(i), std::uint8_t(i), std::uint8_t(i));

  const int outBpp = (depth > 8 || bppWanted == 32) ? 32 : 8;
  if (std::string p = ImageSizeProblem(width, height, outBpp); !p.empty())
    RaiseError(kErrFormat, "TGA: " + p);
  const std::uint64_t pixelBytes = (std::uint64_t(depth) + 7) / 8;
  const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
  // A run packet of one header byte and one pixel stands for at most 128 pixels.
  const std::uint64_t needed = rle ? pixels / 128 * (1 + pixelBytes) : pixels * pixelBytes;
  if (std::string p = DataCapacityProblem(needed, source->GetRemaining()); !p.empty())
    RaiseError(kErrFormat, "TGA: " + p);

  // Both storage kinds write every pixel of every row.
  bitmap->CreateForOverwrite(width, height, std::uint16_t(outBpp),
                             outBpp == 32 && (depth == 16 || depth == 32));
  if (outBpp == 8) bitmap->SetPalette(palette);
  CBitmapLock lock(bitmap);
  std::uint8_t* const* lines = bitmap->GetLineArray();
  const int outBytes = outBpp / 8;
  auto lineFor = [&](int r) { return lines[topFirst ? r : height - 1 - r]; };

  if (!rle) {
    for (int r = 0; r < height; ++r) {
      const std::uint8_t* src = source->ReadNBytes(std::size_t(width) * pixelBytes);
      if (outBpp == 8)
        std::memcpy(lineFor(r), src, std::size_t(width));
      else
        ConvertPixels(src, width, depth, palette, lineFor(r));
    }
    return;
  }

  // Packets may run on from one row into the next; what is left of one is carried over.
  CByteCursor in = RestOfSource(source);
  const bool fastPackets = outBpp == 32 && (depth == 32 || depth == 24);
  int pending = 0;
  bool isRun = false;
  RvPixel runPixel = 0;
  std::uint8_t runIndex = 0;
  for (int r = 0; r < height; ++r) {
    std::uint8_t* const row = lineFor(r);
    int x = 0;
    while (x < width) {
      if (pending == 0 && fastPackets) {
        const std::uint8_t* p = in.Position();
        x = depth == 32 ? DecodePacketsInRow<4>(p, in.End(), row, x, width)
                        : DecodePacketsInRow<3>(p, in.End(), row, x, width);
        in.Bytes(std::size_t(p - in.Position()));
        if (x == width) break;
      }
      if (pending == 0) {
        const std::uint8_t packet = in.Byte();
        pending = (packet & 0x7F) + 1;
        isRun = (packet & 0x80) != 0;
        if (isRun) {
          const std::uint8_t* p = in.Bytes(std::size_t(pixelBytes));
          runIndex = p[0];
          if (outBpp == 32) runPixel = ConvertOne(p, depth, palette);
        }
      }
      const int n = std::min(pending, width - x);
      if (isRun) {
        if (outBpp == 8)
          std::memset(row + x, runIndex, std::size_t(n));
        else
          FillPixels(row + 4 * std::size_t(x), n, runPixel, width - x);
      } else {
        const std::uint8_t* src = in.Bytes(std::size_t(n) * pixelBytes);
        if (outBpp == 8)
          std::memcpy(row + x, src, std::size_t(n));
        else if (depth == 32)
          CopyPixels(row + 4 * std::size_t(x), src, n, width - x, std::size_t(in.End() - src));
        else
          ConvertPixels(src, n, depth, palette, row + std::size_t(outBytes) * std::size_t(x));
      }
      x += n;
      pending -= n;
    }
  }
}
