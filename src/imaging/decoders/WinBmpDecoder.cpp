#include "imaging/decoders/WinBmpDecoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/decoders/DecoderLimits.h"

using namespace rvdecode;

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitFields = 3;

// An escape-coded stream (RLE8 / RLE4) can shrink a picture a great deal; a header whose
// pixel count needs more than this many pixels per remaining byte is not believed.
constexpr std::uint64_t kMaxRlePixelsPerByte = 1024;

struct BmpHeader {
  std::int64_t width = 0;
  std::int64_t height = 0;  // positive; topDown says which way the rows run
  bool topDown = false;
  int bitCount = 0;
  std::uint32_t compression = 0;
  std::uint32_t colorsUsed = 0;
  std::uint32_t greenMask = 0;
};

// Unpacks one row of 1- or 4-bit indices, most significant bits first.
void UnpackIndices(const std::uint8_t* src, int width, int bits, std::uint8_t* dst) {
  if (bits == 1) {
    for (int x = 0; x < width; ++x) dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
  } else {
    for (int x = 0; x < width; ++x) dst[x] = (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
  }
}

void ConvertRow16(const std::uint8_t* src, int width, bool is565, std::uint8_t* dst) {
  for (int x = 0; x < width; ++x) {
    const std::uint32_t v = WordLE(src + 2 * std::size_t(x));
    StorePixel(dst + 4 * std::size_t(x), is565 ? Pixel565(v) : Pixel555(v, 255));
  }
}

// Gives the rows from fileRow on, which escape-coded data did not complete, index 0: zero in
// 8-bit output, the colour of palette entry 0 in 32-bit output (as an early-ended row's rest).
void ClearRowsFrom(CImageBitmap* bitmap, int height, bool topDown, int fileRow, RvPixel colour0) {
  std::uint8_t* const* lines = bitmap->GetLineArray();
  const std::size_t bytes = std::size_t(bitmap->GetBytesPerLine());
  for (int r = std::max(fileRow, 0); r < height; ++r) {
    std::uint8_t* line = lines[topDown ? r : height - 1 - r];
    if (bitmap->GetBitsPerPixel() == 32)
      FillPixels(line, bitmap->GetWidth(), colour0, bitmap->GetWidth());
    else
      std::memset(line, 0, bytes);
  }
}

}  // namespace

