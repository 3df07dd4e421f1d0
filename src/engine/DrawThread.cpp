#include "engine/DrawThread.h"

#include <algorithm>
#include <chrono>

#include "engine/DisplayMath.h"
#include "engine/IdlePicture.h"
#include "engine/StatusLine.h"
#include "imaging/FrameDecoder.h"
#include "sequence/PlayList.h"
#include "sequence/ReadAhead.h"

namespace {

constexpr unsigned kIdleSleepMs = 20;

void HoldPollSleep() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

}  // namespace

CKaDrawThread::CKaDrawThread(QWindow* mainWindow, CKaViewSurface* view, CKaStatusLine* statusLine,
                             CKaPlaybackObserver* observer, KaDrawThreadOptions options)
    : m_statusLine(statusLine),
      m_observer(observer),
      m_ownClock(options.clock ? nullptr : std::make_unique<CKaSteadyClock>()),
      m_clock(options.clock ? options.clock : m_ownClock.get()),
      m_frameDecoder(options.frameDecoder),
      m_idleLoader(std::move(options.idlePictureLoader)),
      m_pacer(m_clock),
      m_viewSettings(this),
      m_fullScreen(mainWindow, options.ddrawLog),
      m_renderer(view, statusLine, &m_fullScreen, this) {
  if (!m_idleLoader) m_idleLoader = &KaLoadIdlePicture;
  Announce("30fps");
  if (options.decodeThreads >= 0)
    m_pool = std::make_unique<CRvDecodePool>(unsigned(options.decodeThreads));
  if (options.startWorker) m_worker = std::thread([this] { Run(); });
}

CKaDrawThread::~CKaDrawThread() {
  LeaveFullScreen();
  m_quit.store(true);
  if (m_worker.joinable()) m_worker.join();
  m_pool.reset();  // joins the decode threads while the play list still exists
}

void CKaDrawThread::CancelReadAhead() {
  if (m_pool) m_pool->CancelAndWait();
}

unsigned CKaDrawThread::GetDecodeThreadCount() const { return m_pool ? m_pool->ThreadCount() : 0; }

void CKaDrawThread::Announce(const std::string& text) {
  if (m_statusLine && !m_fullScreen.IsOn()) m_statusLine->ShowMessage(text, 1);
}

void CKaDrawThread::NotifyPosition() {
  CRvPlayList* list = m_playList.load();
  if (m_observer && list) m_observer->OnPositionChanged(list->GetCurrentIndex());
}

void CKaDrawThread::NotifyInOut() {
  CRvPlayList* list = m_playList.load();
  if (m_observer && list) m_observer->OnInOutChanged(list);
}

// --- commands -------------------------------------------------------------------------------

void CKaDrawThread::Jumped() {
  // Queued read-ahead is for the old place; what is in flight is dropped when it ends.
  if (CRvPlayList* list = m_playList.load()) list->CancelReadAhead();
}

void CKaDrawThread::Play(bool announce) {
  if (CRvPlayList* list = m_playList.load()) {
    ClearPending();
    if (list->IsAtLastFrame() || list->IsAtOutPoint()) list->GoToInPoint();
    if (m_atEnd.exchange(false)) list->GoToInPoint();
    if (m_reverse.load()) list->CancelReadAhead();  // the direction changes
    m_playing.store(true);
    m_reverse.store(false);
  }
  if (announce) Announce("Play");
}

void CKaDrawThread::PlayReverse(bool announce) {
  if (CRvPlayList* list = m_playList.load()) {
    ClearPending();
    if (list->IsAtFirstFrame() || list->IsAtInPoint()) list->GoToOutPoint();
    if (m_atEnd.exchange(false)) list->GoToOutPoint();
    if (!m_reverse.load()) list->CancelReadAhead();  // the direction changes
    m_playing.store(true);
    m_reverse.store(true);
  }
  if (announce) Announce("Play Reverse");
}

void CKaDrawThread::Pause(bool announce) {
  ClearPending();
  m_playing.store(false);
  if (announce) Announce("Pause");
}

