// Playback commands, the worker cycle's moving and end rules, pacing and holds, driven cycle by
// cycle on a fake clock with real play lists.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "imaging/FrameDecoder.h"
#include "imaging/TextException.h"

using enginetest::ManualEngine;

namespace {

const char* kWaiting2 = "Waiting 2s before playing again";
constexpr std::uint32_t kNo = kRvNone;

// Plays forwards from the first frame until the cycle that hits the end of 5 frames.
void PlayToForwardEnd(ManualEngine& m) {
  m.engine->Play(false);
  m.Cycles(5);
  ASSERT_TRUE(m.engine->IsAtEnd());
}

// Runs idle cycles until the pending action has run (the fake clock advances 20 ms a cycle).
void WaitOutPending(ManualEngine& m) {
  for (int i = 0; i < 400 && m.engine->GetPendingAction() != KaPendingAction::None; ++i)
    m.engine->RunCycle();
}

// One end of the range on a 10-frame list: what the cycle that hits it leaves, and what
// follows: the pending action run after its deadline, else one more cycle while playing,
// else the same play command given again.
struct EndCase {
  const char* name;
  RvPlayMode mode;
  bool forward;
  std::uint32_t loopPause, step, in, out, start;
  std::uint32_t endIndex;
  bool endPlaying, endReverse;
  KaPendingAction pending;
  std::uint32_t nextIndex;
  bool nextReverse;
};

using enum RvPlayMode;
using enum KaPendingAction;

const EndCase kEndCases[] = {
    {"LoopBackPause", Loop, false, 2, 1, kNo, kNo, 9, 0, false, true, InPointThenPlayReverse, 8,
     true},
    {"PingPongPause", PingPong, true, 2, 1, kNo, kNo, 0, 9, false, false, PlayReverse, 8, true},
    {"PingPongBack", PingPong, false, 0, 1, kNo, kNo, 9, 0, true, false, None, 1, false},
    {"PingPongBackPause", PingPong, false, 2, 1, kNo, kNo, 9, 0, false, true, Play, 1, false},
    // A loop pause means nothing to run once; the next Play starts again from the in point.
    {"Once", Once, true, 2, 1, kNo, kNo, 0, 9, false, false, None, 0, false},
    // Step 5 with three frames left before the out point (or the first frame): the partial
    // move is undone.
    {"OnceStepFive", Once, true, 0, 5, kNo, 7, 4, 4, false, false, None, 0, false},
    {"OnceBackStepFive", Once, false, 0, 5, kNo, kNo, 8, 3, false, true, None, 9, true},
    {"LoopInOut", Loop, true, 0, 1, 2, 6, 2, 2, true, false, None, 3, false},
    {"LoopBackInOut", Loop, false, 0, 1, 2, 6, 6, 6, true, true, None, 5, true},
    {"PingPongStepTwoInOut", PingPong, true, 0, 2, 2, 7, 2, 6, true, true, None, 4, true},
    {"LoopPauseInOut", Loop, true, 2, 1, 3, 5, 3, 5, false, false, InPointThenPlay, 4, false},
};

void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

class EndRuleTest : public ::testing::TestWithParam<EndCase> {};

}  // namespace

TEST_P(EndRuleTest, AtTheEnd) {
  const EndCase& c = GetParam();
  ManualEngine m;
  m.Attach(10);
  m.engine->SetPlayMode(c.mode);
  m.engine->SetLoopPause(c.loopPause);
  m.engine->SetStep(c.step);
  if (c.in != kNo) m.engine->SetInPoint(c.in, true);
  if (c.out != kNo) m.engine->SetOutPoint(c.out, true);
  m.engine->SetPosition(c.start);
  c.forward ? m.engine->Play(false) : m.engine->PlayReverse(false);
  for (int i = 0; i < 20 && !m.engine->IsAtEnd(); ++i) m.Cycles(1);
  ASSERT_TRUE(m.engine->IsAtEnd());
  EXPECT_EQ(m.Index(), c.endIndex);
  EXPECT_EQ(m.engine->IsPlaying(), c.endPlaying);
  EXPECT_EQ(m.engine->IsReverse(), c.endReverse);
  EXPECT_EQ(m.engine->GetPendingAction(), c.pending);
  if (c.pending != KaPendingAction::None) {
    EXPECT_EQ(m.status.GetDisplayedText(), kWaiting2);
    const std::uint64_t deadline = m.clock.TickCount() + 2000;
    EXPECT_EQ(m.engine->GetActionDeadline(), deadline);
    m.clock.Advance(1.9);  // nothing happens before the deadline
    m.Cycles(1);
    EXPECT_EQ(m.engine->GetPendingAction(), c.pending);
    EXPECT_EQ(m.Index(), c.endIndex);
    WaitOutPending(m);
    EXPECT_GT(m.clock.TickCount(), deadline);
  } else if (c.endPlaying) {
    m.Cycles(1);
  } else {
    c.forward ? m.engine->Play(false) : m.engine->PlayReverse(false);
  }
  EXPECT_EQ(m.Index(), c.nextIndex);
  EXPECT_TRUE(m.engine->IsPlaying());
  EXPECT_EQ(m.engine->IsReverse(), c.nextReverse);
  EXPECT_FALSE(m.engine->IsAtEnd());
}

