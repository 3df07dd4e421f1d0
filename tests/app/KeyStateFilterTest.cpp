// The key filter keeps the support library's key table current from the events it sees.
#include <gtest/gtest.h>

#include "AppTestSupport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include "app/KeyState.h"
#include "support/NesCommon55.h"

namespace {

using apptest::App;

void Send(QWidget* target, QEvent::Type type, int key, Qt::KeyboardModifiers mods,
          bool autoRepeat = false) {
  QKeyEvent event(type, key, mods, QString(), autoRepeat);
  QApplication::sendEvent(target, &event);
}

}  // namespace

TEST(KeyStateFilterTest, VirtualKeyCodes) {
  EXPECT_EQ(RvVirtualKeyFromQt(Qt::Key_A), 'A');
  EXPECT_EQ(RvVirtualKeyFromQt(Qt::Key_7), '7');
  EXPECT_EQ(RvVirtualKeyFromQt(Qt::Key_F1), 0x70);
  EXPECT_EQ(RvVirtualKeyFromQt(Qt::Key_Shift), kNesVkShift);
  EXPECT_EQ(RvVirtualKeyFromQt(Qt::Key_Space), 0x20);
  EXPECT_EQ(RvVirtualKeyFromQt(Qt::Key_Enter), 0x0D);
  EXPECT_EQ(RvVirtualKeyFromQt(Qt::Key_Eacute), 0);
}

TEST(KeyStateFilterTest, PressesAndReleasesReachTheTable) {
  App();
  QWidget target;
  {
    CRvKeyStateFilter filter;
    Send(&target, QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    EXPECT_TRUE(bNesKeyPressed(0x27));
    // An auto-repeated release is followed by a press: the key stays down.
    Send(&target, QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, true);
    EXPECT_TRUE(bNesKeyPressed(0x27));
    Send(&target, QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier);
    EXPECT_FALSE(bNesKeyPressed(0x27));

    // As the window system sends it: the state before the press, without Shift.
    Send(&target, QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    EXPECT_TRUE(bNesKeyPressed(kNesVkShift));
    Send(&target, QEvent::KeyPress, Qt::Key_X, Qt::ShiftModifier);
    EXPECT_TRUE(bNesKeyPressed('X'));
    QEvent deactivate(QEvent::ApplicationDeactivate);
    QApplication::sendEvent(App(), &deactivate);
    EXPECT_FALSE(bNesKeyPressed('X'));
    Send(&target, QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier);
  }
  // Removing the filter clears what it recorded and stops recording.
  EXPECT_FALSE(bNesKeyPressed('Q'));
  Send(&target, QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier);
  EXPECT_FALSE(bNesKeyPressed('Q'));
}