void CKaDrawThread::TogglePlay() {
  const KaPendingAction pending = m_pendingAction.load();
  if (pending == KaPendingAction::Play || pending == KaPendingAction::InPointThenPlay) {
    Pause(true);
  } else if (m_playing.load() && !m_reverse.load()) {
    Pause(true);
  } else {
    Play(true);
  }
}

void CKaDrawThread::TogglePlayReverse() {
  const KaPendingAction pending = m_pendingAction.load();
  if (pending == KaPendingAction::PlayReverse ||
      pending == KaPendingAction::InPointThenPlayReverse) {
    Pause(true);
  } else if (m_playing.load() && m_reverse.load()) {
    Pause(true);
  } else {
    PlayReverse(true);
  }
}

void CKaDrawThread::GotoStart(bool announce) {
  ClearPending();
  Jumped();
  CRvPlayList* list = m_playList.load();
  if (!list) return;
  EmptyGhostingBuffer();
  list->GoToFirst();
  NotifyPosition();
  m_redraw.store(true);
  if (announce) Announce(KaFormat("Goto Start (Frame %i)", int(list->GetCurrentFrameNumber())));
}

void CKaDrawThread::GotoEnd(bool announce) {
  ClearPending();
  Jumped();
  CRvPlayList* list = m_playList.load();
  if (!list) return;
  EmptyGhostingBuffer();
  list->GoToLast();
  NotifyPosition();
  m_redraw.store(true);
  if (announce) Announce(KaFormat("Goto End (Frame %i)", int(list->GetCurrentFrameNumber())));
}

void CKaDrawThread::GotoInPoint() {
  ClearPending();
  Jumped();
  if (CRvPlayList* list = m_playList.load()) {
    EmptyGhostingBuffer();
    list->GoToInPoint();
    m_redraw.store(true);
    NotifyPosition();
  }
  Announce("Go to in point");
}

void CKaDrawThread::GotoOutPoint() {
  ClearPending();
  Jumped();
  if (CRvPlayList* list = m_playList.load()) {
    EmptyGhostingBuffer();
    list->GoToOutPoint();
    m_redraw.store(true);
    NotifyPosition();
  }
  Announce("Go to out point");
}

bool CKaDrawThread::StepFrames(bool forward) {
  CRvPlayList* list = m_playList.load();
  const std::uint32_t step = m_step.load();
  std::uint32_t moved = 0;
  for (; moved < step; ++moved) {
    const bool ok = forward ? list->Next(false) : list->Previous(false);
    if (!ok) break;
  }
  if (moved == step) return true;
  // A partial move is undone, so the position stays where it was.
  for (std::uint32_t k = 0; k < moved; ++k) {
    if (forward) {
      list->Previous(true);
    } else {
      list->Next(true);
    }
  }
  return false;
}

void CKaDrawThread::StepForward(bool announce) {
  ClearPending();
  CRvPlayList* list = m_playList.load();
  if (m_playing.load() || !list) return;
  StepFrames(true);
  NotifyPosition();
  m_redraw.store(true);
  if (announce) Announce(KaFormat("Forward (Frame %i)", int(list->GetCurrentFrameNumber())));
}

void CKaDrawThread::StepBack(bool announce) {
  ClearPending();
  CRvPlayList* list = m_playList.load();
  if (m_playing.load() || !list) return;
  StepFrames(false);
  NotifyPosition();
  m_redraw.store(true);
  if (announce) Announce(KaFormat("Back (Frame %i)", int(list->GetCurrentFrameNumber())));
}

void CKaDrawThread::SetPosition(std::uint32_t index) {
  ClearPending();
  Jumped();
  CRvPlayList* list = m_playList.load();
  if (!list) return;
  list->SetPositionByIndex(index);
  NotifyPosition();
  m_redraw.store(true);
  Announce(KaFormat("Frame position set to %i", int(list->GetCurrentFrameNumber())));
}

