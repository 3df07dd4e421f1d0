// Full screen through the KaGraphSub10 surface: the switch, the drawing into the surface instead
// of the status line, suppressed announcements, and leaving it on destruction.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QWindow>

#include "EngineTestSupport.h"
#include "GuiTestSupport.h"
#include "kagraph/KaFullscreen.h"
#include "support/NesCommon55.h"

using enginetest::ManualEngine;

TEST(FullScreen, SwitchOnTwiceChangesNothingAndOffRestoresTheWindow) {
  apptest::GuiApp();
  bWriteToIniFile(strSettingsPath() + "settings.ini", "DirectDraw", "HorzRes", 640);
  ManualEngine m;
  m.engine->SetFullScreen(true);
  ASSERT_TRUE(m.engine->IsFullScreen());
  EXPECT_FALSE(m.engine->IsHeld());
  const KaRect screen = m.engine->GetDisplayRect();
  EXPECT_EQ(screen.left, 0);
  EXPECT_GT(screen.right, 0);
  m.engine->SetFullScreen(true);
  EXPECT_TRUE(m.engine->IsFullScreen());
  EXPECT_EQ(m.engine->GetDisplayRect(), screen);
  // Drawing goes to the surface, not to the windowed view.
  const std::size_t windowed = m.surface.frames.size();
  m.engine->RequestRedraw();
  m.Cycles(1);
  EXPECT_EQ(m.surface.frames.size(), windowed);
  // The info line is drawn into the picture and does not become the status line's text.
  EXPECT_NE(m.engine->GetLastInfoLine().find("40 x 20"), std::string::npos);
  EXPECT_NE(m.status.GetDefaultText(), m.engine->GetLastInfoLine());
  // Announcements are dropped.
  const std::string before = m.status.GetDisplayedText();
  m.engine->SetViewMode(KaViewMode::RedChannel);
  EXPECT_EQ(m.status.GetDisplayedText(), before);
  m.engine->SetFullScreen(false);
  EXPECT_FALSE(m.engine->IsFullScreen());
  EXPECT_EQ(m.engine->GetDisplayRect(), (KaRect{0, 0, 100, 60}));
  m.engine->RequestRedraw();
  m.Cycles(1);
  EXPECT_EQ(m.surface.frames.size(), windowed + 1);
}

TEST(FullScreen, DestroyingTheEngineInFullScreenLeavesIt) {
  apptest::GuiApp();
  auto m = std::make_unique<ManualEngine>();
  m->engine->SetFullScreen(true);
  ASSERT_TRUE(m->engine->IsFullScreen());
  const auto surfaceWindows = [] {
    int n = 0;
    for (QWindow* w : QGuiApplication::allWindows())
      n += w->objectName() == QLatin1String(kKaFullscreenWindowName) && w->isVisible();
    return n;
  };
  ASSERT_EQ(surfaceWindows(), 1);
  m->engine.reset();  // releases surface and mode once; a second release would crash
  EXPECT_EQ(surfaceWindows(), 0);
}
