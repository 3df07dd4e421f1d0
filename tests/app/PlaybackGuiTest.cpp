// The player window started offscreen with a generated sequence on its command line: it opens
// the sequence within the given range, plays it (the position advances and frames reach the
// view), the keys drive the engine, and Space pauses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>

#include "AppTestSupport.h"
#include "TestUtil.h"
#include "app/PlaybackObserver.h"
#include "app/PlaybackView.h"
#include "app/RvMainDlg.h"
#include "engine/DrawThread.h"
#include "sequence/PlayList.h"

namespace {

using apptest::App;
using apptest::Press;
using apptest::ProcessFor;
using apptest::ProcessUntil;

// A path as the program's command line quotes it.
std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

class PlaybackGuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    if (!rvtest::HaveProgram("convert")) GTEST_SKIP() << "ImageMagick convert is missing";
    // Ten 64 x 48 frames written by an independent tool.
    for (int i = 1; i <= 10; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "take_%04d.png", i);
      const std::string command = "convert -size 64x48 xc:'rgb(" + std::to_string(i * 20) +
                                  ",40,90)' " + rvtest::ShellQuote(m_dir.File(name));
      ASSERT_EQ(rvtest::RunCommand(command), 0) << command;
    }
  }

  std::unique_ptr<CRvMainDlg> Start(const std::string& arguments) {
    // Quoted program path first: an unquoted one would run on to the path's closing quote.
    auto dlg = std::make_unique<CRvMainDlg>("\"reelvane\" " + arguments);
    dlg->InitDialog();
    dlg->show();
    return dlg;
  }

  rvtest::TempDir m_dir;
};

}  // namespace

TEST_F(PlaybackGuiTest, PlaysTheCommandLineRangeAndSpacePauses) {
  auto dlg = Start(Quoted(m_dir.File("take_0001.png")) + " 3-7");
  CKaDrawThread* engine = dlg->Engine();
  ASSERT_NE(engine, nullptr);
  ASSERT_NE(dlg->PlayList(), nullptr) << dlg->CommandLineRequest().sequencePath;
  EXPECT_EQ(dlg->PlayList()->GetInIndex(), 2u);
  EXPECT_EQ(dlg->PlayList()->GetOutIndex(), 6u);
  EXPECT_TRUE(engine->IsPlaying());
  // The position advances and decoded frames reach the view.
  const std::uint64_t calls = dlg->Observer()->GetPositionCalls();
  ASSERT_TRUE(ProcessUntil([&] { return dlg->Observer()->GetPositionCalls() >= calls + 5; }));
  ASSERT_TRUE(ProcessUntil([&] { return engine->GetLastFrameWidth() == 64; }));
  EXPECT_GT(dlg->PlaybackView()->PresentCount(), 0u);

  Press(dlg.get(), Qt::Key_Space);
  EXPECT_FALSE(engine->IsPlaying());
  Press(dlg.get(), Qt::Key_Space);
  EXPECT_TRUE(engine->IsPlaying());
  dlg->close();
  // Closing stops the engine; its worker may need a moment under load.
  EXPECT_TRUE(ProcessUntil([&] { return !engine->IsRunning(); }));
}