void CKaDrawThread::SetInPoint(std::uint32_t index, bool keep) {
  ClearPending();
  CRvPlayList* list = m_playList.load();
  if (!list) return;
  const bool set = list->SetInPoint(index, keep);
  NotifyInOut();
  Announce(set ? "Set in point" : "In point switched off");
}

void CKaDrawThread::SetOutPoint(std::uint32_t index, bool keep) {
  ClearPending();
  CRvPlayList* list = m_playList.load();
  if (!list) return;
  const bool set = list->SetOutPoint(index, keep);
  NotifyInOut();
  Announce(set ? "Set out point" : "Out point switched off");
}

void CKaDrawThread::ClearInOut() {
  ClearPending();
  CRvPlayList* list = m_playList.load();
  if (!list) return;
  list->ClearInOut();
  NotifyInOut();
}

void CKaDrawThread::SetInOutSpan(std::uint32_t span) {
  ClearPending();
  CRvPlayList* list = m_playList.load();
  if (!list) return;
  const std::uint32_t count = list->GetFrameCount();
  if (count == 0) return;
  std::int64_t in = list->GetInIndex();
  std::int64_t out = in + span;
  if (out > std::int64_t(count)) {
    in = std::max<std::int64_t>(0, in - (out - std::int64_t(count)));
  }
  // The last index is count - 1: an out point past it cannot be set, so it lands there.
  out = std::min<std::int64_t>(out, std::int64_t(count) - 1);
  list->SetInPoint(std::uint32_t(in), true);
  list->SetOutPoint(std::uint32_t(out), true);
  NotifyInOut();
}

std::uint32_t CKaDrawThread::GetInPoint() const {
  CRvPlayList* list = m_playList.load();
  return list ? list->GetInIndex() : 0;
}

std::uint32_t CKaDrawThread::GetOutPoint() const {
  CRvPlayList* list = m_playList.load();
  if (!list) return 0;
  const std::uint32_t out = list->GetOutIndex();
  return out == kRvNone ? list->GetFrameCount() - 1 : out;
}

void CKaDrawThread::SetLoopPause(std::uint32_t seconds) {
  ClearPending();
  m_loopPause.store(seconds);
}

void CKaDrawThread::StartLoopPause(KaPendingAction action) {
  Pause(false);
  const std::uint32_t seconds = m_loopPause.load();
  m_actionDeadline.store(m_clock->TickCount() + std::uint64_t(seconds) * 1000u);
  m_pendingAction.store(action);
  Announce(KaFormat("Waiting %us before playing again", seconds));
}

void CKaDrawThread::ApplyEndRule(CRvPlayList* list, bool forward) {
  const RvPlayMode mode = m_playMode.load();
  const bool pause = m_loopPause.load() > 0;
  if (mode == RvPlayMode::PingPong) {
    if (pause) {
      StartLoopPause(forward ? KaPendingAction::PlayReverse : KaPendingAction::Play);
    } else if (forward) {
      PlayReverse(false);
    } else {
      Play(false);
    }
  } else if (mode == RvPlayMode::Loop) {
    if (pause) {
      StartLoopPause(forward ? KaPendingAction::InPointThenPlay
                             : KaPendingAction::InPointThenPlayReverse);
    } else {
      EmptyGhostingBuffer();
      if (forward) {
        list->GoToInPoint();
      } else {
        list->GoToOutPoint();
      }
    }
  } else {  // run once
    Pause(false);
  }
}

void CKaDrawThread::RunPendingAction() {
  const KaPendingAction action = m_pendingAction.load();
  if (action == KaPendingAction::None || m_clock->TickCount() <= m_actionDeadline.load()) return;
  // Only the action seen is run: a command that replaced it meanwhile wins.
  KaPendingAction expected = action;
  if (!m_pendingAction.compare_exchange_strong(expected, KaPendingAction::None)) return;
  CRvPlayList* list = m_playList.load();
  switch (action) {
    case KaPendingAction::Play:
      Play(false);
      break;
    case KaPendingAction::PlayReverse:
      PlayReverse(false);
      break;
    case KaPendingAction::InPointThenPlay:
      if (list) list->GoToInPoint();
      Play(false);
      break;
    case KaPendingAction::InPointThenPlayReverse:
      if (list) list->GoToInPoint();
      PlayReverse(false);
      break;
    case KaPendingAction::None:
      break;
  }
}

