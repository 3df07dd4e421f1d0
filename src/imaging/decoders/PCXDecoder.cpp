#include "imaging/decoders/PCXDecoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/decoders/DecoderLimits.h"

using namespace rvdecode;

namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kVgaPaletteSize = 1 + 256 * 3;  // signature byte and 256 triples
// A two-byte run stands for at most 63 bytes.
constexpr std::uint64_t kMaxBytesPerByte = 63 / 2 + 1;

}  // namespace

void CPCXDecoder::DoDecode(CImageSource* source, CImageBitmap* bitmap, int /*bppWanted*/) {
  const std::uint8_t* hp = source->ReadNBytes(kHeaderSize);
  std::uint8_t header[kHeaderSize];
  std::memcpy(header, hp, kHeaderSize);
  if (header[0] != 0x0A) RaiseError(kErrWrongSignature, "Error decoding pcx: Not a PCX file.");
  if (header[2] != 1) RaiseError(kErrWrongSignature, "File has unknown encoding scheme.");
  const int bits = header[3];
  const std::int64_t width = std::int64_t(WordLE(header + 8)) - WordLE(header + 4) + 1;
  const std::int64_t height = std::int64_t(WordLE(header + 10)) - WordLE(header + 6) + 1;
  const int planes = header[65];
  const std::size_t bytesPerLine = WordLE(header + 66);

  if (bits == 1) {
    if (planes > 4) RaiseError(kErrFormat, "Can't handle image with more than 4 planes.");
    if (planes < 1) RaiseError(kErrFormat, "Can't handle bits per pixel image with planes.");
  } else if (!((bits == 2 || bits == 4 || bits == 8) && (planes == 1 || planes == 3))) {
    RaiseError(kErrFormat, "Can't handle bits per pixel image with planes.");
  }
  if (std::string p = ImageSizeProblem(width, height, 32); !p.empty())
    RaiseError(kErrFormat, "PCX: " + p);
  // Each plane row must hold the row's pixels, or unpacking would read into the next plane.
  const std::uint64_t planeRowBits =
      planes == 3 && bits == 8 ? 8 * std::uint64_t(width) : std::uint64_t(width) * bits;
  if (std::uint64_t(bytesPerLine) * 8 < planeRowBits)
    RaiseError(kErrFormat, "PCX: " + std::to_string(bytesPerLine) +
                               " bytes per line cannot hold a row of " + std::to_string(width) +
                               " pixels.");
  const std::uint64_t scanBytes = std::uint64_t(bytesPerLine) * planes;
  const std::uint64_t total = scanBytes * std::uint64_t(height);
  if (total > kMaxPixelBytes) RaiseError(kErrFormat, "PCX: the image data is too large.");
  if (std::string p = DataCapacityProblem(total / kMaxBytesPerByte, source->GetRemaining());
      !p.empty())
    RaiseError(kErrFormat, "PCX: " + p);

  // The whole image is expanded first; runs may cross row ends.
  std::vector<std::uint8_t> data(total);
  const std::size_t fileSize = source->GetFileSize();
  {
    std::uint8_t* out = data.data();
    std::uint8_t* const end = out + total;
    while (out < end) {
      const std::uint8_t b = source->ReadByte();
      if ((b & 0xC0) == 0xC0) {
        const std::size_t n = b & 0x3F;
        const std::uint8_t value = source->ReadByte();
        if (n > std::size_t(end - out)) RaiseError(kErrCorrupt, "repeat count spans end of image.");
        std::memset(out, value, n);
        out += n;
      } else {
        *out++ = b;
      }
    }
  }

  RvPixel palette[256];
  std::fill(palette, palette + 256, RvMakePixel(0, 0, 0));
  for (int i = 0; i < 16; ++i)
    palette[i] = RvMakePixel(header[16 + 3 * i], header[17 + 3 * i], header[18 + 3 * i]);
  if (bits == 8 && planes == 1) {
    // The 256-colour table follows the image data behind a 0x0C byte. Some writers leave bytes
    // between the two, so the table's usual place at the very end of the file is tried as well.
    const std::uint8_t* table = nullptr;
    if (source->GetRemaining() > 0 && *source->Peek(1) == 0x0C)
      table = source->ReadNBytes(kVgaPaletteSize);
    else if (fileSize >= kHeaderSize + kVgaPaletteSize &&
             source->GetPosition() <= fileSize - kVgaPaletteSize) {
      source->Seek(fileSize - kVgaPaletteSize);
      table = source->ReadNBytes(kVgaPaletteSize);
    } else if (source->GetRemaining() == 0) {
      source->ReadByte();  // raises the end-of-data error: the table is missing altogether
    }
    if (!table || table[0] != 0x0C) RaiseError(kErrCorrupt, "bad color map signature.");
    for (int i = 0; i < 256; ++i)
      palette[i] = RvMakePixel(table[1 + 3 * i], table[2 + 3 * i], table[3 + 3 * i]);
  } else if (bits == 1 && planes == 1) {
    palette[0] = RvMakePixel(0, 0, 0);
    palette[1] = RvMakePixel(255, 255, 255);
  }

  const int w = int(width);
  const int h = int(height);
  bitmap->CreateForOverwrite(w, h, 32, false);  // every pixel is written below
  CBitmapLock lock(bitmap);
  std::uint8_t* const* lines = bitmap->GetLineArray();
  std::vector<std::uint8_t> indices(bytesPerLine * 8);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* row = data.data() + std::size_t(y) * scanBytes;
    std::uint8_t* dst = lines[y];
    if (bits == 8 && planes == 3) {
      const std::uint8_t* red = row;
      const std::uint8_t* green = row + bytesPerLine;
      const std::uint8_t* blue = row + 2 * bytesPerLine;
      for (int x = 0; x < w; ++x)
        StorePixel(dst + 4 * std::size_t(x), RvMakePixel(red[x], green[x], blue[x]));
      continue;
    }
    if (planes == 1) {
      const int perByte = 8 / bits;
      const int mask = (1 << bits) - 1;
      for (int x = 0; x < w; ++x)
        indices[std::size_t(x)] =
            std::uint8_t((row[x / perByte] >> ((perByte - 1 - x % perByte) * bits)) & mask);
    } else {
      if (planes > 4) RaiseError(kErrCorrupt, "Can't handle more than 4 planes.");
      if (bits > 1) RaiseError(kErrCorrupt, "Can't handle more than 1 bit per pixel.");
      std::fill(indices.begin(), indices.end(), 0);
      for (int p = 0; p < planes; ++p) {
        const std::uint8_t* plane = row + std::size_t(p) * bytesPerLine;
        for (int x = 0; x < w; ++x)
          indices[std::size_t(x)] |= std::uint8_t(((plane[x >> 3] >> (7 - (x & 7))) & 1) << p);
      }
    }
    ExpandIndices(indices.data(), w, palette, dst);
  }
}
