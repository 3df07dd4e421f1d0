// The display path: placement, background bands, zoom, filters, the info line and the marks,
// observed through a recording device context.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "engine/DisplayMath.h"
#include "engine/PixelFilters.h"
#include "imageops/RvCrop.h"

using enginetest::DrawOp;
using enginetest::ManualEngine;

namespace {

std::vector<DrawOp> Ops(const ManualEngine& m, DrawOp::Kind kind) {
  std::vector<DrawOp> result;
  for (const DrawOp& op : m.surface.frames.back()) {
    if (op.kind == kind) result.push_back(op);
  }
  return result;
}

KaRect R(int l, int t, int r, int b) { return {l, t, r, b}; }

}  // namespace

TEST(Placement, SmallFrameIsCentredWithBandsInOrder) {
  ManualEngine m(40, 20);  // display 100 x 60
  m.engine->SetBackColor(0x00112233);
  m.Cycles(1);
  const auto fills = Ops(m, DrawOp::kFill);
  ASSERT_GE(fills.size(), 4u);
  EXPECT_EQ(fills[0].rect, R(0, 0, 100, 20));   // top
  EXPECT_EQ(fills[1].rect, R(0, 0, 30, 60));    // left
  EXPECT_EQ(fills[2].rect, R(70, 0, 100, 60));  // right
  EXPECT_EQ(fills[3].rect, R(0, 40, 100, 60));  // bottom
  for (int i = 0; i < 4; ++i) EXPECT_EQ(fills[i].color, 0x00112233u);
  const auto bitmaps = Ops(m, DrawOp::kBitmap);
  ASSERT_EQ(bitmaps.size(), 1u);
  EXPECT_EQ(bitmaps[0].rect, R(30, 20, 70, 40));
  EXPECT_FALSE(bitmaps[0].nearest);
}

// A frame larger than the view is centred and clipped on all sides.
TEST(Placement, CentringTruncatesTowardZero) {
  const KaRect display{0, 0, 100, 60};
  EXPECT_EQ(KaPlacePicture(103, 63, 1.0, display, 0, 0), (KaPlacement{-1, -1, 103, 63}));
  // Zoomed sizes truncate; pan and the display's origin add on.
  EXPECT_EQ(KaPlacePicture(41, 21, 0.5, KaRect{10, 5, 110, 65}, 3, -4),
            (KaPlacement{10 + 40 + 3, 5 + 25 - 4, 20, 10}));
}

TEST(Placement, BandsOnlyWhereUncovered) {
  const KaRect display{0, 0, 100, 60};
  // Pushed to the top-left corner: only right and bottom bands.
  const auto bands = KaBackgroundBands(display, KaPlacement{0, 0, 50, 30});
  ASSERT_EQ(bands.size(), 2u);
  EXPECT_EQ(bands[0], R(50, 0, 100, 60));
  EXPECT_EQ(bands[1], R(0, 30, 100, 60));
  EXPECT_TRUE(KaBackgroundBands(display, KaPlacement{0, 0, 100, 60}).empty());
}

TEST(Placement, ZoomedDrawingUsesNearestNeighbourAndPan) {
  ManualEngine m(40, 20);
  m.engine->SetZoom(0.5, false);
  m.engine->SetPan(5, -3, false);
  m.Cycles(1);
  const auto bitmaps = Ops(m, DrawOp::kBitmap);
  ASSERT_EQ(bitmaps.size(), 1u);
  EXPECT_EQ(bitmaps[0].rect, R(40 + 5, 25 - 3, 60 + 5, 35 - 3));
  EXPECT_TRUE(bitmaps[0].nearest);
}

