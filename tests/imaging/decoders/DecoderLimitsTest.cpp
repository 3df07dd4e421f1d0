#include "imaging/decoders/DecoderLimits.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

using namespace rvdecode;

namespace {

// Source data in a block of exactly its size, so that the sanitizer build sees any read past it.
std::unique_ptr<std::uint8_t[]> ExactCopy(const std::vector<std::uint8_t>& bytes) {
  auto block = std::make_unique<std::uint8_t[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), block.get());
  return block;
}

}  // namespace

// Every path of the 24-to-32-bit conversion gives each pixel its three bytes and opaque alpha,
// writes nothing past the last pixel and reads nothing past the last triple.
TEST(DecoderLimits, BgrToBgraPathsAgreeAndStayInsideTheirData) {
  std::mt19937 rng(7);
  for (int count = 0; count <= 70; ++count) {
    std::vector<std::uint8_t> bgr(3 * std::size_t(count));
    for (std::uint8_t& b : bgr) b = std::uint8_t(rng());
    const auto src = ExactCopy(bgr);
    using Convert = void (*)(const std::uint8_t*, int, std::uint8_t*);
    std::vector<Convert> paths = {BgrToBgraScalar, BgrToBgra};
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("ssse3")) paths.push_back(BgrToBgraShuffle);
#endif
    for (Convert convert : paths) {
      std::vector<std::uint8_t> out(4 * std::size_t(count) + 4, 0xAB);
      convert(src.get(), count, out.data());
      for (int x = 0; x < count; ++x) {
        const std::size_t i = 3 * std::size_t(x), o = 4 * std::size_t(x);
        ASSERT_EQ(out[o], bgr[i]) << count << " " << x;
        ASSERT_EQ(out[o + 1], bgr[i + 1]) << count << " " << x;
        ASSERT_EQ(out[o + 2], bgr[i + 2]) << count << " " << x;
        ASSERT_EQ(out[o + 3], 255) << count << " " << x;
      }
      for (std::size_t o = 4 * std::size_t(count); o < out.size(); ++o) ASSERT_EQ(out[o], 0xAB);
    }
  }
}

// Pixel fills and copies write whole blocks only where the caller gives room for them, and the
// pixels of the run are right whatever the length.
TEST(DecoderLimits, PixelFillsAndCopiesKeepToTheirRoom) {
  const RvPixel colour = RvMakePixel(1, 2, 3, 4);
  for (int count = 1; count <= 40; ++count)
    for (int room : {count, count + 3, kShortPixels, count + kShortPixels}) {
      if (room < count) continue;
      std::vector<RvPixel> row(std::size_t(room) + 8, 0x55555555u);
      FillPixels(reinterpret_cast<std::uint8_t*>(row.data()), count, colour, room);
      for (int x = 0; x < count; ++x)
        ASSERT_EQ(row[std::size_t(x)], colour) << count << "/" << room;
      for (std::size_t x = std::size_t(room); x < row.size(); ++x)
        ASSERT_EQ(row[x], 0x55555555u) << "fill " << count << " room " << room;

      std::vector<RvPixel> source(std::size_t(count) + kShortPixels);
      for (std::size_t i = 0; i < source.size(); ++i) source[i] = RvPixel(i * 0x01020304u);
      std::vector<RvPixel> copy(std::size_t(room) + 8, 0x55555555u);
      CopyPixels(reinterpret_cast<std::uint8_t*>(copy.data()),
                 reinterpret_cast<const std::uint8_t*>(source.data()), count, room,
                 4 * source.size());
      for (int x = 0; x < count; ++x) ASSERT_EQ(copy[std::size_t(x)], source[std::size_t(x)]);
      for (std::size_t x = std::size_t(room); x < copy.size(); ++x)
        ASSERT_EQ(copy[x], 0x55555555u) << "copy " << count << " room " << room;
    }
}

// Byte items of up to 128 bytes: the item's bytes are right, and nothing is written past the
// slack the item writers promise.
TEST(DecoderLimits, ByteItemsWriteTheirBytesAndNoMoreThanTheirSlack) {
  std::vector<std::uint8_t> source(1 + kLongItem);
  for (std::size_t i = 0; i < source.size(); ++i) source[i] = std::uint8_t(i * 7 + 1);
  for (std::size_t count = 1; count <= kLongItem; ++count) {
    std::vector<std::uint8_t> out(count + kLongItemSlack + 16, 0xEE);
    CopyItem(out.data(), source.data(), count);
    for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(out[i], source[i]) << count;
    for (std::size_t i = count + kLongItemSlack; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE);
    std::fill(out.begin(), out.end(), 0xEE);
    FillItem(out.data(), 0x3C, count);
    for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(out[i], 0x3C) << count;
    for (std::size_t i = count + kLongItemSlack; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE);
  }
}
