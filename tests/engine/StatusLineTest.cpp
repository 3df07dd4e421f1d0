// The status line: timed messages over a default text, the lock rules and painting.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <atomic>
#include <chrono>
#include <thread>

#include "EngineTestSupport.h"
#include "GuiTestSupport.h"

using enginetest::StatusHost;

TEST(StatusLine, MessageCoversDefaultTextUntilTimer) {
  StatusHost host;
  CKaStatusLine line(&host);
  EXPECT_EQ(line.GetDisplayedText(), "Kavato Reelvane");
  line.ShowMessage("Play", 1);
  EXPECT_TRUE(line.IsMessageUp());
  EXPECT_EQ(host.timerId, 111);
  EXPECT_EQ(host.timerMs, 1000);
  line.SetDefaultText("info");
  EXPECT_EQ(line.GetDisplayedText(), "Play");
  EXPECT_EQ(line.GetDefaultText(), "info");
  line.OnTimer(112);  // not ours
  EXPECT_EQ(line.GetDisplayedText(), "Play");
  line.OnTimer(111);
  EXPECT_EQ(line.GetDisplayedText(), "info");
  EXPECT_FALSE(line.IsMessageUp());
  EXPECT_EQ(host.killed, 111);
}

// A host that keeps the status line's lock busy: ShowMessage calls it while holding the lock.
class BlockingHost : public CKaStatusLineHost {
 public:
  void InvalidateStatus() override {}
  void StartStatusTimer(int, int) override {
    inside.store(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  void KillStatusTimer(int) override {}
  std::atomic<bool> inside{false};
};

TEST(StatusLine, DefaultTextIsSkippedWhenTheLockIsBusy) {
  BlockingHost host;
  CKaStatusLine line(&host);
  std::thread other([&] { line.ShowMessage("busy", 1); });
  while (!host.inside.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const auto start = std::chrono::steady_clock::now();
  line.SetDefaultText("skipped");
  const auto waited = std::chrono::steady_clock::now() - start;
  other.join();
  EXPECT_EQ(line.GetDefaultText(), "Kavato Reelvane");
  EXPECT_LT(waited, std::chrono::milliseconds(250));
}

TEST(StatusLine, PaintsEdgeBlackFieldAndText) {
  apptest::GuiApp();
  CKaStatusLine line;
  line.SetDefaultText("WWWWWWWW");
  QImage image(200, 24, QImage::Format_RGB32);
  image.fill(Qt::green);
  {
    QPainter painter(&image);
    line.Paint(&painter, QRect(0, 0, 200, 24));
  }
  EXPECT_NE(image.pixel(0, 0), qRgb(0, 0, 0));
  EXPECT_NE(image.pixel(0, 0), qRgb(0, 255, 0));
  EXPECT_EQ(image.pixel(3, 3), qRgb(0, 0, 0));
  // The text is drawn in the colour 0x00FF9966 (red 0x66, green 0x99, blue 0xFF).
  int textPixels = 0, sumX = 0;
  for (int y = 2; y < 22; ++y) {
    for (int x = 2; x < 198; ++x) {
      if (image.pixel(x, y) != qRgb(0x66, 0x99, 0xFF)) continue;
      ++textPixels;
      sumX += x;
    }
  }
  EXPECT_GT(textPixels, 10);
  EXPECT_NEAR(sumX / std::max(textPixels, 1), 100, 6);  // centred in the line
}
