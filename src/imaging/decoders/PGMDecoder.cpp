#include "imaging/decoders/PGMDecoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/decoders/DecoderLimits.h"

using namespace rvdecode;

namespace {

// Blanks, carriage returns and line feeds separate the numbers; tabs and the other white-space
// characters are accepted as well, as the other readers of this format do.
bool IsBlank(std::uint8_t c) {
  return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\v' || c == '\f';
}
bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

// Larger numbers are not meaningful in any field; stopping here keeps the arithmetic exact.
constexpr std::uint32_t kNumberLimit = 1000000000;

}  // namespace

std::uint32_t CPGMDecoder::ReadHeaderNumber(CImageSource* source) {
  std::uint8_t c = source->ReadByte();
  for (;;) {
    if (c == '#') {
      while (c != '\r' && c != '\n') c = source->ReadByte();
    } else if (!IsBlank(c)) {
      break;
    }
    c = source->ReadByte();
  }
  if (!IsDigit(c)) RaiseError(kErrFormat, "PGM decoder: Unexpected character in the header.");
  std::uint32_t value = c - '0';
  while (source->GetRemaining() > 0 && IsDigit(*source->Peek(1))) {
    value = value * 10 + (source->ReadByte() - '0');
    if (value >= kNumberLimit) RaiseError(kErrFormat, "PGM decoder: File Line to long.");
  }
  return value;
}

void CPGMDecoder::DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) {
  const std::uint8_t* magic = source->ReadNBytes(2);
  if (magic[0] != 'P' || (magic[1] != '2' && magic[1] != '5'))
    RaiseError(kErrFormat, "PGM decoder: Is not the correct identifier P5 or P2.");
  const bool binary = magic[1] == '5';
  const std::uint32_t width = ReadHeaderNumber(source);
  const std::uint32_t height = ReadHeaderNumber(source);
  std::uint32_t maxValue = ReadHeaderNumber(source);
  source->ReadByte();  // the one character that ends the header
  // Maximum values up to 65535 are honoured (two-byte samples in binary files); zero and
  // larger values mean 255.
  if (maxValue < 1 || maxValue > 65535) maxValue = 255;

  const int outBpp = bppWanted == 32 ? 32 : 8;
  if (std::string p = ImageSizeProblem(width, height, outBpp); !p.empty())
    RaiseError(kErrFormat, "PGM decoder: " + p);
  const std::uint64_t pixels = std::uint64_t(width) * height;
  const std::uint64_t sampleBytes = maxValue > 255 ? 2 : 1;
  // Text samples need at least a digit and a separator each.
  const std::uint64_t needed = binary ? pixels * sampleBytes : 2 * pixels - 1;
  if (std::string p = DataCapacityProblem(needed, source->GetRemaining()); !p.empty())
    RaiseError(kErrFormat, "PGM decoder: " + p);

  RvPixel grey[256];
  for (int i = 0; i < 256; ++i)
    grey[i] = RvMakePixel(std::uint8_t(i), std::uint8_t(i), std::uint8_t(i));
  // Samples above the maximum are shown white rather than wrapping round to dark values.
  auto scale = [maxValue](std::uint32_t s) {
    return std::uint8_t(std::min<std::uint64_t>(std::uint64_t(s) * 255 / maxValue, 255));
  };

  const int w = int(width);
  const int h = int(height);
  bitmap->CreateForOverwrite(w, h, std::uint16_t(outBpp), false);  // every pixel is written
  if (outBpp == 8) bitmap->SetGreyPalette();
  CBitmapLock lock(bitmap);
  std::uint8_t* const* lines = bitmap->GetLineArray();
  std::vector<std::uint8_t> row(static_cast<std::size_t>(w));
  auto storeRow = [&](int y) {
    if (outBpp == 8)
      std::memcpy(lines[y], row.data(), row.size());
    else
      ExpandIndices(row.data(), w, grey, lines[y]);
  };

  if (binary) {
    std::uint8_t table[256];
    for (int i = 0; i < 256; ++i) table[i] = scale(std::uint32_t(i));
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* src = source->ReadNBytes(std::size_t(w) * sampleBytes);
      if (sampleBytes == 2) {
        for (int x = 0; x < w; ++x) row[std::size_t(x)] = scale(WordBE(src + 2 * std::size_t(x)));
      } else if (maxValue == 255 && outBpp == 8) {
        std::memcpy(lines[y], src, std::size_t(w));
        continue;
      } else {
        for (int x = 0; x < w; ++x) row[std::size_t(x)] = table[src[x]];
      }
      storeRow(y);
    }
    return;
  }

  CByteCursor in = RestOfSource(source);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t c = in.Byte();
      while (IsBlank(c)) c = in.Byte();
      if (!IsDigit(c)) RaiseError(kErrFormat, "PGM decoder: Unexpected character in a sample.");
      std::uint32_t value = c - '0';
      while (!in.AtEnd() && IsDigit(*in.Position())) {
        value = std::min<std::uint32_t>(value * 10 + (in.Byte() - '0'), kNumberLimit);
      }
      row[std::size_t(x)] = scale(value);
    }
    storeRow(y);
  }
}
