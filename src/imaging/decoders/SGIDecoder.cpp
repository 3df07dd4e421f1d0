#include "imaging/decoders/SGIDecoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/decoders/DecoderLimits.h"

using namespace rvdecode;

namespace {

constexpr std::uint16_t kMagic = 474;
constexpr std::size_t kHeaderSize = 512;
// Where each channel lands in a blue, green, red, alpha pixel.
constexpr int kChannelOffset[4] = {2, 1, 0, 3};
const char* const kName = "Silicon Graphics SGI";
// An image without an alpha channel is fully opaque; written copies and alpha views rely on it.
constexpr std::uint8_t kOpaque = 255;

// 16-bit samples keep their top eight bits the way the format's own tools scale them:
// trunc(s x 255 / 65535), which is the same as s / 257.
inline std::uint8_t Sample16(const std::uint8_t* p) { return std::uint8_t(WordBE(p) / 257); }

[[noreturn]] void Fail(int code, const std::string& text) { throw CTextException(code, text); }

// Decodes one run-length row of one channel into all width samples of dst (those a short row
// does not reach become zero); dst has kLongItemSlack bytes of room past the width.
void DecodeRleRow(CByteCursor in, bool wide, int width, std::uint8_t* dst) {
  int x = 0;
  if (!wide) {
    // While an item's fixed-size reads (a count and 128 bytes) stay inside the data, it needs
    // no input checks; the last few go through the checked loop below.
    constexpr std::size_t kLookahead = 1 + 128;
    const std::uint8_t* p = in.Position();
    const std::uint8_t* const end = in.End();
    while (std::size_t(end - p) >= kLookahead) {
      const unsigned item = *p;
      const int count = int(item & 0x7F);
      if (count == 0) {
        if (x < width) std::memset(dst + x, 0, std::size_t(width - x));
        return;
      }
      if (count > width - x)
        Fail(kErrCorrupt, std::string(kName) + " run-length row is longer than the image width");
      if (item & 0x80) {
        CopyItem(dst + x, p + 1, std::size_t(count));
        p += 1 + count;
      } else {
        FillItem(dst + x, p[1], std::size_t(count));
        p += 2;
      }
      x += count;
    }
    in.Bytes(std::size_t(p - in.Position()));
  }
  for (;;) {
    const unsigned item = wide ? in.WordBE() : in.Byte();
    const int count = int(item & 0x7F);
    if (count == 0) {
      // The rest of a short row is zero (this also clears what the last item's whole-word
      // writes left there).
      if (x < width) std::memset(dst + x, 0, std::size_t(width - x));
      return;
    }
    if (count > width - x)
      Fail(kErrCorrupt, std::string(kName) + " run-length row is longer than the image width");
    if (item & 0x80) {
      const std::uint8_t* src = in.Bytes(std::size_t(count) * (wide ? 2 : 1));
      if (wide) {
        for (int i = 0; i < count; ++i) dst[x + i] = Sample16(src + 2 * i);
      } else {
        CopyRun(dst + x, src, std::size_t(count), in.End());
      }
    } else {
      FillRun(dst + x, wide ? Sample16(in.Bytes(2)) : in.Byte(), std::size_t(count));
    }
    x += count;
  }
}

}  // namespace

bool CSGIDecoder::CanDecode(const std::uint8_t* header, std::size_t size) const {
  return size >= 2 && WordBE(header) == kMagic;
}