TEST_F(PlaybackGuiTest, KeysDriveTheView) {
  auto dlg = Start(Quoted(m_dir.File("take_0001.png")));
  CKaDrawThread* engine = dlg->Engine();
  Press(dlg.get(), Qt::Key_Space);  // pause
  Press(dlg.get(), Qt::Key_R);
  EXPECT_EQ(engine->GetViewMode(), KaViewMode::RedChannel);
  Press(dlg.get(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(engine->GetViewMode(), KaViewMode::ShowAlphaInverted);
  Press(dlg.get(), Qt::Key_Space, Qt::AltModifier);
  EXPECT_EQ(engine->GetViewMode(), KaViewMode::Normal);
  Press(dlg.get(), Qt::Key_C);
  EXPECT_TRUE(engine->IsGammaEnabled());
  Press(dlg.get(), Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_DOUBLE_EQ(engine->GetZoom(), 2.0);
  Press(dlg.get(), Qt::Key_Minus, Qt::KeypadModifier);
  EXPECT_DOUBLE_EQ(engine->GetZoom(), 1.0);
  Press(dlg.get(), Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(engine->GetPanX(), 10);
  Press(dlg.get(), Qt::Key_Home, Qt::ShiftModifier);
  EXPECT_EQ(engine->GetPanX(), 0);
  Press(dlg.get(), Qt::Key_PageDown, Qt::AltModifier);
  EXPECT_NEAR(engine->GetGamma(), 0.9, 1e-9);
  for (int i = 0; i < 12; ++i) Press(dlg.get(), Qt::Key_PageDown, Qt::AltModifier);
  EXPECT_EQ(engine->GetGamma(), 1e-8);  // gamma 0 is stored as 1e-8, never negative
  // Stepping while paused, and the frame bar.
  engine->GotoStart(false);
  Press(dlg.get(), Qt::Key_Right);
  EXPECT_EQ(dlg->PlayList()->GetCurrentIndex(), 1u);
  // The frame bar follows; announcing the same position again queues nothing new for it.
  EXPECT_TRUE(ProcessUntil([&] { return dlg->FrameBar()->GetCurrentIndex() == 1; }));
  dlg->Observer()->OnPositionChanged(1);
  dlg->FrameBar()->SetCurrentIndex(7);
  ProcessFor(20);
  EXPECT_EQ(dlg->FrameBar()->GetCurrentIndex(), 7u);
  // Zoom to fit: the 64 x 48 frame fills the view's smaller ratio.
  ASSERT_TRUE(ProcessUntil([&] { return engine->GetLastFrameWidth() == 64; }));
  Press(dlg.get(), Qt::Key_Home, Qt::ControlModifier);
  const QSize view = dlg->PlaybackView()->size();
  EXPECT_DOUBLE_EQ(engine->GetZoom(), std::min(view.width() / 64.0, view.height() / 48.0));
  dlg->close();
}

TEST_F(PlaybackGuiTest, MissingSequenceLeavesTheWindowUpWithoutPlayList) {
  const std::string path = m_dir.File("nothing_0001.png");
  auto dlg = Start(Quoted(path));
  EXPECT_EQ(dlg->PlayList(), nullptr);
  auto* box = dlg->findChild<QMessageBox*>("openSequenceError");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text().toStdString(), "Unable to open sequence " + path);
  box->close();
  EXPECT_FALSE(dlg->Engine()->IsPlaying());
  dlg->close();
}

namespace {
void Mouse(QWidget* target, QEvent::Type type, Qt::MouseButton button, QPoint at) {
  const Qt::MouseButtons buttons =
      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
  QMouseEvent event(type, at, target->mapToGlobal(at),
                    type == QEvent::MouseMove ? Qt::NoButton : button, buttons, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

void Wheel(QWidget* target, int delta) {
  QWheelEvent event(QPointF(100, 100), QPointF(100, 100), QPoint(), QPoint(0, delta), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(target, &event);
}

}  // namespace

TEST_F(PlaybackGuiTest, ScrubAndWheelStepWhilePausedAndTheCaptionNamesTheSequence) {
  auto dlg = Start(Quoted(m_dir.File("take_0001.png")));
  EXPECT_EQ(dlg->windowTitle().toStdString(),
            " - take_#.png - Kavato Reelvane Stage Edition v2.10 Basic Edition");
  CKaDrawThread* engine = dlg->Engine();
  CRvPlayList* list = dlg->PlayList();
  // Right-drag: 520 pixels for 10 frames is 52 pixels a frame; playback pauses during it and
  // resumes after.
  ASSERT_TRUE(engine->IsPlaying());
  Mouse(dlg.get(), QEvent::MouseButtonPress, Qt::RightButton, {10, 100});
  EXPECT_FALSE(engine->IsPlaying());
  engine->GotoStart(false);
  Mouse(dlg.get(), QEvent::MouseMove, Qt::RightButton, {114, 100});
  EXPECT_EQ(list->GetCurrentIndex(), 2u);
  Mouse(dlg.get(), QEvent::MouseButtonRelease, Qt::RightButton, {114, 100});
  EXPECT_TRUE(engine->IsPlaying());
  // The wheel pauses; two notches towards the user step four frames forward, one notch away
  // one back (how notches add up is checked with the layout rules).
  Wheel(dlg.get(), -240);
  EXPECT_FALSE(engine->IsPlaying());
  engine->GotoStart(false);
  Wheel(dlg.get(), -240);
  EXPECT_EQ(list->GetCurrentIndex(), 4u);
  Wheel(dlg.get(), 120);
  EXPECT_EQ(list->GetCurrentIndex(), 3u);
  dlg->close();
}

TEST_F(PlaybackGuiTest, ADroppedFileReplacesThePlayListOrKeepsItWhenUnreadable) {
  auto dlg = Start(Quoted(m_dir.File("take_0001.png")));
  CRvPlayList* before = dlg->PlayList();
  const std::string missing = m_dir.File("gone_0001.png");
  EXPECT_FALSE(dlg->OpenDroppedFile(missing));
  EXPECT_EQ(dlg->PlayList(), before);
  auto* box = dlg->findChild<QMessageBox*>("openSequenceError");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text().toStdString(), "Unable to open sequence " + missing);
  box->close();
  EXPECT_EQ(dlg->Engine()->GetPlayList(), before);

  ASSERT_EQ(rvtest::RunCommand("convert -size 8x8 xc:red " +
                               rvtest::ShellQuote(m_dir.File("other.0001.png"))),
            0);
  EXPECT_TRUE(dlg->OpenDroppedFile(m_dir.File("other.0001.png")));
  ASSERT_NE(dlg->PlayList(), nullptr);
  EXPECT_EQ(dlg->Engine()->GetPlayList(), dlg->PlayList());
  // The observer forgot the deleted list's record and now holds the new one.
  EXPECT_EQ(dlg->Observer()->GetInOutRecord(), dlg->PlayList());
  EXPECT_THAT(dlg->windowTitle().toStdString(), ::testing::StartsWith(" - other.#.png - "));
  dlg->close();
}