INSTANTIATE_TEST_SUITE_P(Engine, EndRuleTest, ::testing::ValuesIn(kEndCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Commands, TogglesDuringLoopPauseCancelOrReplaceTheRestart) {
  ManualEngine m;
  m.Attach(5);
  m.engine->SetLoopPause(2);
  PlayToForwardEnd(m);
  m.engine->TogglePlay();  // the pending restart plays forwards: cancelled, stays paused
  EXPECT_EQ(m.engine->GetPendingAction(), KaPendingAction::None);
  m.clock.Advance(5.0);
  m.Cycles(3);
  EXPECT_FALSE(m.engine->IsPlaying());
  EXPECT_EQ(m.Index(), 4u);
  m.engine->GotoStart(false);
  PlayToForwardEnd(m);
  m.engine->TogglePlayReverse();  // replaced by playing backwards
  EXPECT_EQ(m.engine->GetPendingAction(), KaPendingAction::None);
  EXPECT_TRUE(m.engine->IsPlaying());
  EXPECT_TRUE(m.engine->IsReverse());
  m.engine->TogglePlayReverse();
  EXPECT_FALSE(m.engine->IsPlaying());
  EXPECT_EQ(m.status.GetDisplayedText(), "Pause");
}

TEST(Commands, PlayAtOutPointRestartsFromInPoint) {
  ManualEngine m;
  CRvPlayList* list = m.Attach(10);
  m.engine->SetInPoint(2, true);
  m.engine->SetOutPoint(6, true);
  ASSERT_EQ(list->GetCurrentIndex(), 6u);
  m.engine->Play(true);
  EXPECT_EQ(list->GetCurrentIndex(), 2u);
  EXPECT_EQ(m.status.GetDisplayedText(), "Play");
  m.engine->Pause(false);
  m.engine->PlayReverse(true);
  EXPECT_EQ(list->GetCurrentIndex(), 6u);
  EXPECT_EQ(m.status.GetDisplayedText(), "Play Reverse");
}

TEST(Commands, StepForwardIsIgnoredWhilePlaying) {
  ManualEngine m;
  m.Attach(5);
  m.engine->Play(false);
  m.engine->StepForward(true);
  EXPECT_EQ(m.Index(), 0u);
  m.engine->Pause(false);
  m.engine->StepForward(true);
  EXPECT_EQ(m.Index(), 1u);
  EXPECT_EQ(m.status.GetDisplayedText(), "Forward (Frame 2)");
  m.engine->StepBack(true);
  EXPECT_EQ(m.Index(), 0u);
  EXPECT_EQ(m.status.GetDisplayedText(), "Back (Frame 1)");
}

TEST(Commands, GoToCommandsAnnounceFrameNumbersAndNotify) {
  ManualEngine m;
  m.Attach(5);
  m.engine->GotoEnd(true);
  EXPECT_EQ(m.Index(), 4u);
  EXPECT_EQ(m.status.GetDisplayedText(), "Goto End (Frame 5)");
  m.engine->GotoStart(true);
  EXPECT_EQ(m.status.GetDisplayedText(), "Goto Start (Frame 1)");
  ASSERT_FALSE(m.observer.positions.empty());
  EXPECT_EQ(m.observer.positions.back(), 0u);
  m.engine->SetPosition(3);
  EXPECT_EQ(m.status.GetDisplayedText(), "Frame position set to 4");
  m.engine->GotoOutPoint();
  EXPECT_EQ(m.status.GetDisplayedText(), "Go to out point");
  EXPECT_EQ(m.Index(), 4u);
  m.engine->GotoInPoint();
  EXPECT_EQ(m.status.GetDisplayedText(), "Go to in point");
  EXPECT_EQ(m.Index(), 0u);
}

TEST(Commands, InAndOutPointsToggleAndSpan) {
  ManualEngine m;
  CRvPlayList* list = m.Attach(10);
  m.engine->SetPosition(3);
  m.engine->SetInPoint(CKaDrawThread::kNone, false);
  EXPECT_EQ(m.status.GetDisplayedText(), "Set in point");
  EXPECT_EQ(m.engine->GetInPoint(), 3u);
  m.engine->SetInPoint(CKaDrawThread::kNone, false);
  EXPECT_EQ(m.status.GetDisplayedText(), "In point switched off");
  EXPECT_EQ(m.engine->GetInPoint(), 0u);
  EXPECT_EQ(m.engine->GetOutPoint(), 9u);  // none set: the last index
  m.engine->SetOutPoint(CKaDrawThread::kNone, false);
  EXPECT_EQ(m.status.GetDisplayedText(), "Set out point");
  m.engine->SetOutPoint(CKaDrawThread::kNone, false);
  EXPECT_EQ(m.status.GetDisplayedText(), "Out point switched off");
  EXPECT_GE(m.observer.inOutCalls, 4);
  EXPECT_EQ(m.observer.lastRecord, list);

  m.engine->SetStep(4);
  m.engine->SetInPoint(2, true);
  m.engine->SetInOutSpan();
  EXPECT_EQ(list->GetInIndex(), 2u);
  EXPECT_EQ(list->GetOutIndex(), 6u);
  // Past the end the in point moves back by the excess.
  m.engine->ClearInOut();
  m.engine->SetInPoint(8, true);
  m.engine->SetInOutSpan();
  EXPECT_EQ(list->GetInIndex(), 6u);
  EXPECT_EQ(list->GetOutIndex(), 9u);
  // A span of its own (the in/out panel's cache size) follows the same rule.
  m.engine->SetInPoint(1, true);
  m.engine->SetInOutSpan(40);
  EXPECT_EQ(list->GetInIndex(), 0u);
  EXPECT_EQ(list->GetOutIndex(), 9u);
}

TEST(Commands, CommandsWithoutPlayListDoNothing) {
  ManualEngine m;
  m.engine->Play(false);
  EXPECT_FALSE(m.engine->IsPlaying());
  m.engine->StepForward(false);
  m.engine->GotoEnd(false);
  EXPECT_EQ(m.engine->GetFrameCount(), 0u);
  EXPECT_EQ(m.engine->GetInPoint(), 0u);
}

TEST(Rate, FpsZeroMeansOneSecondInterval) {
  ManualEngine m;
  EXPECT_EQ(m.engine->GetFps(), 30u);
  EXPECT_EQ(m.status.GetDisplayedText(), "30fps");  // announced at construction
  m.engine->SetFps(0);
  EXPECT_DOUBLE_EQ(m.engine->GetFrameInterval(), 1.0);
  EXPECT_EQ(m.status.GetDisplayedText(), "0fps");
  m.engine->SetFps(24);
  m.engine->SetStep(2);
  EXPECT_DOUBLE_EQ(m.engine->GetFrameInterval(), 2.0 / 24.0);
  m.engine->SetStep(0);
  EXPECT_EQ(m.engine->GetStep(), 1u);
  m.engine->Slower(30);  // not below zero: nothing happens
  EXPECT_EQ(m.engine->GetFps(), 24u);
  m.engine->Faster(6);
  EXPECT_EQ(m.engine->GetFps(), 30u);
}

TEST(Pacing, PlaysAtTheRequestedRateOnTheClock) {
  ManualEngine m;
  m.Attach(100);
  m.engine->SetFps(24);
  m.engine->Play(false);
  m.Cycles(1);
  const double start = m.clock.Now();
  m.Cycles(48);
  EXPECT_NEAR(m.clock.Now() - start, 2.0, 0.002);
  EXPECT_NEAR(m.engine->GetMeasuredRate(), 24.0, 0.24);
  // Every frame's wait was mostly slept; only the last 2-3 ms are spun (0.1 ms per yield on
  // this clock).
  EXPECT_GE(m.clock.sleeps, 48);
  EXPECT_LE(m.clock.yields, 48 * 31);
}

TEST(Pacing, LateFrameRestartsTheScheduleInsteadOfBursting) {
  ManualEngine m;
  m.Attach(100);
  m.engine->SetFps(10);
  m.engine->Play(false);
  m.Cycles(2);
  m.clock.Advance(0.5);  // the worker was late by five intervals
  const double late = m.clock.Now();
  m.Cycles(2);  // the late frame, then the one due "now"
  EXPECT_LT(m.clock.Now() - late, 0.01);
  m.Cycles(1);
  EXPECT_NEAR(m.clock.Now() - late, 0.1, 0.002);
}

TEST(Pacing, IntervalsLongerThanTwoSecondsAreStillWaitedFor) {
  ManualEngine m;
  m.Attach(100);
  m.engine->SetFps(1);
  m.engine->SetStep(3);
  m.engine->Play(false);
  m.Cycles(1);
  const double start = m.clock.Now();
  m.Cycles(2);
  EXPECT_NEAR(m.clock.Now() - start, 6.0, 0.01);
}

TEST(Pacing, FarDueTimeAfterRateChangeIsNotWaitedFor) {
  ManualEngine m;
  m.Attach(100);
  m.engine->SetFps(1);
  m.engine->SetStep(5);  // 5 s interval
  m.engine->Play(false);
  m.Cycles(1);
  m.engine->SetFps(25);
  m.engine->SetStep(1);
  const double start = m.clock.Now();
  m.Cycles(1);
  EXPECT_LT(m.clock.Now() - start, 0.01);
}

TEST(Hold, NestedHoldReturnsFalseAndWorkerSkipsHeldCycles) {
  ManualEngine m;
  m.Attach(5);
  ASSERT_TRUE(m.engine->Hold());
  EXPECT_FALSE(m.engine->Hold());
  {
    CKaHoldGuard inner(m.engine.get());  // took nothing, so it releases nothing
    EXPECT_FALSE(inner.Held());
  }
  EXPECT_TRUE(m.engine->IsHeld());
  m.engine->Play(false);
  const std::size_t drawn = m.surface.frames.size();
  m.Cycles(3);
  EXPECT_EQ(m.Index(), 0u);
  EXPECT_EQ(m.surface.frames.size(), drawn);
  EXPECT_FALSE(m.engine->IsRedrawRequested());
  m.engine->Release();
  EXPECT_FALSE(m.engine->IsHeld());
  EXPECT_TRUE(m.engine->IsRedrawRequested());
  m.Cycles(1);
  EXPECT_EQ(m.Index(), 1u);
}

TEST(Hold, ACropDropsDecodedFramesAndRedraws) {
  ManualEngine m;
  m.Attach(5);
  m.Cycles(1);
  ASSERT_FALSE(m.engine->IsRedrawRequested());
  const CRvCrop* crop = reinterpret_cast<const CRvCrop*>(0x10);  // only stored, never used
  m.engine->SetCrop(crop);
  EXPECT_TRUE(m.engine->IsRedrawRequested());
  EXPECT_FALSE(m.engine->IsHeld());
}

// Opening a new sequence holds the engine while a loop-pause restart falls due: the restart
// must wait for the release instead of running on the play list being replaced.
TEST(Hold, ADuePendingActionWaitsForTheRelease) {
  ManualEngine m;
  m.Attach(5);
  m.engine->SetLoopPause(2);
  PlayToForwardEnd(m);
  ASSERT_EQ(m.engine->GetPendingAction(), KaPendingAction::InPointThenPlay);
  {
    CKaHoldGuard hold(m.engine.get());  // released at the end of the scope
    ASSERT_TRUE(hold.Held());
    m.clock.Advance(5.0);
    m.Cycles(3);
    EXPECT_EQ(m.engine->GetPendingAction(), KaPendingAction::InPointThenPlay);
    EXPECT_FALSE(m.engine->IsPlaying());
    EXPECT_EQ(m.Index(), 4u);
  }
  m.Cycles(1);
  EXPECT_TRUE(m.engine->IsPlaying());
}

namespace {
class FailingDecoder : public CFrameDecoder {
 public:
  void DecodeFile(const std::string&, CImageBitmap*, int = 0) override {
    ++decodes;
    throw CTextException(kErrFormat, "Decoder error: truncated data");
  }
  int decodes = 0;
};
}  // namespace

TEST(DrawFrame, AnUnreadableFrameSaysWhyAndIsNotReadAgainEveryCycle) {
  ManualEngine m;
  FailingDecoder decoder;
  m.Attach(3)->SetFrameDecoder(&decoder);
  m.engine->RequestRedraw();
  m.Cycles(1);
  EXPECT_EQ(m.status.GetDefaultText(), "Frame 0001: Decoder error: truncated data");
  EXPECT_EQ(m.engine->GetLastShownBitmap(), nullptr);  // not the idle picture, not an old frame
  m.engine->RequestRedraw();
  m.Cycles(2);
  EXPECT_EQ(decoder.decodes, 1);
}
