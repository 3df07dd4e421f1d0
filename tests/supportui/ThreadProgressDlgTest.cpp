#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "AppTestSupport.h"
#include "supportui/NesThreadProgressDlg.h"

// Qt's widgets paint through the library's own thread pool, whose locking the thread sanitizer
// cannot see (Qt is not instrumented); it would report Qt's copies and frees there as races.
// Only accesses made inside Qt's code are left out, never those of this library or the test.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libQt6Core.so.6\nrace:libQt6Gui.so.6\n";
}

namespace {

using namespace std::chrono_literals;

// Sets 30 percent, waits for the cancel request, then holds until the test lets it return.
class CancellableAction : public CNesInvokeThread {
 public:
  CancellableAction(std::atomic<bool>* sawCancel, std::atomic<bool>* release)
      : m_sawCancel(sawCancel), m_release(release) {}

 protected:
  NesResult Run() override {
    pObserver()->SetPercent(30);
    while (!pObserver()->bCancelRequested()) std::this_thread::sleep_for(1ms);
    *m_sawCancel = true;
    while (!*m_release) std::this_thread::sleep_for(1ms);
    return -2;
  }

 private:
  std::atomic<bool>* m_sawCancel;
  std::atomic<bool>* m_release;
};

}  // namespace

TEST(ThreadProgressDlgTest, CancelKeepsTheDialogUntilTheActionReturns) {
  apptest::App();
  std::atomic<bool> sawCancel{false}, release{false};
  auto* observer = new CNesThreadObserver;
  ASSERT_TRUE(observer->bStartThread(std::make_unique<CancellableAction>(&sawCancel, &release)));

  int shownPercent = -1;
  bool openAfterCancel = false;
  QTimer driver;
  driver.setInterval(5);
  QObject::connect(&driver, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<CNesThreadProgressDlg*>(QApplication::activeModalWidget());
    if (!dialog) return;
    if (!sawCancel) {
      if (dialog->ProgressBar()->value() == 30 && shownPercent < 0) {
        shownPercent = dialog->ProgressBar()->value();
        dialog->CancelButton()->click();
      }
      return;
    }
    // The action has seen the cancel but not returned: the dialog must still be there.
    openAfterCancel = dialog->isVisible();
    release = true;
  });
  driver.start();
  const NesResult result = hrNesShowThreadGUI("Working\non it", observer);
  EXPECT_EQ(result, -2);
  EXPECT_EQ(shownPercent, 30);
  EXPECT_TRUE(openAfterCancel);
}
