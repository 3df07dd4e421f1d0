#include <gtest/gtest.h>

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

TEST(MoBlurBuffer, TrailFadeAlphaIsKeptOffBothEnds) {
  auto white = MakeFilled(3, 3, Grey(255));
  auto black = MakeFilled(3, 3, Grey(0));
  {
    // 255 acts as 254: the new frame never replaces the picture entirely.
    CKaMoBlurBuffer buffer;
    buffer.SetAlpha(255);
    ExpectAllBytes(*buffer.Process(white.get(), nullptr, nullptr), 254);
  }
  {
    // 0 acts as 1: the new frame still shows a little.
    CKaMoBlurBuffer buffer;
    buffer.SetAlpha(0);
    ExpectAllBytes(*buffer.Process(white.get(), nullptr, nullptr), 1);
    ExpectAllBytes(*buffer.Process(black.get(), nullptr, nullptr), 0);
  }
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
  // Without transforms the picture is the trail itself: 49 + 73 x 128 / 255 = 49 + 36.
  EXPECT_EQ(Pixel32(*buffer.Process(frame.get(), nullptr, nullptr), 0, 0),
            RvMakePixel(0, 0, 85, 0));
}

TEST(MoBlurBuffer, EqualModeWeighsHistoryEquallyOnceItIsFull) {
  CKaMoBlurBuffer buffer;
  buffer.SetMode(CKaMoBlurBuffer::kModeEqual);
  buffer.SetFrames(3);
  buffer.SetAlpha(127);
  const std::uint8_t values[] = {30, 60, 90, 240, 120};
  std::vector<std::unique_ptr<CDIBSectionBitmap>> frames;
  for (std::uint8_t v : values) frames.push_back(MakeFilled(3, 2, Grey(v)));

  // No history yet: the frame alone.
  ExpectAllBytes(*buffer.Process(frames[0].get(), nullptr, nullptr), 30);
  // One history frame: w = 127, c = 128: 60 x 128 / 255 + 30 x 127 / 255 = 30 + 14.
  ExpectAllBytes(*buffer.Process(frames[1].get(), nullptr, nullptr), 44);
  // Two: w = 63, c = 129: 90x129/255 + 30x63/255 + 60x63/255 = 45 + 7 + 14.
  ExpectAllBytes(*buffer.Process(frames[2].get(), nullptr, nullptr), 66);
  // Three: w = 42, c = 129: 240x129/255 + (30 + 60 + 90) x 42/255 each = 121 + 4 + 9 + 14.
  ExpectAllBytes(*buffer.Process(frames[3].get(), nullptr, nullptr), 148);
  EXPECT_EQ(buffer.GetHistorySize(), 3u);
  // The oldest (30) has left: 120x129/255 + (60 + 90 + 240) x 42/255 = 60 + 9 + 14 + 39.
  ExpectAllBytes(*buffer.Process(frames[4].get(), nullptr, nullptr), 122);
  EXPECT_EQ(buffer.GetHistorySize(), 3u);
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

TEST(MoBlurBuffer, WideFramesFollowTheFormulaForEveryByte) {
  // 37 pixels: whole 16-byte blocks and a remainder, with bytes over the full range.
  const int width = 37;
  const int height = 5;
  std::vector<std::unique_ptr<CDIBSectionBitmap>> frames;
  for (unsigned seed = 1; seed <= 4; ++seed) {
    frames.push_back(MakePatterned(width, height, 32, true, seed));
  }
  for (unsigned alpha : {1u, 64u, 127u, 200u, 254u}) {
    CKaMoBlurBuffer trail;
    trail.SetAlpha(std::uint8_t(alpha));
    trail.Process(frames[0].get(), nullptr, nullptr);
    const auto previous = PixelBytes(*trail.Process(frames[1].get(), nullptr, nullptr));
    const auto next = PixelBytes(*trail.Process(frames[2].get(), nullptr, nullptr));
    const auto in = PixelBytes(*frames[2]);
    for (std::size_t i = 0; i < next.size(); ++i) {
      ASSERT_EQ(next[i], in[i] * alpha / 255 + previous[i] * (255 - alpha) / 255)
          << "trailfade alpha " << alpha << " byte " << i;
    }

    CKaMoBlurBuffer equal;
    equal.SetMode(CKaMoBlurBuffer::kModeEqual);
    equal.SetFrames(3);
    equal.SetAlpha(std::uint8_t(alpha));
    for (int f = 0; f < 3; ++f) equal.Process(frames[f].get(), nullptr, nullptr);
    const auto mixed = PixelBytes(*equal.Process(frames[3].get(), nullptr, nullptr));
    const unsigned w = alpha / 3;
    const unsigned c = w == 0 ? 255 : 255 - 3 * w;
    std::vector<std::vector<std::uint8_t>> bytes;
    for (const auto& frame : frames) bytes.push_back(PixelBytes(*frame));
    for (std::size_t i = 0; i < mixed.size(); ++i) {
      const unsigned history =
          w == 0 ? 0 : bytes[0][i] * w / 255 + bytes[1][i] * w / 255 + bytes[2][i] * w / 255;
      ASSERT_EQ(mixed[i], bytes[3][i] * c / 255 + history)
          << "equal alpha " << alpha << " byte " << i;
    }
  }
}
