// The player window started offscreen with a generated sequence on its command line: it opens
// the sequence, plays it (the position advances and frames reach the view), the keys drive the
// engine, and Space pauses.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <functional>

#include "TestUtil.h"
#include "app/KeyCommands.h"
#include "app/PlaybackObserver.h"
#include "app/PlaybackView.h"
#include "app/RvMainDlg.h"
#include "engine/DrawThread.h"
#include "sequence/PlayList.h"

namespace {

QApplication* App() {
  static int argc = 1;
  static char name[] = "test_playback";
  static char* argv[] = {name, nullptr};
  static QApplication* app = qApp ? static_cast<QApplication*>(qApp) : new QApplication(argc, argv);
  return app;
}

bool ProcessUntil(const std::function<bool()>& pred, int ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!pred() && clock.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  return pred();
}

void ProcessFor(int ms) {
  ProcessUntil([] { return false; }, ms);
}

// A path as the program's command line quotes it.
std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

void Press(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers);
  QApplication::sendEvent(target, &press);
}

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

TEST_F(PlaybackGuiTest, PlaysTheCommandLineSequenceAndSpacePauses) {
  auto dlg = Start(Quoted(m_dir.File("take_0001.png")));
  CKaDrawThread* engine = dlg->Engine();
  ASSERT_NE(engine, nullptr);
  ASSERT_NE(dlg->PlayList(), nullptr) << dlg->CommandLineRequest().sequencePath;
  EXPECT_EQ(dlg->PlayList()->GetFrameCount(), 10u);
  EXPECT_TRUE(engine->IsPlaying());
  // The position advances and decoded frames reach the view.
  const std::uint64_t calls = dlg->Observer()->GetPositionCalls();
  ASSERT_TRUE(ProcessUntil([&] { return dlg->Observer()->GetPositionCalls() >= calls + 5; }));
  ASSERT_TRUE(ProcessUntil([&] { return engine->GetLastFrameWidth() == 64; }));
  EXPECT_GT(dlg->PlaybackView()->PresentCount(), 0u);
  EXPECT_NE(engine->GetLastInfoLine().find("64 x 48"), std::string::npos);

  Press(dlg.get(), Qt::Key_Space);
  EXPECT_FALSE(engine->IsPlaying());
  ProcessFor(100);  // a cycle that was already moving may still finish
  const std::uint32_t stopped = dlg->PlayList()->GetCurrentIndex();
  ProcessFor(300);
  EXPECT_EQ(dlg->PlayList()->GetCurrentIndex(), stopped);
  EXPECT_EQ(dlg->StatusLine()->Line()->GetDisplayedText(), "Pause");

  Press(dlg.get(), Qt::Key_Space);
  EXPECT_TRUE(engine->IsPlaying());
  dlg->close();
  // Closing stops the engine; its worker may need a moment under load.
  EXPECT_TRUE(ProcessUntil([&] { return !engine->IsRunning(); }));
}

TEST_F(PlaybackGuiTest, InAndOutFramesFromTheCommandLine) {
  auto dlg = Start(Quoted(m_dir.File("take_0001.png")) + " 3-7");
  CRvPlayList* list = dlg->PlayList();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->GetInIndex(), 2u);
  EXPECT_EQ(list->GetOutIndex(), 6u);
  ProcessFor(300);
  const std::uint32_t index = list->GetCurrentIndex();
  EXPECT_GE(index, 2u);
  EXPECT_LE(index, 6u);
  dlg->close();
}

TEST_F(PlaybackGuiTest, KeysDriveTheView) {
  auto dlg = Start(Quoted(m_dir.File("take_0001.png")));
  CKaDrawThread* engine = dlg->Engine();
  Press(dlg.get(), Qt::Key_Space);  // pause
  Press(dlg.get(), Qt::Key_R);
  EXPECT_EQ(engine->GetViewMode(), 1u);
  Press(dlg.get(), Qt::Key_R);
  EXPECT_EQ(engine->GetViewMode(), 0u);
  Press(dlg.get(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(engine->GetViewMode(), 6u);
  Press(dlg.get(), Qt::Key_Space, Qt::AltModifier);
  EXPECT_EQ(engine->GetViewMode(), 0u);
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
  const std::uint32_t rate = engine->GetFps();
  Press(dlg.get(), Qt::Key_PageUp);
  EXPECT_EQ(engine->GetFps(), rate + 1);
  Press(dlg.get(), Qt::Key_PageDown, Qt::AltModifier);
  EXPECT_NEAR(engine->GetGamma(), 0.9, 1e-9);
  for (int i = 0; i < 12; ++i) Press(dlg.get(), Qt::Key_PageDown, Qt::AltModifier);
  EXPECT_EQ(engine->GetGamma(), 1e-8);  // gamma 0 is stored as 1e-8, never negative
  // Stepping while paused, and the in point toggled by Shift+I.
  engine->GotoStart(false);
  Press(dlg.get(), Qt::Key_Right);
  EXPECT_EQ(dlg->PlayList()->GetCurrentIndex(), 1u);
  Press(dlg.get(), Qt::Key_I, Qt::ShiftModifier);
  EXPECT_EQ(dlg->PlayList()->GetInIndex(), 1u);
  Press(dlg.get(), Qt::Key_I, Qt::ShiftModifier);
  EXPECT_EQ(dlg->PlayList()->GetInIndex(), 0u);
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
