// Where the main window puts its children, what its edges do, and how far scrubbing and the
// wheel step: the pure rules behind the window.
#include <gtest/gtest.h>

#include "app/MainDlgLayout.h"

namespace {

struct LayoutCase {
  const char* name;
  RvWindowMode mode;
  RvLoadPanelState panel;
  RvOptionsBarMode bar;
  QRect view, frameBar, container, statusLine;
  bool transport, ok, cancel;
};

// Client 520 x 350, container 24 high.
const LayoutCase kLayouts[] = {
    {"TransportOnly", RvWindowMode::Normal, RvLoadPanelState::Closed,
     RvOptionsBarMode::TransportOnly, QRect(3, 16, 514, 294), QRect(3, 310, 514, 12), QRect(),
     QRect(231, 327, 286, 20), true, false, false},
    {"TransportAndOptions", RvWindowMode::Normal, RvLoadPanelState::Closed,
     RvOptionsBarMode::TransportAndOptions, QRect(3, 16, 514, 270), QRect(3, 286, 514, 12),
     QRect(15, 298, 490, 24), QRect(231, 327, 286, 20), true, false, false},
    {"Neither", RvWindowMode::Normal, RvLoadPanelState::Closed, RvOptionsBarMode::None,
     QRect(0, 16, 520, 319), QRect(3, 335, 514, 12), QRect(), QRect(), false, false, false},
    {"FullScreen", RvWindowMode::FullScreen, RvLoadPanelState::Closed,
     RvOptionsBarMode::TransportAndOptions, QRect(0, 0, 520, 350), QRect(), QRect(), QRect(), false,
     false, false},
    {"LoadPanelOpen", RvWindowMode::Normal, RvLoadPanelState::Open,
     RvOptionsBarMode::TransportAndOptions, QRect(3, 16, 514, 270), QRect(3, 286, 514, 12),
     QRect(15, 298, 490, 24), QRect(231, 327, 286, 20), false, true, true},
    {"Writing", RvWindowMode::Normal, RvLoadPanelState::Writing,
     RvOptionsBarMode::TransportAndOptions, QRect(3, 16, 514, 294), QRect(3, 310, 514, 12), QRect(),
     QRect(231, 327, 286, 20), false, false, true},
};

class LayoutTest : public ::testing::TestWithParam<LayoutCase> {};

}  // namespace

TEST_P(LayoutTest, PlacesEveryChild) {
  const LayoutCase& c = GetParam();
  CRvLayoutInput in;
  in.client = QRect(0, 0, 520, 350);
  in.windowMode = c.mode;
  in.loadPanel = c.panel;
  in.optionsBar = c.bar;
  in.containerHeight = 24;
  const CRvLayout l = RvComputeLayout(in);
  EXPECT_EQ(l.view, c.view);
  EXPECT_EQ(l.frameBar, c.frameBar);
  EXPECT_EQ(l.showOptionsBar ? l.container : QRect(), c.container);
  EXPECT_EQ(l.statusLine, c.statusLine);
  EXPECT_EQ(l.showTransport, c.transport);
  EXPECT_EQ(l.showOk, c.ok);
  EXPECT_EQ(l.showCancel, c.cancel);
  EXPECT_EQ(l.showView, c.panel != RvLoadPanelState::Open);
  EXPECT_EQ(l.showClose, c.panel != RvLoadPanelState::Writing);
  // The engine draws into the whole view.
  EXPECT_EQ(l.engineRect, QRect(QPoint(0, 0), c.view.size()));
  if (c.mode != RvWindowMode::FullScreen) {
    EXPECT_EQ(l.caption[kRvHelp], QRect(520 - 99, 0, 16, 16));
    EXPECT_EQ(l.caption[kRvClose], QRect(520 - 19, 0, 16, 16));
  }
  if (c.transport) {
    EXPECT_EQ(l.transport[kRvOpen], QRect(3, 327, 20, 20));
    EXPECT_EQ(l.transport[kRvSettings], QRect(209, 327, 20, 20));
    EXPECT_EQ(l.ok, QRect(520 - 125, 327, 20, 20));
    EXPECT_EQ(l.cancel, QRect(520 - 103, 327, 20, 20));
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, LayoutTest, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LayoutRules, AcceptDisabledHidesOk) {
  CRvLayoutInput in;
  in.client = QRect(0, 0, 520, 350);
  in.loadPanel = RvLoadPanelState::Open;
  in.acceptEnabled = false;
  EXPECT_FALSE(RvComputeLayout(in).showOk);
}

TEST(LayoutRules, HitTestingFindsEdgesCornersAndTheCaptionStrip) {
  const QRect w(100, 100, 400, 300);  // right 500, bottom 400
  const struct {
    QPoint p;
    RvHitArea area;
  } cases[] = {
      {{101, 101}, RvHitArea::TopLeft},    {{498, 101}, RvHitArea::TopRight},
      {{101, 398}, RvHitArea::BottomLeft}, {{495, 395}, RvHitArea::BottomRight},
      {{101, 250}, RvHitArea::Left},       {{498, 250}, RvHitArea::Right},
      {{300, 101}, RvHitArea::Top},        {{300, 398}, RvHitArea::Bottom},
      {{300, 110}, RvHitArea::Caption},    {{300, 250}, RvHitArea::Client},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RvHitTest(w, c.p, RvWindowMode::Normal), c.area) << c.p.x() << "," << c.p.y();
    EXPECT_EQ(RvHitTest(w, c.p, RvWindowMode::Maximized), RvHitArea::Client);
  }
}

TEST(LayoutRules, ScrubStepsFollowThePixelsPerFrame) {
  EXPECT_EQ(RvScrubSteps(1, 500, 100), 1);      // a tiny movement still steps one frame
  EXPECT_EQ(RvScrubSteps(-25, 500, 100), -5);   // 5 pixels per frame
  EXPECT_EQ(RvScrubSteps(500, 500, 100), 100);  // the whole width passes the whole list
  EXPECT_EQ(RvScrubSteps(7, 500, 1000), 7);     // fewer pixels than frames: one per pixel
  EXPECT_EQ(RvScrubSteps(3, 500, 0), 3);
  EXPECT_EQ(RvScrubSteps(0, 500, 10), 0);
}

TEST(LayoutRules, WheelStepsAreSquaredNotchesAndSmallDeltasAddUp) {
  CRvWheelSteps wheel;
  EXPECT_EQ(wheel.Add(240), 4);  // two notches at once step four times
  EXPECT_EQ(wheel.Add(-120), -1);
  EXPECT_EQ(wheel.Add(40), 0);  // a high-resolution wheel: no step yet
  EXPECT_EQ(wheel.Add(40), 0);
  EXPECT_EQ(wheel.Add(40), 1);  // the third makes a notch
  EXPECT_EQ(wheel.Add(100), 0);
  EXPECT_EQ(wheel.Add(-30), 0);  // turning back drops what the other way had gathered
  EXPECT_EQ(wheel.Remainder(), -30);
}
