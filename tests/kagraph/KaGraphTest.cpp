// The full-screen library and the QPainter device context the engine draws through.
#include <gtest/gtest.h>

#include <QImage>
#include <vector>

#include "GuiTestSupport.h"
#include "TestUtil.h"
#include "kagraph/KaFullscreen.h"
#include "kagraph/KaImageDC.h"
#include "support/NesCommon55.h"
#include "support/NesLogFile.h"

namespace {

// A bottom-up 32-bit picture: row 0 in memory is the bottom row.
struct Picture {
  Picture(int w, int h) : width(w), height(h), pixels(std::size_t(w) * std::size_t(h)) {}
  void Set(int x, int yFromTop, std::uint32_t argb) {
    pixels[std::size_t(height - 1 - yFromTop) * std::size_t(width) + std::size_t(x)] = argb;
  }
  KaBitmapView View() const {
    return {
        reinterpret_cast<const std::uint8_t*>(pixels.data()), width * 4, width, height, 32, true};
  }
  int width, height;
  std::vector<std::uint32_t> pixels;
};

}  // namespace

TEST(ImageDC, BottomUpPictureIsDrawnUprightAndNearestScaled) {
  apptest::GuiApp();
  Picture picture(2, 2);
  picture.Set(0, 0, 0xFFFF0000);  // top-left red
  picture.Set(1, 0, 0xFF00FF00);  // top-right green
  picture.Set(0, 1, 0xFF0000FF);  // bottom-left blue
  picture.Set(1, 1, 0xFFFFFFFF);
  QImage target(10, 10, QImage::Format_RGB32);
  target.fill(Qt::black);
  {
    CKaImageDC dc(&target);
    dc.SetStretchNearest(true);
    dc.DrawBitmap(picture.View(), 2, 2, 4, 4);  // each pixel becomes a 2 x 2 block
  }
  EXPECT_EQ(target.pixel(2, 2), qRgb(255, 0, 0));
  EXPECT_EQ(target.pixel(4, 2), qRgb(0, 255, 0));
  EXPECT_EQ(target.pixel(2, 5), qRgb(0, 0, 255));
  EXPECT_EQ(target.pixel(1, 1), qRgb(0, 0, 0));
  EXPECT_EQ(target.pixel(6, 6), qRgb(0, 0, 0));
}

TEST(ImageDC, FillUsesColourReferences) {
  apptest::GuiApp();
  QImage target(4, 4, QImage::Format_RGB32);
  target.fill(Qt::black);
  {
    CKaImageDC dc(&target);
    dc.FillRect({-5, -5, 2, 2}, 0x0000CCFF);  // 0x00BBGGRR: red FF, green CC, blue 00
  }
  EXPECT_EQ(target.pixel(1, 1), qRgb(0xFF, 0xCC, 0x00));
  EXPECT_EQ(target.pixel(2, 2), qRgb(0, 0, 0));
}

TEST(ImageDC, PalettisedAndTrueColourLayouts) {
  apptest::GuiApp();
  const std::uint32_t palette[256] = {0xFF000000, 0xFF0000FF};
  const std::uint8_t index[4] = {1, 0, 0, 0};         // 8 bits: palette index 1 = blue
  const std::uint8_t bgr[4] = {0x10, 0x20, 0x30, 0};  // 24 bits: blue, green, red
  const std::uint8_t nibbles[4] = {0x10, 0, 0, 0};    // 4 bits: the high nibble first
  // One top-down row.
  const auto row = [&](const std::uint8_t* bits, int width, int bpp) {
    return KaBitmapView{bits, 4, width, 1, bpp, false, palette};
  };
  QImage target(4, 1, QImage::Format_RGB32);
  target.fill(Qt::white);
  {
    CKaImageDC dc(&target);
    dc.DrawBitmap(row(index, 1, 8), 0, 0, 1, 1);
    dc.DrawBitmap(row(bgr, 1, 24), 1, 0, 1, 1);
    dc.DrawBitmap(row(nibbles, 2, 4), 2, 0, 2, 1);
  }
  EXPECT_EQ(target.pixel(0, 0), qRgb(0, 0, 255));
  EXPECT_EQ(target.pixel(1, 0), qRgb(0x30, 0x20, 0x10));
  EXPECT_EQ(target.pixel(2, 0), qRgb(0, 0, 255));
  EXPECT_EQ(target.pixel(3, 0), qRgb(0, 0, 0));
}

TEST(BackBuffer, PresentSwapsAndNotifies) {
  apptest::GuiApp();
  CKaBackBuffer buffer;
  int notified = 0;
  buffer.SetPresentSink([&] { ++notified; });
  EXPECT_TRUE(buffer.Snapshot().isNull());
  {
    CKaBackBufferFrame frame(&buffer, 8, 6);
    frame.DC()->FillRect({0, 0, 8, 6}, 0x000000FF);
    EXPECT_TRUE(buffer.Snapshot().isNull());  // not shown before the frame ends
  }
  EXPECT_EQ(notified, 1);
  EXPECT_EQ(buffer.PresentCount(), 1u);
  QImage shown = buffer.Snapshot();
  ASSERT_EQ(shown.size(), QSize(8, 6));
  EXPECT_EQ(shown.pixel(4, 3), qRgb(255, 0, 0));
  buffer.FillFront({1, 1, 2, 2}, 0x00FF0000);
  EXPECT_EQ(buffer.Snapshot().pixel(1, 1), qRgb(0, 0, 255));
  EXPECT_EQ(notified, 2);
}

TEST(Fullscreen, SurfaceCoversTheScreenAndLogsTheMode) {
  apptest::GuiApp();
  const std::string logPath = strSettingsPath() + "DDraw.log";
  {
    CNesLogFile log(logPath, 1024);
    CKaDDrawFullscreenConfig mode(123, 45, 16);
    auto surface = std::make_unique<CKaDDrawFullscreen>(nullptr, &mode, &log);
    const KaRect screen = surface->GetScreenRect();
    EXPECT_GT(screen.Width(), 0);
    EXPECT_GT(screen.Height(), 0);
    {
      CKaUseDDrawFullscreen use(surface.get());
      ASSERT_NE(use.m_dc, nullptr);
      EXPECT_EQ(use.m_dc->Width(), screen.Width());
      use.m_dc->FillRect({0, 0, 10, 10}, 0x00FFFFFF);
      use.m_dc->DrawTextLine(0, screen.bottom - 20, "info", 0x00FFFFFF, 0);
    }
    EXPECT_EQ(surface->GetBackBuffer()->PresentCount(), 1u);
    EXPECT_EQ(surface->GetBackBuffer()->Snapshot().pixel(5, 5), qRgb(255, 255, 255));
    surface.reset();
  }
  const std::string text = rvtest::ReadFile(logPath);
  EXPECT_NE(text.find("[KaGraph] Display mode 123x45x16 not set"), std::string::npos) << text;
}