void CWinBmpDecoder::DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) {
  const std::uint8_t* fileHeader = source->ReadNBytes(14);
  if (fileHeader[0] != 'B' || fileHeader[1] != 'M')
    RaiseError(kErrWrongSignature, "Bitmap decoder: This isn't a bitmap.");
  const std::uint32_t dataOffset = LongLE(fileHeader + 10);

  const std::uint32_t infoSize = source->ReadLongLE();
  if (infoSize < 40) RaiseError(kErrFormat, "Bitmap decoder: BITMAPINFOHEADER has wrong size.");
  const std::uint8_t* info = source->ReadNBytes(36);
  BmpHeader h;
  h.width = std::int32_t(LongLE(info));
  const std::int64_t rawHeight = std::int32_t(LongLE(info + 4));
  h.topDown = rawHeight < 0;
  h.height = h.topDown ? -rawHeight : rawHeight;
  h.bitCount = WordLE(info + 10);
  h.compression = LongLE(info + 12);
  h.colorsUsed = LongLE(info + 28);

  // Later header versions (108 and 124 bytes) are longer; the palette or the colour masks
  // follow the whole header, and those versions carry the masks inside it.
  const std::uint8_t* extra = infoSize > 40 ? source->ReadNBytes(infoSize - 40) : nullptr;
  if (h.bitCount == 16 && h.compression == kBiBitFields) {
    const std::uint8_t* masks = infoSize >= 52 ? extra : source->ReadNBytes(12);
    h.greenMask = LongLE(masks + 4);
  }

  switch (h.bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      break;
    default:
      RaiseError(kErrFormat, "Decoding bmp: Illegal bpp value.");
  }

  RvPixel palette[256];
  std::fill(palette, palette + 256, RvMakePixel(0, 0, 0));
  if (h.bitCount <= 8) {
    std::uint32_t entries =
        std::min<std::uint32_t>(h.colorsUsed ? h.colorsUsed : (1u << h.bitCount), 256);
    // A count that would run into the pixel data is cut to the entries before it.
    if (dataOffset > source->GetPosition())
      entries = std::min<std::uint32_t>(entries, (dataOffset - source->GetPosition()) / 4);
    const std::uint8_t* p = source->ReadNBytes(std::size_t(entries) * 4);
    for (std::uint32_t i = 0; i < entries; ++i)
      palette[i] = RvMakePixel(p[4 * i + 2], p[4 * i + 1], p[4 * i]);
  }
  // An offset pointing back into the headers is not followed: the data is taken to start here.
  if (dataOffset > source->GetPosition()) source->Seek(dataOffset);

  const bool rle = (h.bitCount == 8 || h.bitCount == 4) && h.compression != kBiRgb;
  const int outBpp = (h.bitCount <= 8 && bppWanted != 32) ? 8 : 32;
  if (std::string p = ImageSizeProblem(h.width, h.height, outBpp); !p.empty())
    RaiseError(kErrFormat, "Bitmap decoder: " + p);
  const std::uint64_t srcStride = ((std::uint64_t(h.width) * h.bitCount + 31) / 32) * 4;
  const std::uint64_t needed =
      rle ? std::uint64_t(h.width) * std::uint64_t(h.height) / kMaxRlePixelsPerByte
          : srcStride * std::uint64_t(h.height - 1) + (std::uint64_t(h.width) * h.bitCount + 7) / 8;
  if (std::string p = DataCapacityProblem(needed, source->GetRemaining()); !p.empty())
    RaiseError(kErrFormat, "Bitmap decoder: " + p);

  const int width = int(h.width);
  const int height = int(h.height);
  // Uncompressed rows cover every pixel; escape-coded rows are completed as they are decoded,
  // and the rows the data does not reach (or an error leaves) are cleared below.
  bitmap->CreateForOverwrite(width, height, std::uint16_t(outBpp), false);
  if (outBpp == 8) bitmap->SetPalette(palette);
  CBitmapLock lock(bitmap);
  std::uint8_t* const* lines = bitmap->GetLineArray();
  auto lineFor = [&](int fileRow) { return lines[h.topDown ? fileRow : height - 1 - fileRow]; };

  std::vector<std::uint8_t> indices;
  auto storeIndices = [&](int fileRow) {
    if (outBpp == 8)
      std::memcpy(lineFor(fileRow), indices.data(), std::size_t(width));
    else
      ExpandIndices(indices.data(), width, palette, lineFor(fileRow));
  };

  if (rle) {
    // 8-bit rows are decoded in place; 32-bit rows go through a row of indices with room for
    // whole-block writes past its end.
    if (outBpp == 32) indices.resize(std::size_t(width) + 2 * kShortItem);
    const std::size_t lineBytes = std::size_t(bitmap->GetBytesPerLine());
    int rows = 0;  // rows completed
    try {
      DecodeRle(
          source, h.bitCount == 4, width, height,
          [&](int fileRow, std::size_t& room) {
            if (outBpp == 8) {
              room = lineBytes;
              return lineFor(fileRow);
            }
            room = indices.size();
            return indices.data();
          },
          [&](int fileRow) {
            if (outBpp == 32) ExpandIndices(indices.data(), width, palette, lineFor(fileRow));
            rows = fileRow + 1;
          });
    } catch (...) {
      ClearRowsFrom(bitmap, height, h.topDown, rows, palette[0]);
      throw;
    }
    ClearRowsFrom(bitmap, height, h.topDown, rows, palette[0]);
    return;
  }

  if (h.bitCount <= 8 && (h.bitCount < 8 || outBpp == 32)) indices.resize(std::size_t(width));
  const bool is565 = h.compression == kBiBitFields && h.greenMask != 0x000003E0;
  for (int r = 0; r < height; ++r) {
    // The last row's padding may be missing from a file; only its pixels are required.
    const std::size_t rowBytes =
        std::size_t(std::min<std::uint64_t>(srcStride, source->GetRemaining()));
    const std::uint8_t* src = source->ReadNBytes(rowBytes);
    std::uint8_t* dst = lineFor(r);
    switch (h.bitCount) {
      case 1:
      case 4:
        UnpackIndices(src, width, h.bitCount, indices.data());
        storeIndices(r);
        break;
      case 8:
        if (outBpp == 8)
          std::memcpy(dst, src, std::size_t(width));
        else
          ExpandIndices(src, width, palette, dst);
        break;
      case 16:
        ConvertRow16(src, width, is565, dst);
        break;
      case 24:
        BgrToBgra(src, width, dst);
        break;
      case 32:
        std::memcpy(dst, src, 4 * std::size_t(width));
        break;
    }
  }
}

