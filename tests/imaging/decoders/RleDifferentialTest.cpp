// Run-length decoders against plain reference decoders: large random but valid streams from a
// seeded generator, so that most items go through the decoders' unchecked block-writing loops
// and the last ones through their checked tails. Every pixel is compared; cut copies of the
// same streams must raise and never read past the data.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "DecoderTestSupport.h"
#include "imaging/decoders/MayaIFFDecoder.h"
#include "imaging/decoders/SGIDecoder.h"
#include "imaging/decoders/TGADecoder.h"
#include "imaging/decoders/WinBmpDecoder.h"

using namespace dectest;

namespace {

using Rng = std::mt19937;

int Uniform(Rng& rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
bool Chance(Rng& rng, int percent) { return Uniform(rng, 0, 99) < percent; }
std::uint8_t RandomByte(Rng& rng) { return std::uint8_t(Uniform(rng, 0, 255)); }

// The seeds are fixed so that a failure repeats; RV_RLE_SEED=n moves them all by n x 100000, to
// try other streams by hand. Failure messages print the seed the stream was made from.
std::uint32_t FirstSeed(std::uint32_t fixed) {
  const char* shift = std::getenv("RV_RLE_SEED");
  return fixed + (shift ? 100000u * std::uint32_t(std::strtoul(shift, nullptr, 10)) : 0u);
}

// An item length: short (1..4), medium (5..40) and long (41..maxLength) ones equally often.
int ItemLength(Rng& rng, int maxLength) {
  switch (Uniform(rng, 0, 2)) {
    case 0:
      return Uniform(rng, 1, 4);
    case 1:
      return Uniform(rng, 5, 40);
    default:
      return Uniform(rng, 41, maxLength);
  }
}

// What a decode must produce, top row first: palette indices for 8-bit output, else pixels
// as 0xAARRGGBB.
struct Expected {
  Expected(int w, int h) : width(w), height(h), pixels(std::size_t(w) * std::size_t(h), 0) {}
  std::uint32_t& At(int x, int y) { return pixels[std::size_t(y) * std::size_t(width) + x]; }
  std::uint32_t At(int x, int y) const { return pixels[std::size_t(y) * std::size_t(width) + x]; }
  int width;
  int height;
  std::vector<std::uint32_t> pixels;
};

// Compares geometry, every pixel, and that 8-bit rows keep their padding bytes zero (the
// bitmap promises zeroed padding, and block writes past a row's end must not break that).
::testing::AssertionResult SamePixels(const CImageBitmap& bitmap, const Expected& e, int bpp) {
  if (bitmap.GetWidth() != e.width || bitmap.GetHeight() != e.height ||
      bitmap.GetBitsPerPixel() != bpp)
    return ::testing::AssertionFailure() << "got " << bitmap.GetWidth() << "x" << bitmap.GetHeight()
                                         << "x" << bitmap.GetBitsPerPixel();
  for (int y = 0; y < e.height; ++y) {
    const std::uint8_t* row = bitmap.GetLineArray()[y];
    for (int x = 0; x < e.width; ++x)
      if (bitmap.GetPixel(x, y) != e.At(x, y))
        return ::testing::AssertionFailure()
               << "first differing pixel (" << x << "," << y << ") from the top: got "
               << bitmap.GetPixel(x, y) << ", expected " << e.At(x, y);
    for (int b = e.width; bpp == 8 && b < bitmap.GetBytesPerLine(); ++b)
      if (row[b] != 0)
        return ::testing::AssertionFailure() << "padding byte " << b << " of row " << y;
  }
  return ::testing::AssertionSuccess();
}

// A generated file, the part of it that holds the coded pixels, and what a decode must give.
struct Stream {
  Bytes file;
  std::size_t dataFrom = 0;
  std::size_t dataTo = 0;
  Expected pixels{0, 0};   // indices when the format has a palette, else 32-bit pixels
  Expected colours{0, 0};  // the palette's colours, for 32-bit output
};

// Decodes the whole file (from a block of exactly its size) twice into one bitmap, scribbling
// over its rows in between (the freed block is handed out again), and compares the pixels each
// time: short rows, padding and the rows after an early end must come from the decoder, not from
// the memory; an exception is a failure. Then four cuts in the coded data must raise end-of-data,
// or the format's corrupt or malformed code, and nothing else.
template <class Decoder>
void ExpectDecodesAndCutsRaise(const Stream& s, int bppWanted, const Expected& e, int bpp,
                               const std::string& what) {
  const auto exact = std::make_unique<std::uint8_t[]>(s.file.size());
  std::copy(s.file.begin(), s.file.end(), exact.get());
  CDIBSectionBitmap bitmap;
  for (const char* pass : {"", " (into used memory)"}) {
    std::string text;
    Decoder decoder;
    const int code = ErrorOf(
        [&] { decoder.DecodeMemory(exact.get(), s.file.size(), &bitmap, bppWanted); }, &text);
    ASSERT_EQ(code, 0) << what << pass << ": " << text;
    EXPECT_TRUE(SamePixels(bitmap, e, bpp)) << what << pass;
    for (int y = 0; y < bitmap.GetHeight(); ++y)
      std::memset(bitmap.GetLineArray()[y], 0xA5, std::size_t(bitmap.GetBytesPerLine()));
  }
  ASSERT_LT(s.dataFrom, s.dataTo) << what;
  SCOPED_TRACE(what);
  ExpectCutsFail([&](const Bytes& b) { return Decode<Decoder>(b, bppWanted); }, s.file,
                 {kErrEndOfFile, kErrCorrupt, kErrFormat}, false, s.dataFrom, s.dataTo,
                 (s.dataTo - s.dataFrom + 3) / 4);
}

std::string Describe(const char* format, std::uint32_t seed, int w, int h,
                     const std::string& more) {
  return std::string(format) + " seed " + std::to_string(seed) + " size " + std::to_string(w) +
         "x" + std::to_string(h) + " " + more;
}

// ---------------------------------------------------------------------------------------------
// Windows bitmap, escape-coded 8- and 4-bit.

// Reference: items fill a row from the left; runs and literal stretches that pass the row's
// end are cut there; an end-of-row escape leaves the rest of the row index 0; end-of-picture
// does the same, and the rows after it are index 0 too.
Stream MakeBmpRle(Rng& rng, int w, int h, bool topDown, bool rle4) {
  const int entries = rle4 ? 16 : 256;
  std::vector<RvPixel> palette(static_cast<std::size_t>(entries));
  for (RvPixel& p : palette) p = RvMakePixel(RandomByte(rng), RandomByte(rng), RandomByte(rng));

  std::vector<std::vector<std::uint8_t>> rows;  // file order, bottom row first unless topDown
  ByteWriter s;
  const int lastRow = Chance(rng, 40) ? Uniform(rng, 0, h - 1) : h - 1;
  const bool endEscape = lastRow < h - 1 || Chance(rng, 50);
  for (int r = 0; r <= lastRow; ++r) {
    std::vector<std::uint8_t> row(std::size_t(w), 0);
    const int target = Chance(rng, 15) ? Uniform(rng, 0, w - 1) : w;
    int x = 0;
    while (x < target) {
      int len = ItemLength(rng, 255);
      // On full rows the last item often passes the row's end; the decoder cuts it.
      if (len > target - x && !(target == w && Chance(rng, 50))) len = target - x;
      const int n = std::min(len, w - x);
      if (len >= 3 && Chance(rng, 50)) {
        s.U8(0).U8(unsigned(len));
        const int bytes = rle4 ? (len + 1) / 2 : len;
        std::vector<std::uint8_t> data(static_cast<std::size_t>(bytes));
        for (std::uint8_t& b : data) b = RandomByte(rng);
        for (std::uint8_t b : data) s.U8(b);
        if (bytes & 1) s.U8(0);
        for (int i = 0; i < n; ++i)
          row[std::size_t(x + i)] =
              rle4 ? ((i & 1) ? data[std::size_t(i / 2)] & 0x0F : data[std::size_t(i / 2)] >> 4)
                   : data[std::size_t(i)];
      } else {
        const std::uint8_t v = RandomByte(rng);
        s.U8(unsigned(len)).U8(v);
        for (int i = 0; i < n; ++i)
          row[std::size_t(x + i)] = rle4 ? ((i & 1) ? v & 0x0F : v >> 4) : v;
      }
      x += n;
    }
    // Now and then an item after the row is full, which covers no pixel.
    if (x == w && Chance(rng, 5)) s.U8(unsigned(Uniform(rng, 1, 255))).U8(RandomByte(rng));
    if (r == lastRow && endEscape)
      s.U8(0).U8(1);
    else
      s.U8(0).U8(0);
    rows.push_back(std::move(row));
  }

  Stream out;
  out.pixels = Expected(w, h);
  out.colours = Expected(w, h);
  rows.resize(std::size_t(h), std::vector<std::uint8_t>(std::size_t(w), 0));
  for (int r = 0; r < h; ++r) {
    const int y = topDown ? r : h - 1 - r;
    for (int x = 0; x < w; ++x) {
      const std::uint8_t i = rows[std::size_t(r)][std::size_t(x)];
      out.pixels.At(x, y) = i;
      out.colours.At(x, y) = palette[i];
    }
  }

  out.file = MakeBmp({w, topDown ? -h : h, rle4 ? 4 : 8, rle4 ? 2u : 1u, palette}, s.Get());
  out.dataFrom = out.file.size() - s.Size();
  out.dataTo = out.file.size();
  return out;
}

// The decoder does not believe a header whose picture needs more than 1024 pixels per byte of
// escape-coded data; a picture that ends very early is made again.
Stream MakeValidBmpRle(Rng& rng, int w, int h, bool topDown, bool rle4) {
  for (;;) {
    Stream b = MakeBmpRle(rng, w, h, topDown, rle4);
    if (b.dataTo - b.dataFrom >= std::size_t(w) * std::size_t(h) / 1024) return b;
  }
}

struct Size {
  int width;
  int height;
};

TEST(RleDifferential, BmpRle8AndRle4MatchReferenceInBothRowOrdersAndOutputDepths) {
  const std::vector<Size> rle8 = {{1, 300},   {3, 60},    {97, 50},  {256, 40}, {333, 41},
                                  {1000, 20}, {1023, 17}, {2049, 9}, {3000, 12}};
  const std::vector<Size> rle4 = {{1, 40}, {101, 30}, {640, 12}, {2047, 6}};
  for (const bool four : {false, true}) {
    std::uint32_t seed = FirstSeed(four ? 1200 : 1100);
    for (const Size& sz : four ? rle4 : rle8) {
      for (int topDown = 0; topDown < 2; ++topDown) {
        Rng rng(++seed);
        const Stream b = MakeValidBmpRle(rng, sz.width, sz.height, topDown != 0, four);
        const std::string what = Describe(four ? "bmp rle4" : "bmp rle8", seed, sz.width, sz.height,
                                          topDown ? "top-down" : "bottom-up");
        ExpectDecodesAndCutsRaise<CWinBmpDecoder>(b, 0, b.pixels, 8, what);
        ExpectDecodesAndCutsRaise<CWinBmpDecoder>(b, 32, b.colours, 32, what);
      }
    }
  }
}

TEST(RleDifferential, BmpDeltaEscapeDeepInTheDataIsRefused) {
  // Far from the end of the data, and right before it.
  for (int tail : {400, 0}) {
    ByteWriter s;
    for (int i = 0; i < 40; ++i) s.U8(25).U8(unsigned(i));
    s.U8(0).U8(2).U8(1).U8(1);
    for (int i = 0; i < tail / 2; ++i) s.U8(3).U8(7);
    s.U8(0).U8(1);
    const Bytes file = MakeBmp({1000, 4, 8, 1, std::vector<RvPixel>(256, 0)}, s.Get());
    std::string text;
    EXPECT_EQ(DecodeError<CWinBmpDecoder>(file, &text), kErrUnsupported) << "tail " << tail;
    EXPECT_EQ(text, "Decoder error: Encountered delta escape.\n");
  }
}

// ---------------------------------------------------------------------------------------------
// Targa, run-length types 9 (colour-mapped), 10 (true colour) and 11 (grey).

// Reference: packets cover the pixels in file order regardless of rows; a final run may
// reach past the last pixel.
Stream MakeTgaRle(Rng& rng, int type, int depth, int w, int h, bool topFirst, bool indices) {
  const bool mapped = type == 9;
  std::vector<RvPixel> palette(256);
  Bytes map;
  for (int i = 0; i < 256; ++i) {
    if (mapped) {
      const std::uint8_t b = RandomByte(rng), g = RandomByte(rng), r = RandomByte(rng);
      map.insert(map.end(), {b, g, r});
      palette[std::size_t(i)] = RvMakePixel(r, g, b);
    } else {
      palette[std::size_t(i)] = RvMakePixel(std::uint8_t(i), std::uint8_t(i), std::uint8_t(i));
    }
  }
  const int bytesPerPixel = depth / 8;
  // One stored pixel and what it must decode to.
  auto randomPixel = [&](Bytes* stored) -> std::uint32_t {
    stored->clear();
    for (int i = 0; i < bytesPerPixel; ++i) stored->push_back(RandomByte(rng));
    const Bytes& p = *stored;
    if (depth == 8) return indices ? p[0] : palette[p[0]];
    return RvMakePixel(p[2], p[1], p[0], depth == 32 ? p[3] : 255);
  };

  ByteWriter f;
  f.U8(0).U8(mapped ? 1 : 0).U8(unsigned(type)).LE16(0).LE16(mapped ? 256 : 0);
  f.U8(mapped ? 24 : 0).LE16(0).LE16(0).LE16(unsigned(w)).LE16(unsigned(h)).U8(unsigned(depth));
  f.U8((topFirst ? 0x20 : 0) | (depth == 32 ? 8 : 0)).Append(map);
  Stream out;
  out.dataFrom = f.Size();

  const std::size_t total = std::size_t(w) * std::size_t(h);
  std::vector<std::uint32_t> values;  // file order
  values.reserve(total);
  Bytes stored;
  while (values.size() < total) {
    int len = ItemLength(rng, 128);
    const bool run = Chance(rng, 50);
    const std::size_t left = total - values.size();
    if (std::size_t(len) > left && !(run && Chance(rng, 50))) len = int(left);
    if (run) {
      f.U8(0x80u | unsigned(len - 1));
      const std::uint32_t v = randomPixel(&stored);
      f.Append(stored);
      for (int i = 0; i < len && values.size() < total; ++i) values.push_back(v);
    } else {
      f.U8(unsigned(len - 1));
      for (int i = 0; i < len; ++i) {
        values.push_back(randomPixel(&stored));
        f.Append(stored);
      }
    }
  }
  out.pixels = Expected(w, h);
  for (std::size_t i = 0; i < total; ++i) {
    const int r = int(i / std::size_t(w));
    out.pixels.At(int(i % std::size_t(w)), topFirst ? r : h - 1 - r) = values[i];
  }
  out.file = f.Get();
  out.dataTo = out.file.size();
  return out;
}

TEST(RleDifferential, TgaPacketsOfEveryRunLengthTypeMatchReference) {
  // True colour (type 10) of 24 and 32 bits; colour-mapped (9) and grey (11) to 8-bit indices
  // and to 32 bits.
  struct Variant {
    int type, depth, bpp;
  };
  const Variant variants[] = {{10, 24, 32}, {10, 32, 32}, {9, 8, 8},
                              {9, 8, 32},   {11, 8, 8},   {11, 8, 32}};
  const std::vector<Size> trueColour = {{1, 200},  {100, 40}, {129, 31},
                                        {517, 13}, {1024, 7}, {3000, 5}};
  const std::vector<Size> eightBit = {{1, 150}, {99, 40}, {640, 11}, {2001, 6}};
  std::uint32_t seed = FirstSeed(2100);
  for (const Variant& v : variants) {
    for (const Size& sz : v.type == 10 ? trueColour : eightBit) {
      for (int topFirst = 0; topFirst < 2; ++topFirst) {
        Rng rng(++seed);
        const Stream t =
            MakeTgaRle(rng, v.type, v.depth, sz.width, sz.height, topFirst != 0, v.bpp == 8);
        const std::string what = Describe(
            "tga", seed, sz.width, sz.height,
            "type " + std::to_string(v.type) + ", " + std::to_string(v.depth) + "-bit to " +
                std::to_string(v.bpp) + (topFirst ? "-bit, top first" : "-bit, bottom first"));
        ExpectDecodesAndCutsRaise<CTGADecoder>(t, v.bpp == 8 ? 0 : 32, t.pixels, v.bpp, what);
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// SGI run-length rows: an offset table per channel and row, rows anywhere in the file.

// Reference: a row is items of up to 127 samples ended by a zero count; samples a short row
// does not reach are 0. Channels 0..3 are red, green, blue, alpha; missing colours are 0 and a
// missing alpha 255. Sixteen-
// bit samples keep value / 257. The file's first row is the picture's bottom row.
Stream MakeSgiRle(Rng& rng, int channels, bool wide, int w, int h) {
  const int entries = channels * h;
  std::vector<Bytes> blobs;                        // distinct encoded rows
  std::vector<std::vector<std::uint8_t>> decoded;  // their samples
  std::vector<int> blobOf(static_cast<std::size_t>(entries));
  auto put = [&](Bytes& b, unsigned v) {
    if (wide) b.push_back(std::uint8_t(v >> 8));
    b.push_back(std::uint8_t(v));
  };
  auto sample = [&](unsigned v) { return std::uint8_t(wide ? v / 257 : v); };
  auto randomValue = [&]() { return unsigned(Uniform(rng, 0, wide ? 65535 : 255)); };
  for (int e = 0; e < entries; ++e) {
    if (e > 0 && Chance(rng, 10)) {  // the same stored row serves two table entries
      blobOf[std::size_t(e)] = blobOf[std::size_t(Uniform(rng, 0, e - 1))];
      continue;
    }
    Bytes b;
    std::vector<std::uint8_t> row(std::size_t(w), 0);
    const int target = Chance(rng, 20) ? Uniform(rng, 0, w - 1) : w;
    int x = 0;
    while (x < target) {
      const int len = std::min(ItemLength(rng, 127), target - x);
      if (Chance(rng, 50)) {
        put(b, 0x80u | unsigned(len));
        for (int i = 0; i < len; ++i) {
          const unsigned v = randomValue();
          put(b, v);
          row[std::size_t(x + i)] = sample(v);
        }
      } else {
        put(b, unsigned(len));
        const unsigned v = randomValue();
        put(b, v);
        std::fill(row.begin() + x, row.begin() + x + len, sample(v));
      }
      x += len;
    }
    put(b, 0);
    blobOf[std::size_t(e)] = int(blobs.size());
    blobs.push_back(std::move(b));
    decoded.push_back(std::move(row));
  }

  ByteWriter f;
  f.BE16(474).U8(1).U8(wide ? 2 : 1).BE16(3).BE16(unsigned(w)).BE16(unsigned(h));
  f.BE16(unsigned(channels));
  f.Zeros(512 - f.Size());
  const std::uint32_t tablesEnd = 512 + 8 * std::uint32_t(entries);
  // The rows are stored in a shuffled order.
  std::vector<int> order(blobs.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = int(i);
  std::shuffle(order.begin(), order.end(), rng);
  std::vector<std::uint32_t> where(blobs.size());
  std::uint32_t at = tablesEnd;
  for (int i : order) {
    where[std::size_t(i)] = at;
    at += std::uint32_t(blobs[std::size_t(i)].size());
  }
  for (int e = 0; e < entries; ++e) f.BE32(where[std::size_t(blobOf[std::size_t(e)])]);
  for (int e = 0; e < entries; ++e)
    f.BE32(std::uint32_t(blobs[std::size_t(blobOf[std::size_t(e)])].size()));
  for (int i : order) f.Append(blobs[std::size_t(i)]);

  Stream out;
  out.dataFrom = tablesEnd;
  out.pixels = Expected(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t c[4] = {0, 0, 0, 255};
      for (int ch = 0; ch < channels; ++ch)
        c[ch] = decoded[std::size_t(blobOf[std::size_t(ch * h + y)])][std::size_t(x)];
      out.pixels.At(x, h - 1 - y) = RvMakePixel(c[0], c[1], c[2], c[3]);
    }
  }
  out.file = f.Get();
  out.dataTo = out.file.size();
  return out;
}

TEST(RleDifferential, SgiRowsMatchReferenceForAllChannelCountsAndSampleSizes) {
  const Size sizes[] = {{1, 37}, {129, 23}, {777, 11}, {3000, 5}};
  std::uint32_t seed = FirstSeed(3100);
  for (int channels : {1, 3, 4}) {
    for (int wide = 0; wide < 2; ++wide) {
      for (const Size& sz : sizes) {
        Rng rng(++seed);
        const Stream s = MakeSgiRle(rng, channels, wide != 0, sz.width, sz.height);
        const std::string what =
            Describe("sgi", seed, sz.width, sz.height,
                     std::to_string(channels) + " channels " + (wide ? "16-bit" : "8-bit"));
        ExpectDecodesAndCutsRaise<CSGIDecoder>(s, 0, s.pixels, 32, what);
      }
    }
  }
}

TEST(RleDifferential, SgiItemPassingTheRowEndIsCorruptAnywhereInTheRow) {
  // One 300-sample row: items up to three short of the width, then one that passes it, with
  // enough data behind it (or none) for either decoding loop to meet it.
  for (int behind : {300, 0}) {
    ByteWriter row;
    for (int i = 0; i < 9; ++i) row.U8(33).U8(unsigned(i));
    row.U8(0x80 | 3).U8(1).U8(2).U8(3);  // 297 + 3 = 300: the row is now full
    row.U8(1).U8(9);                     // one sample past the width
    for (int i = 0; i < behind; ++i) row.U8(1).U8(5);
    row.U8(0);
    ByteWriter f;
    f.BE16(474).U8(1).U8(1).BE16(3).BE16(300).BE16(1).BE16(1).Zeros(512 - 12);
    f.BE32(512 + 8).BE32(std::uint32_t(row.Size())).Append(row.Get());
    EXPECT_EQ(DecodeError<CSGIDecoder>(f.Get()), kErrCorrupt) << "behind " << behind;
  }
}

// ---------------------------------------------------------------------------------------------
// Maya IFF run-length tiles.

// Reference: each channel of a tile is a plane of the tile's pixels, rows bottom first, coded
// as items (below 0x80: that many plus one literal bytes; from 0x80: a run of the low bits plus
// one) that carry across tile rows; the last item may pass the plane's end and is cut there.
// Planes come alpha (when present), blue, green, red; without alpha the alpha byte is 255.
Stream MakeMayaRle(Rng& rng, bool alpha, int w, int h, int tileW, int tileH) {
  const int channels = alpha ? 4 : 3;
  Stream out;  // coded data from the first tile chunk to the end of the last tile's data
  out.pixels = Expected(w, h);
  std::vector<Bytes> tiles;
  for (int y1 = 0; y1 < h; y1 += tileH) {
    for (int x1 = 0; x1 < w; x1 += tileW) {
      const int tw = std::min(tileW, w - x1);
      const int th = std::min(tileH, h - y1);
      const std::size_t count = std::size_t(tw) * std::size_t(th);
      // A tile whose coded data is not smaller than its raw size is read as raw, so the mix
      // leans towards runs until the coding is smaller.
      Bytes data;
      std::vector<std::vector<std::uint8_t>> planes;
      for (int literalPercent = 50;; literalPercent = literalPercent / 2) {
        data.clear();
        planes.assign(std::size_t(channels), std::vector<std::uint8_t>(count, 0));
        for (auto& plane : planes) {
          std::size_t done = 0;
          while (done < count) {
            int len = ItemLength(rng, 128);
            if (std::size_t(len) > count - done && !Chance(rng, 40)) len = int(count - done);
            const std::size_t n = std::min(std::size_t(len), count - done);
            if (Chance(rng, literalPercent)) {
              data.push_back(std::uint8_t(len - 1));
              for (int i = 0; i < len; ++i) {
                const std::uint8_t v = RandomByte(rng);
                data.push_back(v);
                if (std::size_t(i) < n) plane[done + std::size_t(i)] = v;
              }
            } else {
              const std::uint8_t v = RandomByte(rng);
              data.push_back(std::uint8_t(0x80 | (len - 1)));
              data.push_back(v);
              std::fill(plane.begin() + std::ptrdiff_t(done),
                        plane.begin() + std::ptrdiff_t(done + n), v);
            }
            done += n;
          }
        }
        if (data.size() < count * std::size_t(channels)) break;
        if (literalPercent == 0) {
          ADD_FAILURE() << "a tile of " << count << " pixels cannot be coded smaller than raw";
          break;
        }
      }
      ByteWriter body;
      body.BE16(unsigned(x1)).BE16(unsigned(y1)).BE16(unsigned(x1 + tw - 1));
      body.BE16(unsigned(y1 + th - 1)).Append(data);
      tiles.push_back(IffChunk("RGBA", body.Get()));
      const std::uint8_t* a = alpha ? planes[0].data() : nullptr;
      const std::vector<std::uint8_t>& b = planes[alpha ? 1 : 0];
      const std::vector<std::uint8_t>& g = planes[alpha ? 2 : 1];
      const std::vector<std::uint8_t>& r = planes[alpha ? 3 : 2];
      for (int ty = 0; ty < th; ++ty) {
        for (int tx = 0; tx < tw; ++tx) {
          const std::size_t i = std::size_t(ty) * std::size_t(tw) + std::size_t(tx);
          out.pixels.At(x1 + tx, h - 1 - (y1 + ty)) = RvMakePixel(r[i], g[i], b[i], a ? a[i] : 255);
        }
      }
    }
  }
  std::shuffle(tiles.begin(), tiles.end(), rng);

  ByteWriter tbhd;
  tbhd.BE32(std::uint32_t(w)).BE32(std::uint32_t(h)).BE16(1).BE16(1).BE32(alpha ? 3 : 1);
  tbhd.BE16(0).BE16(unsigned(tiles.size())).BE32(1).BE32(0).BE32(0);
  ByteWriter tbmp;
  tbmp.Text("TBMP");
  for (const Bytes& t : tiles) tbmp.Append(t);
  ByteWriter cimg;
  cimg.Text("CIMG").Append(IffChunk("TBHD", tbhd.Get())).Append(IffChunk("FOR4", tbmp.Get()));
  out.file = IffChunk("FOR4", cimg.Get());
  // FOR4 header and group type, then TBHD, then the TBMP group's header and type.
  out.dataFrom = 12 + IffChunk("TBHD", tbhd.Get()).size() + 12;
  const Bytes& last = tiles.back();
  const std::uint32_t lastSize = (std::uint32_t(last[4]) << 24) | (std::uint32_t(last[5]) << 16) |
                                 (std::uint32_t(last[6]) << 8) | std::uint32_t(last[7]);
  out.dataTo = out.file.size() - last.size() + 8 + lastSize;
  return out;
}

TEST(RleDifferential, MayaTilesMatchReferenceIncludingEdgeTiles) {
  struct Case {
    bool alpha;
    int width;
    int height;
    int tileW;
    int tileH;
  };
  const Case cases[] = {{true, 64, 64, 64, 64},     {true, 200, 130, 64, 64},
                        {false, 300, 90, 64, 64},   {false, 129, 250, 128, 32},
                        {true, 1, 100, 64, 64},     {true, 500, 70, 100, 50},
                        {false, 1000, 40, 256, 40}, {true, 37, 300, 64, 64}};
  std::uint32_t seed = FirstSeed(4100);
  for (const Case& c : cases) {
    Rng rng(++seed);
    const Stream m = MakeMayaRle(rng, c.alpha, c.width, c.height, c.tileW, c.tileH);
    const std::string what = Describe("maya iff", seed, c.width, c.height,
                                      std::string(c.alpha ? "rgba" : "rgb") + " tiles " +
                                          std::to_string(c.tileW) + "x" + std::to_string(c.tileH));
    ExpectDecodesAndCutsRaise<CMayaIFFDecoder>(m, 0, m.pixels, 32, what);
  }
}

}  // namespace