void CKaDrawThread::MovePlayhead(CRvPlayList* list) {
  m_atEnd.store(false);
  m_redraw.store(true);
  const bool forward = !m_reverse.load();
  if (!StepFrames(forward)) {
    ApplyEndRule(list, forward);
    m_atEnd.store(true);
  }
  NotifyPosition();
}

void CKaDrawThread::SetFps(std::uint32_t rate) {
  m_pacer.SetRate(rate, m_step.load());
  Announce(KaFormat("%ufps", rate));
}

void CKaDrawThread::Slower(std::uint32_t delta) {
  const std::uint32_t rate = m_pacer.GetRate();
  if (rate >= delta) SetFps(rate - delta);
}

void CKaDrawThread::SetStep(std::uint32_t step) {
  m_step.store(step == 0 ? 1 : step);
  m_pacer.SetRate(m_pacer.GetRate(), m_step.load());
}

void CKaDrawThread::DropDecodedFrames(const std::function<void()>& store) {
  {
    CKaHoldGuard hold(this);
    CancelReadAhead();
    if (CRvPlayList* list = m_playList.load()) list->UnloadAll();
    store();
  }
  m_redraw.store(true);
}

void CKaDrawThread::SetResample(const CRvResample* resample) {
  DropDecodedFrames([&] { m_resample.store(resample); });
}

void CKaDrawThread::SetCrop(const CRvCrop* crop) {
  DropDecodedFrames([&] { m_crop.store(crop); });
}

bool CKaDrawThread::ApplyCineonSettings(double gammaLog, double gammaDisplay,
                                        std::uint32_t referenceBlack, std::uint32_t referenceWhite,
                                        std::uint32_t softClip) {
  if (!m_frameDecoder) return false;
  if (!m_frameDecoder->SetCineonValues(gammaLog, gammaDisplay, referenceBlack, referenceWhite,
                                       softClip)) {
    return false;
  }
  DropDecodedFrames([] {});
  return true;
}

void CKaDrawThread::RequestChangedCheck() {
  m_changedCheck.store(true);
  m_redraw.store(true);
}

void CKaDrawThread::SetDisplayRect(int left, int top, int right, int bottom) {
  m_viewSettings.SetWindowedRect({left, top, right, bottom}, !m_fullScreen.IsOn());
  m_redraw.store(true);
}

void CKaDrawThread::SetPlayList(CRvPlayList* playList) {
  CancelReadAhead();  // no decode may outlive the list it writes into
  m_playList.store(playList);
  m_renderer.EmptyGhostingBuffer();
  m_redraw.store(true);
}

std::uint32_t CKaDrawThread::GetFrameCount() const {
  CRvPlayList* list = m_playList.load();
  return list ? list->GetFrameCount() : 0;
}

std::uint32_t CKaDrawThread::GetPositionIndex() const {
  CRvPlayList* list = m_playList.load();
  return list ? list->GetCurrentIndex() : 0;
}

std::uint32_t CKaDrawThread::GetCurrentFrameNumber() const {
  CRvPlayList* list = m_playList.load();
  return list ? list->GetCurrentFrameNumber() : 0;
}

void CKaDrawThread::SetFullScreen(bool on) {
  {
    CKaHoldGuard hold(this);
    if (on && !m_fullScreen.IsOn()) {
      m_viewSettings.SetCurrentRect(m_fullScreen.Enter());
    } else if (!on && m_fullScreen.IsOn()) {
      m_fullScreen.Leave();
      m_viewSettings.RestoreWindowedRect();
    }
  }
  m_redraw.store(true);
}

void CKaDrawThread::LeaveFullScreen() {
  if (!m_fullScreen.IsOn()) return;
  CKaHoldGuard hold(this);
  m_fullScreen.Leave();
  m_viewSettings.RestoreWindowedRect();
}