TEST(Zoom, StepsAndLimits) {
  double base = 0;
  EXPECT_DOUBLE_EQ(KaZoomInStep(0.25, &base), 0.33);
  EXPECT_DOUBLE_EQ(KaZoomInStep(0.33, &base), 0.5);
  EXPECT_DOUBLE_EQ(KaZoomInStep(0.5, &base), 0.75);
  EXPECT_DOUBLE_EQ(KaZoomInStep(0.75, &base), 1.0);
  EXPECT_DOUBLE_EQ(KaZoomInStep(1.0, &base), 2.0);
  EXPECT_DOUBLE_EQ(KaZoomInStep(7.9, &base), 8.0);
  EXPECT_DOUBLE_EQ(base, 7.0);
  EXPECT_DOUBLE_EQ(KaZoomOutStep(2.5, &base), 1.0);
  EXPECT_DOUBLE_EQ(base, 2.0);
  EXPECT_DOUBLE_EQ(KaZoomOutStep(1.5, &base), 1.0);
  EXPECT_DOUBLE_EQ(base, 1.5);
  EXPECT_DOUBLE_EQ(KaZoomOutStep(1.0, &base), 0.75);
  EXPECT_DOUBLE_EQ(KaZoomOutStep(0.8, &base), 0.5);
  EXPECT_DOUBLE_EQ(KaZoomOutStep(0.5, &base), 0.33);
  EXPECT_DOUBLE_EQ(KaZoomOutStep(0.25, &base), 0.25);  // a quarter is the least
}

TEST(Zoom, OneAndAHalfInBecomesTwoWithPanDoubledFromTruncatedZoom) {
  ManualEngine m;
  m.engine->SetZoom(1.5, false);
  m.engine->SetPan(10, -6, false);
  m.engine->ZoomIn(true);
  EXPECT_DOUBLE_EQ(m.engine->GetZoom(), 2.0);
  EXPECT_EQ(m.engine->GetPanX(), 20);
  EXPECT_EQ(m.engine->GetPanY(), -12);
  EXPECT_EQ(m.status.GetDisplayedText(), "Zoom 200");
}

TEST(Zoom, SetZoomScalesPanAndIgnoresZero) {
  ManualEngine m;
  m.engine->SetPan(7, 9, true);
  EXPECT_EQ(m.status.GetDisplayedText(), "Pan 7,9");
  m.engine->SetZoom(0.5, false);
  EXPECT_EQ(m.engine->GetPanX(), 3);  // 3.5 truncated
  EXPECT_EQ(m.engine->GetPanY(), 4);
  m.engine->SetZoom(0.0, true);
  EXPECT_DOUBLE_EQ(m.engine->GetZoom(), 0.5);
  m.engine->PanLeft(1, false);
  m.engine->PanDown(2, false);
  EXPECT_EQ(m.engine->GetPanX(), 2);
  EXPECT_EQ(m.engine->GetPanY(), 6);
  m.engine->ResetPan(true);
  EXPECT_EQ(m.status.GetDisplayedText(), "Pan 0,0");
}

TEST(ViewMode, SelectingTwiceReturnsToNormal) {
  ManualEngine m;
  m.engine->SetViewMode(KaViewMode::RedChannel);
  EXPECT_EQ(m.engine->GetViewMode(), KaViewMode::RedChannel);
  EXPECT_EQ(m.status.GetDisplayedText(), "Red channel");
  m.engine->SetViewMode(KaViewMode::RedChannel);
  EXPECT_EQ(m.engine->GetViewMode(), KaViewMode::Normal);
  EXPECT_EQ(m.status.GetDisplayedText(), "Normal view");
  m.engine->SetViewMode(KaViewMode::ShowAlphaInverted);
  EXPECT_EQ(m.status.GetDisplayedText(), "Show alpha channel (inverted)");
  m.engine->SetViewMode(KaViewMode(9));  // no filter, no announcement
  EXPECT_EQ(m.engine->GetViewMode(), KaViewMode(9));
  EXPECT_EQ(m.status.GetDisplayedText(), "Show alpha channel (inverted)");
}

TEST(Filters, ChannelViews) {
  const RvPixel p = RvMakePixel(10, 20, 30, 40);
  EXPECT_EQ(CKaChannelFilter(KaViewMode(1)).Map(p), RvMakePixel(10, 10, 10, 40));
  EXPECT_EQ(CKaChannelFilter(KaViewMode(2)).Map(p), RvMakePixel(20, 20, 20, 40));
  EXPECT_EQ(CKaChannelFilter(KaViewMode(3)).Map(p), RvMakePixel(30, 30, 30, 40));
  EXPECT_EQ(CKaChannelFilter(KaViewMode(4)).Map(p), RvMakePixel(40, 40, 40, 40));
  EXPECT_EQ(CKaChannelFilter(KaViewMode(5)).Map(p), RvMakePixel(40, 20, 30, 40));
  EXPECT_EQ(CKaChannelFilter(KaViewMode(6)).Map(p), RvMakePixel(215, 20, 30, 40));
  // Show alpha leaves alpha 0, inverted leaves alpha 255 untouched.
  const RvPixel clear = RvMakePixel(10, 20, 30, 0);
  EXPECT_EQ(CKaChannelFilter(KaViewMode(5)).Map(clear), clear);
  const RvPixel opaque = RvMakePixel(10, 20, 30, 255);
  EXPECT_EQ(CKaChannelFilter(KaViewMode(6)).Map(opaque), opaque);
  EXPECT_EQ(KaViewModeName(KaViewMode(7)), "");
}

