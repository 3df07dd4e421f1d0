#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "BitmapFixtures.h"
#include "imageops/MoBlurBuffer.h"

using namespace rvimageops_test;

namespace {

// Non-commuting transforms, so the order A then B shows in the result.
class AddToBlue : public CPixelTransform {
 public:
  explicit AddToBlue(std::uint8_t amount) : m_amount(amount) {}
  RvPixel Map(RvPixel p) const override {
    return (p & 0xFFFFFF00u) | std::uint8_t(RvPixelBlue(p) + m_amount);
  }

 private:
  std::uint8_t m_amount;
};

class DoubleBlue : public CPixelTransform {
 public:
  RvPixel Map(RvPixel p) const override {
    return (p & 0xFFFFFF00u) | std::uint8_t(RvPixelBlue(p) * 2);
  }
};

RvPixel Grey(std::uint8_t v) { return RvMakePixel(v, v, v, v); }

// Every byte of every pixel of a uniformly mixed picture.
void ExpectAllBytes(const CImageBitmap& bitmap, std::uint8_t value) {
  for (int y = 0; y < bitmap.GetHeight(); ++y) {
    for (int x = 0; x < bitmap.GetWidth(); ++x) {
      ASSERT_EQ(Pixel32(bitmap, x, y), Grey(value)) << x << "," << y;
    }
  }
}

}  // namespace

TEST(MoBlurBuffer, StartsWithTrailFadeOfThreeFramesAtAlpha64) {
  CKaMoBlurBuffer buffer;
  EXPECT_EQ(buffer.GetMode(), CKaMoBlurBuffer::kModeTrailFade);
  EXPECT_EQ(buffer.GetFrames(), 3u);
  EXPECT_EQ(buffer.GetAlpha(), 64);
}

TEST(MoBlurBuffer, PassesThroughWhatItDoesNotCompose) {
  CKaMoBlurBuffer buffer;
  AddToBlue add(1);
  EXPECT_EQ(buffer.Process(nullptr, &add, nullptr), nullptr);

  // A palettised frame is shown as it is in every mode, even with transforms.
  auto palettised = MakePatterned(8, 8, 8);
  for (std::int32_t mode : {0, 1, 2}) {
    buffer.SetMode(mode);
    EXPECT_EQ(buffer.Process(palettised.get(), &add, &add), palettised.get()) << mode;
  }
  auto rgb = MakePatterned(8, 8, 24);
  EXPECT_EQ(buffer.Process(rgb.get(), &add, nullptr), rgb.get());

  // Off without transforms: the frame itself, no copy.
  buffer.SetMode(CKaMoBlurBuffer::kModeOff);
  auto frame = MakePatterned(8, 8, 32);
  EXPECT_EQ(buffer.Process(frame.get(), nullptr, nullptr), frame.get());
  // Frames 0 disables ghosting in the other modes, and unknown modes count as off.
  buffer.SetFrames(0);
  buffer.SetMode(CKaMoBlurBuffer::kModeEqual);
  EXPECT_EQ(buffer.Process(frame.get(), nullptr, nullptr), frame.get());
  buffer.SetFrames(3);
  buffer.SetMode(9);
  EXPECT_EQ(buffer.Process(frame.get(), nullptr, nullptr), frame.get());
}

TEST(MoBlurBuffer, OffModeAppliesTransformAThenB) {
  CKaMoBlurBuffer buffer;
  buffer.SetMode(CKaMoBlurBuffer::kModeOff);
  auto frame = MakeFilled(5, 3, RvMakePixel(9, 8, 10, 77), true);
  AddToBlue add(5);
  DoubleBlue twice;
  const CImageBitmap* shown = buffer.Process(frame.get(), &add, &twice);
  ASSERT_NE(shown, frame.get());
  EXPECT_TRUE(shown->HasAlpha());
  // (10 + 5) x 2 = 30; the other order would give 25.
  EXPECT_EQ(Pixel32(*shown, 4, 2), RvMakePixel(9, 8, 30, 77));
  // Only B given.
  shown = buffer.Process(frame.get(), nullptr, &twice);
  EXPECT_EQ(Pixel32(*shown, 0, 0), RvMakePixel(9, 8, 20, 77));
  // The frame itself is never written.
  EXPECT_EQ(Pixel32(*frame, 0, 0), RvMakePixel(9, 8, 10, 77));
}