// --- hold, stop -----------------------------------------------------------------------------

bool CKaDrawThread::Hold() {
  bool expected = false;
  if (!m_hold.compare_exchange_strong(expected, true)) return false;
  while (m_busy.load()) HoldPollSleep();
  return true;
}

void CKaDrawThread::Release() {
  m_hold.store(false);
  m_redraw.store(true);
}

void CKaDrawThread::Stop() {
  LeaveFullScreen();
  m_quit.store(true);
}

// --- worker ---------------------------------------------------------------------------------

void CKaDrawThread::Run() {
  StartWorkerState();
  while (RunCycle()) {
  }
  m_renderer.DropIdlePicture();
  m_busy.store(false);
  m_running.store(false);
}

void CKaDrawThread::StartWorkerState() {
  m_running.store(true);
  m_busy.store(false);
  m_pacer.Start();
  m_renderer.LoadIdlePicture(m_idleLoader);
}

bool CKaDrawThread::RunCycle() {
  if (m_quit.load()) return false;
  // The pending action changes the play list's position, so it runs inside the frame: busy is
  // raised first, and a hold keeps it out like everything else.
  m_busy.store(true);
  if (m_hold.load()) {
    m_redraw.store(false);  // Release asks for the redraw
    m_busy.store(false);
    m_clock->SleepMs(1);
    return true;
  }
  RunPendingAction();
  m_busy.store(false);
  if (!m_redraw.load() && !m_playing.load()) {
    m_clock->SleepMs(kIdleSleepMs);
    return true;
  }
  if (!m_pacer.WaitForDue(m_quit)) return false;
  if (m_quit.load()) return false;
  // busy is raised before hold is tested, so Hold either sees busy or the worker sees hold.
  m_busy.store(true);
  if (m_hold.load()) {
    m_redraw.store(false);
    m_busy.store(false);
    return true;
  }
  m_pacer.CountFrame();
  CRvPlayList* list = m_playList.load();
  if (m_playing.load() && list) MovePlayhead(list);
  if (m_redraw.load()) {
    DrawFrame();
  } else {
    m_clock->YieldSlice();
  }
  m_busy.store(false);
  return true;
}

void CKaDrawThread::DrawFrame() {
  m_redraw.store(false);
  KaFrameSources sources;
  sources.list = m_playList.load();
  sources.crop = m_crop.load();
  sources.resample = m_resample.load();
  sources.checkChanged = sources.list && m_changedCheck.exchange(false);
  sources.changedCriterion = m_changedCriterion.load();
  sources.measuredRate = m_pacer.GetMeasuredRate();
  sources.requestedRate = m_pacer.GetRate();
  sources.step = m_step.load();
  // The view is read once: the whole frame uses the same settings.
  m_renderer.Draw(sources, m_viewSettings.Snapshot());
}

void CKaDrawThread::RequestReadAhead(CRvPlayList* list) {
  if (!m_pool) return;
  const std::vector<std::uint32_t> order = RvReadAheadOrder(ReadAheadSpec(list));
  list->SetReadAheadOrder(order);
  // Only what is not in RAM yet goes to the pool; the flags are read without the lock.
  std::vector<std::uint32_t> missing;
  const std::atomic<std::uint8_t>* loaded = list->GetLoadedFlags();
  for (std::uint32_t index : order)
    if (!loaded || loaded[index].load(std::memory_order_relaxed) == 0) missing.push_back(index);
  m_pool->Request(list, std::move(missing), m_crop.load(), m_resample.load());
}

RvReadAheadSpec CKaDrawThread::ReadAheadSpec(CRvPlayList* list) const {
  RvReadAheadSpec spec;
  spec.count = list->GetFrameCount();
  spec.current = list->GetCurrentIndex();
  spec.in = list->GetInIndex();
  spec.out = list->GetOutIndex();
  spec.forward = !m_reverse.load();
  spec.mode = m_playMode.load();
  spec.step = m_step.load();
  spec.limit = list->GetCacheCapacity();
  return spec;
}
