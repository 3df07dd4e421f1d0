// The frame decoder called from several threads at once, as the read-ahead pool calls it:
// every decode gives the pixels of a decode on its own, and busy callers get lanes of their own
// instead of waiting for each other.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "DecoderTestSupport.h"
#include "imaging/FrameDecoder.h"
#include "imaging/ImageBitmap.h"

using dectest::Data;

TEST(FrameDecoderThreads, ConcurrentDecodesMatchASingleDecode) {
  const std::vector<std::string> files = {Data("imaging/png_rgba8.png"),
                                          Data("imaging/jpeg_rgb.jpg"), Data("imaging/gif_16.gif"),
                                          Data("imaging/png_pal8.png")};
  CFrameDecoder decoder;
  std::vector<std::vector<std::uint8_t>> expected;
  for (const std::string& file : files) {
    CDIBSectionBitmap bitmap;
    decoder.DecodeFile(file, &bitmap, 32);
    expected.push_back(BitmapToRGBA(bitmap));
  }
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 40; ++i) {
        const std::size_t f = std::size_t(t + i) % files.size();
        CDIBSectionBitmap bitmap;
        decoder.DecodeFile(files[f], &bitmap, 32);
        if (BitmapToRGBA(bitmap) != expected[f]) ++mismatches;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_LE(decoder.GetLaneCount(), 3u);  // never more lanes than other callers at once
}
