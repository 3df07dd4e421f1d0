// The frame bar painted offscreen and driven with mouse events: colours of cells and bands,
// the cache band moved back at the end, clicks past the last cell, and right-drag clamps.
#include <gtest/gtest.h>

#include "AppTestSupport.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <vector>

#include "engine/FrameBar.h"

namespace {

using apptest::App;

class FakeSource : public CKaFrameBarSource {
 public:
  explicit FakeSource(std::uint32_t count) : loaded(count), numbers(count) {
    for (std::uint32_t i = 0; i < count; ++i) numbers[i] = 100 + i;
  }
  std::uint32_t GetInPointIndex() const override { return in; }
  std::uint32_t GetOutPointIndex() const override { return out; }
  std::uint32_t GetFrameCount() const override { return std::uint32_t(numbers.size()); }
  std::uint32_t GetCacheCapacity() const override { return capacity; }
  const std::atomic<std::uint8_t>* GetLoadedFlags() const override { return loaded.data(); }
  const std::uint32_t* GetFrameNumbers() const override { return numbers.data(); }

  std::uint32_t in = 0, out = CKaFrameBar::kNone, capacity = 1;
  std::vector<std::atomic<std::uint8_t>> loaded;
  std::vector<std::uint32_t> numbers;
};

class RecordingOwner : public CKaFrameBarOwner {
 public:
  explicit RecordingOwner(FakeSource* source) : m_source(source) {}
  void SetPositionFromBar(std::uint32_t index) override { positions.push_back(index); }
  void SetInPointFromBar(std::uint32_t index) override { m_source->in = index; }
  void SetOutPointFromBar(std::uint32_t index) override { m_source->out = index; }
  void ApplyInOutFromBar() override { ++applies; }
  std::vector<std::uint32_t> positions;
  int applies = 0;

 private:
  FakeSource* m_source;
};

QRgb Rgb(std::uint32_t colorRef) {
  return qRgb(int(colorRef & 0xFF), int((colorRef >> 8) & 0xFF), int((colorRef >> 16) & 0xFF));
}

QRgb Pixel(CKaFrameBar& bar, int x, int y) {
  const QImage image = bar.grab().toImage();
  return image.pixel(x, y) | 0xFF000000u;
}

void Mouse(CKaFrameBar& bar, QEvent::Type type, Qt::MouseButton button, int x) {
  const Qt::MouseButtons buttons =
      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
  QMouseEvent event(type, QPointF(x, 5), bar.mapToGlobal(QPointF(x, 5)), button, buttons,
                    Qt::NoModifier);
  QApplication::sendEvent(&bar, &event);
}

class FrameBarTest : public ::testing::Test {
 protected:
  void SetUp() override { bar.resize(300, 12); }
  QApplication* app = App();  // before any widget
  CKaFrameBar bar;
};

}  // namespace

TEST_F(FrameBarTest, WithoutSourceOrWithOneFrameTheBarIsPlainDarkGrey) {
  EXPECT_EQ(Pixel(bar, 150, 6), Rgb(0x505050));
  FakeSource one(1);
  one.loaded[0] = 1;
  bar.SetSource(&one);
  for (int x : {0, 150, 299}) EXPECT_EQ(Pixel(bar, x, 1), Rgb(0x505050));
}

TEST_F(FrameBarTest, CellsShowRamAndInOutAndTheCurrentFrame) {
  FakeSource source(10);  // 30 pixels per frame
  source.in = 2;
  source.out = 6;
  source.capacity = 3;
  source.loaded[3] = 1;
  source.loaded[8] = 1;
  bar.SetSource(&source);
  bar.SetCurrentIndex(5);
  const auto cell = [&](int i) { return Pixel(bar, i * 30 + 15, 6); };
  EXPECT_EQ(cell(0), Rgb(0x505050));    // not in RAM, outside
  EXPECT_EQ(cell(2), Rgb(0x0000CCFF));  // not in RAM, inside
  EXPECT_EQ(cell(3), Rgb(0x00FF9966));  // in RAM, inside
  EXPECT_EQ(cell(8), Rgb(0x00CCCCCC));  // in RAM, outside
  EXPECT_EQ(cell(5), Rgb(0x00FFFFFF));  // current
  // In/out band on top from x(2) to x(7); cache band below from x(2) to x(2 + 3 + 1).
  EXPECT_EQ(Pixel(bar, 45, 0), Rgb(0));
  EXPECT_EQ(Pixel(bar, 65, 0), Rgb(0x00FF9966));
  EXPECT_EQ(Pixel(bar, 215, 1), Rgb(0));
  EXPECT_EQ(Pixel(bar, 65, 10), Rgb(0x0000CC00));
  EXPECT_EQ(Pixel(bar, 185, 10), Rgb(0));
}

TEST_F(FrameBarTest, CacheBandThatWouldRunPastTheEndStartsEarlier) {
  FakeSource source(150);
  source.in = 10;
  source.capacity = 100;
  bar.SetSource(&source);
  bar.SetStep(2);  // band end 210 exceeds 150 by 60: start 10 - 60 clamps to 0
  EXPECT_EQ(Pixel(bar, 0, 10), Rgb(0x0000CC00));
  EXPECT_EQ(Pixel(bar, 299, 10), Rgb(0x0000CC00));
  // A budget that holds millions of small frames still draws the band edge to edge.
  source.capacity = 400000000;
  bar.update();
  EXPECT_EQ(Pixel(bar, 0, 10), Rgb(0x0000CC00));
  EXPECT_EQ(Pixel(bar, 299, 10), Rgb(0x0000CC00));
}

TEST_F(FrameBarTest, ClicksMoveThePositionButNotPastTheLastCell) {
  FakeSource source(10);
  RecordingOwner owner(&source);
  bar.SetSource(&source);
  bar.SetOwner(&owner);
  EXPECT_EQ(CKaFrameBar::IndexAt(299, 10, 300), 10u);  // right of the last cell
  Mouse(bar, QEvent::MouseButtonPress, Qt::LeftButton, 299);
  Mouse(bar, QEvent::MouseMove, Qt::LeftButton, 46);
  Mouse(bar, QEvent::MouseButtonRelease, Qt::LeftButton, 46);
  EXPECT_EQ(owner.positions, std::vector<std::uint32_t>{1});
  EXPECT_EQ(bar.GetLabelIndex(), 1);
  bar.SetInputLocked(true);
  Mouse(bar, QEvent::MouseButtonPress, Qt::LeftButton, 150);
  EXPECT_EQ(owner.positions.size(), 1u);
}

TEST_F(FrameBarTest, RightDragShiftsTheRangeAndStopsAtBothEnds) {
  FakeSource source(10);
  source.in = 2;
  source.out = 5;
  RecordingOwner owner(&source);
  bar.SetSource(&source);
  bar.SetOwner(&owner);
  Mouse(bar, QEvent::MouseButtonPress, Qt::RightButton, 3 * 30 + 15);
  Mouse(bar, QEvent::MouseMove, Qt::RightButton, 9 * 30 + 15);  // +6, only 4 fit
  EXPECT_EQ(source.in, 6u);
  EXPECT_EQ(source.out, 9u);
  Mouse(bar, QEvent::MouseMove, Qt::RightButton, 15);  // -9, only 6 fit
  EXPECT_EQ(source.in, 0u);
  EXPECT_EQ(source.out, 3u);
  Mouse(bar, QEvent::MouseButtonRelease, Qt::RightButton, 15);
  EXPECT_EQ(owner.applies, 2);
}
