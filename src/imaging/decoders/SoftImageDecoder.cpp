#include "imaging/decoders/SoftImageDecoder.h"

#include <algorithm>
#include <cstring>

#include "imaging/decoders/DecoderLimits.h"

using namespace rvdecode;

namespace {

constexpr std::uint32_t kMagic = 0x5380F634;
constexpr std::uint8_t kTypeMixedRle = 2;
constexpr std::uint8_t kMaskRgb = 0xE0;
constexpr std::uint8_t kMaskAlpha = 0x10;
// A mixed run of 0x80, a 16-bit count and one pixel (six bytes) stands for up to 65535 pixels.
constexpr std::uint64_t kMaxPixelsPerByte = 65535 / 6 + 1;

[[noreturn]] void Fail(int code, const std::string& text) { throw CTextException(code, text); }

// One item of a packet: how many pixels it stands for and where their bytes are. A run has
// one value, a literal item one value per pixel.
struct Item {
  std::uint32_t count = 0;
  bool run = false;
  const std::uint8_t* values = nullptr;
};

Item ReadItem(CImageSource* source, bool mixedRle, std::size_t valueBytes) {
  Item item;
  if (!mixedRle) {
    item.count = 1;
    item.run = true;
    item.values = source->ReadNBytes(valueBytes);
    return item;
  }
  const std::uint8_t n = source->ReadByte();
  if (n < 0x80) {
    item.count = n + 1u;
    item.values = source->ReadNBytes(valueBytes * item.count);
  } else {
    item.count = n == 0x80 ? source->ReadWordBE() : n - 0x7Fu;
    item.run = true;
    item.values = source->ReadNBytes(valueBytes);
  }
  return item;
}

}  // namespace

bool CSoftImageDecoder::CanDecode(const std::uint8_t* header, std::size_t size) const {
  return size >= 92 && LongBE(header) == kMagic && std::memcmp(header + 88, "PICT", 4) == 0;
}

void CSoftImageDecoder::DoDecode(CImageSource* source, CImageBitmap* bitmap, int /*bppWanted*/) {
  if (source->ReadLongBE() != kMagic)
    Fail(kErrUnsupported, "SoftImage PICT format starts with magic number 0x5380f634");
  source->ReadNBytes(84);
  if (std::memcmp(source->ReadNBytes(4), "PICT", 4) != 0)
    Fail(kErrUnsupported, "SoftImage PICT format has the identifier PICT on position 88 in file");
  const int width = source->ReadWordBE();
  const int height = source->ReadWordBE();
  source->ReadNBytes(8);

  const std::uint8_t* packet = source->ReadNBytes(4);
  const bool chained = packet[0] == 1;
  if (packet[1] != 8)
    Fail(kErrUnsupported, "SoftImage PICT format only supported with 8 bits per pixel");
  const bool colourRle = packet[2] == kTypeMixedRle;
  if (packet[3] != kMaskRgb)
    Fail(kErrUnsupported, "SoftImage PICT format only supported RGB in first channel");
  bool hasAlpha = false;
  bool alphaRle = false;
  if (chained) {
    packet = source->ReadNBytes(4);
    if (packet[0] == 1)
      Fail(kErrUnsupported,
           "SoftImage PICT format not supported with more than 2 channel packages");
    if (packet[1] != 8)
      Fail(kErrUnsupported, "SoftImage PICT format only supported with 8 bits per pixel");
    alphaRle = packet[2] == kTypeMixedRle;
    if (packet[3] != kMaskAlpha)
      Fail(kErrUnsupported, "SoftImage PICT format only supported alpha channel in second package");
    hasAlpha = true;
  }

  if (std::string p = ImageSizeProblem(width, height, 32); !p.empty())
    Fail(kErrFormat, "SoftImage PICT: " + p);
  const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
  const std::uint64_t needed = colourRle ? pixels / kMaxPixelsPerByte : pixels * 3;
  if (std::string p = DataCapacityProblem(needed, source->GetRemaining()); !p.empty())
    Fail(kErrFormat, "SoftImage PICT: " + p);

  // Colour items cover every pixel before the picture counts as complete.
  bitmap->CreateForOverwrite(width, height, 32, true);
  CBitmapLock lock(bitmap);
  std::uint8_t* const* lines = bitmap->GetLineArray();

  // Alpha items stop at the row's end: what is left of a longer run is dropped.
  auto decodeAlphaRow = [&](int y) {
    std::uint8_t* dst = lines[y] + 3;
    int x = 0;
    while (x < width) {
      const Item item = ReadItem(source, alphaRle, 1);
      const int n = int(std::min<std::uint32_t>(item.count, std::uint32_t(width - x)));
      for (int i = 0; i < n; ++i) dst[4 * std::size_t(x + i)] = item.values[item.run ? 0 : i];
      x += n;
    }
  };

  // A picture without an alpha packet is opaque. With one, pixels whose row gets no alpha items
  // (a colour run passing over the row's end) keep alpha 0.
  const std::uint8_t colourAlpha = hasAlpha ? 0 : 255;
  // Colour items may run on across row ends; the pixel position counts through the image.
  std::uint64_t position = 0;
  while (position < pixels) {
    const Item item = ReadItem(source, colourRle, 3);
    const std::uint64_t n = std::min<std::uint64_t>(item.count, pixels - position);
    for (std::uint64_t i = 0; i < n; ++i) {
      const std::uint64_t at = position + i;
      const std::uint8_t* v = item.values + (item.run ? 0 : 3 * i);
      StorePixel(lines[at / std::uint64_t(width)] + 4 * (at % std::uint64_t(width)),
                 RvMakePixel(v[0], v[1], v[2], colourAlpha));
    }
    position += n;
    // The alpha of a row follows the colour item that ends exactly at the row's end.
    if (hasAlpha && n > 0 && position % std::uint64_t(width) == 0)
      decodeAlphaRow(int(position / std::uint64_t(width)) - 1);
  }
}