TEST(MoBlurBuffer, DisplayTransformsDoNotFeedBackIntoTheTrail) {
  CKaMoBlurBuffer buffer;
  buffer.SetAlpha(127);
  auto frame = MakeFilled(2, 2, RvMakePixel(0, 0, 100, 0));
  AddToBlue add(50);
  // 100 x 127 / 255 = 49, shown as 99.
  EXPECT_EQ(Pixel32(*buffer.Process(frame.get(), &add, nullptr), 1, 1), RvMakePixel(0, 0, 99, 0));
  // Trail 49 (not 99): 49 + 49 x 128 / 255 = 49 + 24 = 73, shown as 123.
  EXPECT_EQ(Pixel32(*buffer.Process(frame.get(), &add, nullptr), 0, 0), RvMakePixel(0, 0, 123, 0));
}

TEST(MoBlurBuffer, SizeChangeRestartsThePictureAndIgnoresOtherSizedHistory) {
  CKaMoBlurBuffer buffer;
  buffer.SetMode(CKaMoBlurBuffer::kModeEqual);
  buffer.SetFrames(4);
  buffer.SetAlpha(100);
  auto small = MakeFilled(2, 2, Grey(250));
  buffer.Process(small.get(), nullptr, nullptr);
  buffer.Process(small.get(), nullptr, nullptr);
  auto large = MakeFilled(3, 5, Grey(90));
  const CImageBitmap* shown = buffer.Process(large.get(), nullptr, nullptr);
  EXPECT_EQ(shown->GetWidth(), 3);
  EXPECT_EQ(shown->GetHeight(), 5);
  // The two small frames do not count: the frame alone.
  ExpectAllBytes(*shown, 90);
  EXPECT_EQ(buffer.GetHistorySize(), 3u);
  // Now one frame of this size: w = 100, c = 155: 10x155/255 + 90x100/255 = 6 + 35.
  auto next = MakeFilled(3, 5, Grey(10));
  ExpectAllBytes(*buffer.Process(next.get(), nullptr, nullptr), 41);
}

TEST(MoBlurBuffer, HistoryNeverHoldsMoreThanCanBeMixed) {
  CKaMoBlurBuffer buffer;
  buffer.SetMode(CKaMoBlurBuffer::kModeEqual);
  buffer.SetFrames(100000);
  auto frame = MakeFilled(1, 1, Grey(3));
  for (int i = 0; i < 300; ++i) buffer.Process(frame.get(), nullptr, nullptr);
  EXPECT_EQ(buffer.GetHistorySize(), CKaMoBlurBuffer::kMaxHistory);
  // Lowering the length drops the oldest at the next frame.
  buffer.SetFrames(2);
  buffer.Process(frame.get(), nullptr, nullptr);
  EXPECT_EQ(buffer.GetHistorySize(), 2u);
}

TEST(MoBlurBuffer, ClearForgetsTrailAndHistory) {
  CKaMoBlurBuffer buffer;
  buffer.SetAlpha(128);
  auto white = MakeFilled(2, 2, Grey(255));
  buffer.Process(white.get(), nullptr, nullptr);
  buffer.Process(white.get(), nullptr, nullptr);
  buffer.Clear();
  // Starts from black again: 255 x 128 / 255.
  ExpectAllBytes(*buffer.Process(white.get(), nullptr, nullptr), 128);

  buffer.SetMode(CKaMoBlurBuffer::kModeEqual);
  buffer.Process(white.get(), nullptr, nullptr);
  ASSERT_GT(buffer.GetHistorySize(), 0u);
  buffer.Clear();
  EXPECT_EQ(buffer.GetHistorySize(), 0u);
}