void CSGIDecoder::DoDecode(CImageSource* source, CImageBitmap* bitmap, int /*bppWanted*/) {
  const std::uint8_t* header = source->ReadNBytes(kHeaderSize);
  if (WordBE(header) != kMagic)
    Fail(kErrUnsupported, "Silicon Graphics SGI format starts with magic number 474");
  const bool rle = header[2] == 1;
  const bool wide = header[3] == 2;
  const int dimension = WordBE(header + 4);
  const int width = WordBE(header + 6);
  const int height = WordBE(header + 8);
  const int channels = WordBE(header + 10);
  if (dimension != 3)
    Fail(kErrUnsupported, "Silicon Graphics SGI only supported with 3 dimensions");
  if (std::string p = ImageSizeProblem(width, height, 32); !p.empty())
    Fail(kErrFormat, std::string(kName) + ": " + p);
  if (channels == 0) Fail(kErrFormat, std::string(kName) + ": the image has no channels.");
  const int used = std::min(channels, 4);
  const std::size_t sampleBytes = wide ? 2 : 1;
  const std::size_t rowBytes = std::size_t(width) * sampleBytes;
  const std::size_t plane = rowBytes * std::size_t(height);

  if (!rle) {
    if (std::string p = DataCapacityProblem(std::uint64_t(plane) * used, source->GetRemaining());
        !p.empty())
      Fail(kErrFormat, std::string(kName) + ": " + p);
    const std::uint8_t* data = source->ReadNBytes(plane * std::size_t(used));
    // Only the interleaving path writes whole pixels; the others fill single channels.
    if (!wide && used >= 3)
      bitmap->CreateForOverwrite(width, height, 32, true);
    else
      bitmap->Create(width, height, 32, true);
    CBitmapLock lock(bitmap);
    std::uint8_t* const* lines = bitmap->GetLineArray();
    for (int y = 0; y < height; ++y) {
      std::uint8_t* dst = lines[height - 1 - y];
      const std::uint8_t* src = data + std::size_t(y) * rowBytes;
      if (!wide && used >= 3) {
        InterleavePlanes(src, src + plane, src + 2 * plane, used == 4 ? src + 3 * plane : nullptr,
                         kOpaque, width, dst);
        continue;
      }
      if (used < 4)
        for (int x = 0; x < width; ++x) dst[4 * std::size_t(x) + 3] = kOpaque;
      for (int c = 0; c < used; ++c) {
        const std::uint8_t* s = src + std::size_t(c) * plane;
        std::uint8_t* d = dst + kChannelOffset[c];
        if (wide) {
          for (int x = 0; x < width; ++x) d[4 * std::size_t(x)] = Sample16(s + 2 * std::size_t(x));
        } else {
          for (int x = 0; x < width; ++x) d[4 * std::size_t(x)] = s[x];
        }
      }
    }
    return;
  }

  // Run-length storage: offset and length tables, channel-major, then the rows in any order.
  const std::size_t entries = std::size_t(height) * std::size_t(channels);
  const std::uint64_t tablesEnd = kHeaderSize + 8 * std::uint64_t(entries);
  if (std::string p = DataCapacityProblem(8 * std::uint64_t(entries), source->GetRemaining());
      !p.empty())
    Fail(kErrFormat, std::string(kName) + ": " + p);
  const std::uint8_t* tables = source->ReadNBytes(8 * entries);
  CByteCursor rest = RestOfSource(source);
  const std::uint8_t* block = rest.Position();
  const std::size_t blockSize = rest.Remaining();

  bitmap->CreateForOverwrite(width, height, 32, true);  // every row is interleaved whole
  CBitmapLock lock(bitmap);
  std::uint8_t* const* lines = bitmap->GetLineArray();
  // Row by row, all channels of a row together, so each output row is written once while it is
  // in the cache.
  const std::size_t stride = std::size_t(width) + kLongItemSlack;
  // Colour channels the image lacks stay zero and a missing alpha is opaque; the others are
  // rewritten whole for every row.
  std::vector<std::uint8_t> samples(stride * 4, 0);
  std::uint8_t* channel[4] = {samples.data(), samples.data() + stride, samples.data() + 2 * stride,
                              samples.data() + 3 * stride};
  for (int y = 0; y < height; ++y) {
    for (int c = 0; c < used; ++c) {
      const std::size_t index = std::size_t(c) * std::size_t(height) + std::size_t(y);
      std::uint32_t start = LongBE(tables + 4 * index);
      // A zero start means the following word holds it; the length table follows the start
      // table, so the word after the last start entry is still inside the tables.
      if (start == 0) start = LongBE(tables + 4 * (index + 1));
      if (start < tablesEnd) {
        std::memset(channel[c], 0, std::size_t(width));
        continue;
      }
      const std::uint64_t offset = start - tablesEnd;
      if (offset >= blockSize) ThrowEndOfData();
      DecodeRleRow(CByteCursor(block + offset, blockSize - std::size_t(offset)), wide, width,
                   channel[c]);
    }
    std::uint8_t* dst = lines[height - 1 - y];
    InterleavePlanes(channel[0], channel[1], channel[2], used == 4 ? channel[3] : nullptr, kOpaque,
                     width, dst);
  }
}