TEST(Filters, GammaTable) {
  CKaGammaFilter two(2.0);
  EXPECT_EQ(two.GetTable()[0], 0);
  EXPECT_EQ(two.GetTable()[64], 127);  // sqrt(64/255) * 255 = 127.75
  EXPECT_EQ(two.Map(RvMakePixel(64, 0, 64, 9)), RvMakePixel(127, 0, 127, 9));
  CKaGammaFilter zero(0.0);
  EXPECT_DOUBLE_EQ(zero.GetGamma(), 1e-8);
  EXPECT_EQ(zero.GetTable()[254], 0);
}

TEST(Filters, NormalViewDrawsTheFrameItselfEvenWithGammaOne) {
  ManualEngine m(8, 4);
  m.Cycles(1);
  const CImageBitmap* idle = m.engine->GetLastShownBitmap();
  ASSERT_NE(idle, nullptr);
  m.engine->EnableGamma(true);
  m.engine->SetGamma(1.0);
  m.Cycles(1);
  EXPECT_EQ(m.engine->GetLastShownBitmap(), idle);
  const auto bitmaps = Ops(m, DrawOp::kBitmap);
  ASSERT_EQ(bitmaps.size(), 1u);
  EXPECT_EQ(bitmaps[0].view.bits, idle->GetLineArray()[3]);  // bottom row first in memory
  EXPECT_TRUE(bitmaps[0].view.bottomUp);
}

TEST(Filters, GammaThenChannelOnACopy) {
  ManualEngine m(8, 4);  // pixels r=10 g=20 b=30 a=40
  m.Cycles(1);
  const CImageBitmap* idle = m.engine->GetLastShownBitmap();
  m.engine->SetGamma(0.5);
  EXPECT_EQ(m.status.GetDisplayedText(), "Gamma 0.50");
  m.engine->ToggleGamma();
  m.engine->SetViewMode(KaViewMode::GreenChannel);
  m.Cycles(1);
  const CImageBitmap* shown = m.engine->GetLastShownBitmap();
  ASSERT_NE(shown, idle);
  // Gamma 0.5 maps green 20 to trunc((20/255)^2 * 255) = 1, then the green view copies it.
  EXPECT_EQ(shown->GetPixel(3, 2), RvMakePixel(1, 1, 1, 40));
  EXPECT_EQ(idle->GetPixel(3, 2), RvMakePixel(10, 20, 30, 40));
}

// Which frames the filters skip is the ghosting buffer's rule; here, that the view gets the
// frame's own depth.
TEST(Filters, NonTrueColourFramesReachTheViewInTheirDepth) {
  ManualEngine m(8, 4, 24);
  m.engine->SetViewMode(KaViewMode::RedChannel);
  m.Cycles(1);
  const auto bitmaps = Ops(m, DrawOp::kBitmap);
  ASSERT_EQ(bitmaps.size(), 1u);
  EXPECT_EQ(bitmaps[0].view.bitsPerPixel, 24);
}

TEST(InfoLine, Format) {
  EXPECT_EQ(KaFormatInfoLine(12, 23.976, 2, 2048, 1556, true),
            " Frame 0012 - 23.98fps (Step 2 = 47.95fps) - 2048 x 1556  (Harddisk)");
}

