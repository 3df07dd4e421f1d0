#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/NesThread.h"

namespace {

using namespace std::chrono_literals;

// Reports 40 percent, waits for cancel (or not) and returns its result.
class StepAction : public CNesInvokeThread {
 public:
  StepAction(NesResult result, bool waitForCancel, std::atomic<bool>* destroyed)
      : m_result(result), m_waitForCancel(waitForCancel), m_destroyed(destroyed) {}
  ~StepAction() override { *m_destroyed = true; }

 protected:
  NesResult Run() override {
    pObserver()->SetPercent(40);
    while (m_waitForCancel && !pObserver()->bCancelRequested()) std::this_thread::sleep_for(1ms);
    return m_result;
  }

 private:
  NesResult m_result;
  bool m_waitForCancel;
  std::atomic<bool>* m_destroyed;
};

void WaitFinished(const CNesThreadObserver& observer) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!observer.bFinished() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
}

}  // namespace

TEST(ThreadObserverTest, PercentIsCappedAndResultCodesStay32Bit) {
  CNesThreadObserver observer;
  observer.SetPercent(150);
  EXPECT_EQ(observer.nPercent(), 100u);
  EXPECT_TRUE(observer.bFinished());  // no worker yet
  EXPECT_LT(kNesErrorCancelled, 0);
  EXPECT_EQ(static_cast<std::uint32_t>(kNesErrorCancelled), 0x8004083Fu);
}

TEST(ThreadObserverTest, WorkerReportsItsResultAndDeletesTheAction) {
  for (const NesResult result : {NesResult{7}, NesResult{-1}}) {
    std::atomic<bool> destroyed{false}, refusedDestroyed{false};
    auto observer = std::make_unique<CNesThreadObserver>();
    ASSERT_TRUE(observer->bStartThread(std::make_unique<StepAction>(result, true, &destroyed)));
    EXPECT_FALSE(observer->bStartThread(std::make_unique<StepAction>(0, false, &refusedDestroyed)));
    EXPECT_TRUE(refusedDestroyed);  // while one runs, a second action is not started
    observer->RequestCancel();
    WaitFinished(*observer);
    ASSERT_TRUE(observer->bFinished());
    EXPECT_EQ(observer->resResult(), result);
    EXPECT_EQ(observer->nPercent(), result >= 0 ? 100u : 40u);  // a failure keeps its percent
    EXPECT_FALSE(observer->bCancelRequested());
    EXPECT_EQ(observer->nThreadId(), CNesThreadObserver::kNoThreadId);
    observer.reset();  // waits for the worker, which has deleted the action by then
    EXPECT_TRUE(destroyed);
  }
}

TEST(ThreadObserverTest, ParseObserverComposesItsError) {
  CNesParseThreadObserver observer;
  EXPECT_EQ(observer.strParseErrorAsText(), "");
  observer.SetParseError(3);
  observer.SetParseErrorLine(12);
  observer.SetParseErrorString("unexpected \"}\"");
  EXPECT_EQ(observer.strParseErrorAsText(), "Parse error 3 in line 12: unexpected \"}\"");
}