int CWinBmpDecoder::DecodeRle(CImageSource* source, bool rle4, int width, int height,
                              const std::function<std::uint8_t*(int, std::size_t&)>& rowTarget,
                              const std::function<void(int)>& rowDone) {
  CByteCursor in = RestOfSource(source);
  int row = 0;
  int x = 0;
  std::size_t room = 0;
  std::uint8_t* target = rowTarget(0, room);
  // Pixels a row does not reach are index 0, and so are the row's padding and what whole-block
  // writes left past its last item.
  auto finishRow = [&] {
    if (std::size_t(x) < room) std::memset(target + x, 0, room - std::size_t(x));
    rowDone(row);
    x = 0;
    if (++row < height) target = rowTarget(row, room);
  };
  // Items with a fixed-size read of kShortItem bytes past their data need no input checks while
  // the longest item (two bytes and 255 literal bytes, padded) stays inside the data.
  constexpr std::size_t kLookahead = 2 + 256 + kShortItem;
  while (row < height) {
    if (!rle4) {
      const std::uint8_t* p = in.Position();
      const std::uint8_t* const end = in.End();
      while (std::size_t(end - p) >= kLookahead) {
        const unsigned count = p[0];
        const unsigned value = p[1];
        if (count == 0 && value < 3) break;  // an escape: end of row or picture, or a delta
        const bool literal = count == 0;
        // Runs and literal stretches that would pass the end of the row are cut there.
        const int n = std::min<int>(int(literal ? value : count), width - x);
        std::uint8_t* const at = target + x;
        if (std::size_t(n) <= kShortItem && std::size_t(x) + kShortItem <= room) {
          if (literal)
            CopyItem(at, p + 2, std::size_t(n));
          else
            FillItem(at, std::uint8_t(value), std::size_t(n));
        } else if (literal)
          LibraryCopy(at, p + 2, std::size_t(n));
        else
          LibraryFill(at, std::uint8_t(value), std::size_t(n));
        x += n;
        p += literal ? 2 + ((value + 1) & ~1u) : 2;
      }
      in.Bytes(std::size_t(p - in.Position()));
    }
    const std::uint8_t count = in.Byte();
    const std::uint8_t value = in.Byte();
    if (count != 0) {
      const int n = std::min<int>(count, width - x);
      if (rle4) {
        for (int i = 0; i < n; ++i) target[x + i] = (i & 1) ? (value & 0x0F) : (value >> 4);
      } else {
        std::memset(target + x, value, std::size_t(n));
      }
      x += n;
      continue;
    }
    switch (value) {
      case 0:
        finishRow();
        break;
      case 1:
        finishRow();
        return row;
      case 2:
        RaiseError(kErrUnsupported, "Encountered delta escape.");
      default: {
        const int n = std::min<int>(value, width - x);
        if (rle4) {
          const std::size_t bytes = (std::size_t(value) + 1) / 2;
          const std::uint8_t* p = in.Bytes((bytes + 1) & ~std::size_t(1));
          for (int i = 0; i < n; ++i)
            target[x + i] = (i & 1) ? (p[i >> 1] & 0x0F) : (p[i >> 1] >> 4);
        } else {
          const std::uint8_t* p = in.Bytes((std::size_t(value) + 1) & ~std::size_t(1));
          std::memcpy(target + x, p, std::size_t(n));
        }
        x += n;
        break;
      }
    }
  }
  return row;
}