TEST(InfoLine, BecomesTheStatusDefaultTextAndRateWarningIsRed) {
  ManualEngine m(40, 20);
  m.Cycles(1);
  EXPECT_EQ(m.status.GetDefaultText(), " Frame 0000 - 0.00fps (Step 1 = 0.00fps) - 40 x 20  (RAM)");
  EXPECT_EQ(m.engine->GetLastInfoLine(), m.status.GetDefaultText());
  // Requested 30 fps, measured 0: the red line marks the frame.
  const auto fills = Ops(m, DrawOp::kFill);
  ASSERT_FALSE(fills.empty());
  EXPECT_EQ(fills.back().rect, R(0, 59, 50, 60));
  EXPECT_EQ(fills.back().color, 0x000000FFu);
}

TEST(InfoLine, NoRateWarningWhenTheRateIsMet) {
  ManualEngine m(40, 20);
  m.Attach(100);
  m.engine->SetFps(25);
  m.engine->Play(false);
  m.Cycles(12);
  ASSERT_NEAR(m.engine->GetMeasuredRate(), 25.0, 0.2);
  for (const DrawOp& op : Ops(m, DrawOp::kFill)) EXPECT_NE(op.color, 0x000000FFu);
}

TEST(Marks, MarkImageRectIsOffsetByCentringAndPan) {
  ManualEngine m(40, 20);
  m.Cycles(1);
  m.engine->SetPan(2, -1, false);
  m.engine->MarkImageRect(5, 5, 10, 10);
  ASSERT_EQ(m.surface.marks.size(), 1u);
  EXPECT_EQ(m.surface.marks[0].rect, R(37, 24, 42, 29));
  EXPECT_EQ(m.surface.marks[0].color, 0x00F37F7Fu);
}

TEST(Redraw, IdleEngineDrawsOnlyOnRequest) {
  ManualEngine m;
  m.Cycles(1);
  const std::size_t drawn = m.surface.frames.size();
  m.Cycles(5);
  EXPECT_EQ(m.surface.frames.size(), drawn);
  m.engine->RequestRedraw();
  m.Cycles(1);
  EXPECT_EQ(m.surface.frames.size(), drawn + 1);
  EXPECT_EQ(m.surface.ended, int(drawn + 1));
}

// A rectangle drawn on the view becomes a crop of the decoded frame through zoom, pan,
// resample and the crop already in force.
TEST(CropSelection, ViewRectanglesMapBackToTheDecodedFrame) {
  struct Case {
    const char* name;
    double zoom;
    int panX, shownW, shownH;
    bool cropped;  // a crop l50 t20 r50 b30 in force
    KaRect view;
    const char* expected;  // left, top, right and bottom edge kept; "" when nothing is covered
  };
  // Display 400 x 300, decoded frame 200 x 100; the picture is centred.
  const Case cases[] = {
      {"zoom 2", 2.0, 0, 200, 100, false, {20, 60, 220, 160}, "10 5 110 55"},
      {"panned", 1.0, 30, 200, 100, false, {140, 110, 240, 160}, "10 10 110 60"},
      {"half-size resample", 1.0, 0, 100, 50, false, {160, 135, 210, 160}, "20 20 120 70"},
      {"inside a crop", 1.0, 0, 100, 50, true, {150, 125, 200, 150}, "50 20 100 45"},
      {"clipped to the picture", 1.0, 0, 200, 100, false, {0, 0, 400, 300}, "0 0 200 100"},
      {"outside the picture", 1.0, 0, 200, 100, false, {0, 0, 50, 50}, ""},
  };
  CRvCrop inForce;
  inForce.Set(CRvCrop::kLeft, 50, false);
  inForce.Set(CRvCrop::kTop, 20, false);
  inForce.Set(CRvCrop::kRight, 50, false);
  inForce.Set(CRvCrop::kBottom, 30, false);
  for (const Case& c : cases) {
    KaShownPicture picture{{0, 0, 400, 300}, c.zoom, c.panX, 0, c.shownW, c.shownH, 200, 100};
    picture.crop = c.cropped ? &inForce : nullptr;
    CRvCrop result;
    const bool ok = KaViewRectToCrop(picture, c.view, &result);
    EXPECT_EQ(ok, *c.expected != '\0') << c.name;
    if (!ok) continue;
    int l = 0, t = 0, w = 0, h = 0;
    result.GetCropRect(200, 100, &l, &t, &w, &h);
    EXPECT_EQ(std::to_string(l) + " " + std::to_string(t) + " " + std::to_string(l + w) + " " +
                  std::to_string(t + h),
              c.expected)
        << c.name;
  }
}