TEST(MoBlurBuffer, ChangingModeKeepsTheHistory) {
  CKaMoBlurBuffer buffer;
  buffer.SetMode(CKaMoBlurBuffer::kModeEqual);
  buffer.SetFrames(2);
  buffer.SetAlpha(200);
  auto a = MakeFilled(2, 2, Grey(100));
  buffer.Process(a.get(), nullptr, nullptr);
  buffer.SetMode(CKaMoBlurBuffer::kModeTrailFade);
  buffer.Process(a.get(), nullptr, nullptr);
  buffer.SetMode(CKaMoBlurBuffer::kModeEqual);
  auto b = MakeFilled(2, 2, Grey(0));
  // The frame kept before the switch still mixes in: 100 x 200 / 255 = 78.
  ExpectAllBytes(*buffer.Process(b.get(), nullptr, nullptr), 78);
}

TEST(MoBlurBuffer, SettingsMayChangeWhileTheDrawThreadComposes) {
  CKaMoBlurBuffer buffer;
  std::atomic<bool> done{false};
  std::thread ui([&] {
    for (int i = 0; !done.load(); ++i) {
      buffer.SetMode(i % 3);
      buffer.SetAlpha(std::uint8_t(i));
      buffer.SetFrames(i % 5);
    }
  });
  auto frame = MakePatterned(16, 16, 32);
  for (int i = 0; i < 2000; ++i) ASSERT_NE(buffer.Process(frame.get(), nullptr, nullptr), nullptr);
  done = true;
  ui.join();
}

// Every byte of every picture, from the first frame on: the trail starts black and takes
// alpha / 255 of each new frame; the equal mix weighs the frame and each of the last `frames`
// history frames. Alpha is kept within 1..254, so the new frame and the old picture both show.
TEST(MoBlurBuffer, EveryByteFollowsTheFormulaFromTheFirstFrameOn) {
  // 37 pixels: whole 16-byte blocks and a remainder, with bytes over the full range.
  std::vector<std::unique_ptr<CDIBSectionBitmap>> frames;
  std::vector<std::vector<std::uint8_t>> bytes;
  for (unsigned seed = 1; seed <= 5; ++seed) {
    frames.push_back(MakePatterned(37, 5, 32, true, seed));
    bytes.push_back(PixelBytes(*frames.back()));
  }
  for (unsigned alpha : {0u, 1u, 64u, 127u, 200u, 254u, 255u}) {
    const unsigned a = std::clamp(alpha, 1u, 254u);
    CKaMoBlurBuffer trail;
    trail.SetAlpha(std::uint8_t(alpha));
    CKaMoBlurBuffer equal;
    equal.SetMode(CKaMoBlurBuffer::kModeEqual);
    equal.SetFrames(3);
    equal.SetAlpha(std::uint8_t(alpha));
    std::vector<std::uint8_t> previous(bytes[0].size(), 0);
    for (std::size_t f = 0; f < frames.size(); ++f) {
      const auto faded = PixelBytes(*trail.Process(frames[f].get(), nullptr, nullptr));
      const auto mixed = PixelBytes(*equal.Process(frames[f].get(), nullptr, nullptr));
      const unsigned n = unsigned(std::min<std::size_t>(f, 3));
      const unsigned w = n == 0 ? 0 : a / n;
      const unsigned c = w == 0 ? 255 : 255 - n * w;
      for (std::size_t i = 0; i < faded.size(); ++i) {
        ASSERT_EQ(faded[i], bytes[f][i] * a / 255 + previous[i] * (255 - a) / 255)
            << "trailfade alpha " << alpha << " frame " << f << " byte " << i;
        unsigned history = 0;
        for (std::size_t k = f - n; k < f && w > 0; ++k) history += bytes[k][i] * w / 255;
        ASSERT_EQ(mixed[i], bytes[f][i] * c / 255 + history)
            << "equal alpha " << alpha << " frame " << f << " byte " << i;
      }
      previous = faded;
    }
    EXPECT_EQ(equal.GetHistorySize(), 3u);
  }
}
