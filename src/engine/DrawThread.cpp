#include "engine/DrawThread.h"

#include "sequence/ReadAhead.h"

#include <chrono>
#include <cmath>

#include "engine/DisplayMath.h"
#include "engine/IdlePicture.h"
#include "engine/StatusLine.h"
#include "engine/ViewSurface.h"
#include "imaging/FrameDecoder.h"
#include "kagraph/KaFullscreen.h"
#include "sequence/PlayList.h"
#include "support/NesCommon55.h"

namespace {

// Pacing sleeps while more than this remains before the due time and spins only the rest:
// accurate to well under a millisecond without burning a core.
constexpr double kSpinWindow = 0.002;
// A due time further ahead than this (after a rate change) is not waited for.
constexpr double kMaxWait = 2.0;
constexpr unsigned kIdleSleepMs = 20;
constexpr unsigned kRateSampleFrames = 4;

constexpr std::uint32_t kBlack = 0x00000000u;
constexpr std::uint32_t kWhite = 0x00FFFFFFu;
constexpr std::uint32_t kRed = 0x000000FFu;

void HoldPollSleep() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

// The drawing description of a decoded bitmap: its rows as stored, without a copy.
KaBitmapView ViewOf(const CImageBitmap& bitmap) {
  KaBitmapView v;
  const int height = bitmap.GetHeight();
  if (height <= 0 || bitmap.GetWidth() <= 0) return v;
  const std::uint8_t* const* lines = bitmap.GetLineArray();
  v.width = bitmap.GetWidth();
  v.height = height;
  v.bitsPerPixel = bitmap.GetBitsPerPixel();
  v.stride = bitmap.GetBytesPerLine();
  v.palette = bitmap.GetPalette();
  // Line 0 is the top row; stored bottom-up means the top row has the highest address.
  v.bottomUp = height == 1 || lines[0] > lines[height - 1];
  v.bits = v.bottomUp ? lines[height - 1] : lines[0];
  return v;
}

}  // namespace

CKaDrawThread::CKaDrawThread(QWindow* mainWindow, CKaViewSurface* view, CKaStatusLine* statusLine,
                             CKaPlaybackObserver* observer, KaDrawThreadOptions options)
    : m_mainWindow(mainWindow),
      m_view(view),
      m_statusLine(statusLine),
      m_observer(observer),
      m_clock(options.clock),
      m_frameDecoder(options.frameDecoder),
      m_ddrawLog(options.ddrawLog),
      m_idleLoader(std::move(options.idlePictureLoader)) {
  if (!m_clock) {
    m_ownClock = std::make_unique<CKaSteadyClock>();
    m_clock = m_ownClock.get();
  }
  if (!m_idleLoader) m_idleLoader = &KaLoadIdlePicture;
  m_gammaFilter = std::make_shared<const CKaGammaFilter>(1.0);
  for (unsigned mode = 1; mode < kKaViewModeCount; ++mode) {
    m_channelFilters[mode] = std::make_unique<CKaChannelFilter>(KaViewMode(mode));
  }
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

void CKaDrawThread::Jumped() {
  // Queued read-ahead is for the old place; what is in flight is dropped when it ends.
  if (CRvPlayList* list = m_playList.load()) list->CancelReadAhead();
}

void CKaDrawThread::Announce(const std::string& text) {
  if (m_statusLine && !m_fullScreen.load()) m_statusLine->ShowMessage(text, 1);
}

void CKaDrawThread::NotifyPosition() {
  CRvPlayList* list = m_playList.load();
  if (m_observer && list) m_observer->OnPositionChanged(list->GetCurrentIndex());
}

void CKaDrawThread::NotifyInOut() {
  CRvPlayList* list = m_playList.load();
  if (m_observer && list) m_observer->OnInOutChanged(list);
}

void CKaDrawThread::EmptyGhostingBuffer() {
  // The buffer belongs to the worker, which may be composing right now: it empties the buffer
  // itself before its next frame.
  m_clearGhosting.store(true);
}

// --- playback commands ------------------------------------------------------------------------

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

void CKaDrawThread::SetInOutSpan() { SetInOutSpan(m_step.load()); }

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
  return out == kNone ? list->GetFrameCount() - 1 : out;
}

void CKaDrawThread::SetIntervalFromRate() {
  const std::uint32_t rate = m_frameRate.load();
  m_frameInterval.store(rate == 0 ? 1.0 : double(m_step.load()) / double(rate));
}

void CKaDrawThread::SetFps(std::uint32_t rate) {
  m_frameRate.store(rate);
  if (m_step.load() == 0) m_step.store(1);
  SetIntervalFromRate();
  Announce(KaFormat("%ufps", rate));
}

void CKaDrawThread::Faster(std::uint32_t delta) { SetFps(m_frameRate.load() + delta); }

void CKaDrawThread::Slower(std::uint32_t delta) {
  const std::uint32_t rate = m_frameRate.load();
  if (rate >= delta) SetFps(rate - delta);
}

void CKaDrawThread::SetStep(std::uint32_t step) {
  m_step.store(step == 0 ? 1 : step);
  SetIntervalFromRate();
}

void CKaDrawThread::SetLoopPause(std::uint32_t seconds) {
  ClearPending();
  m_loopPause.store(seconds);
}

void CKaDrawThread::SetResample(const CRvResample* resample) {
  {
    CKaHoldGuard hold(this);
    CancelReadAhead();
    if (CRvPlayList* list = m_playList.load()) list->UnloadAll();
    m_resample.store(resample);
  }
  m_redraw.store(true);
}

void CKaDrawThread::SetCrop(const CRvCrop* crop) {
  {
    CKaHoldGuard hold(this);
    CancelReadAhead();
    if (CRvPlayList* list = m_playList.load()) list->UnloadAll();
    m_crop.store(crop);
  }
  m_redraw.store(true);
}

bool CKaDrawThread::ApplyCineonSettings(double gammaLog, double gammaDisplay,
                                        std::uint32_t referenceBlack, std::uint32_t referenceWhite,
                                        std::uint32_t softClip) {
  if (!m_frameDecoder) return false;
  if (!m_frameDecoder->SetCineonValues(gammaLog, gammaDisplay, referenceBlack, referenceWhite,
                                       softClip)) {
    return false;
  }
  {
    CKaHoldGuard hold(this);
    CancelReadAhead();
    if (CRvPlayList* list = m_playList.load()) list->UnloadAll();
  }
  m_redraw.store(true);
  return true;
}

void CKaDrawThread::RequestChangedCheck() {
  m_changedCheck.store(true);
  m_redraw.store(true);
}

void CKaDrawThread::SetDisplayRect(int left, int top, int right, int bottom) {
  const int values[4] = {left, top, right, bottom};
  for (int i = 0; i < 4; ++i) m_windowedRect[i].store(values[i]);
  if (!m_fullScreen.load()) {
    for (int i = 0; i < 4; ++i) m_currentRect[i].store(values[i]);
  }
  m_redraw.store(true);
}

KaRect CKaDrawThread::GetDisplayRect() const {
  return {m_currentRect[0].load(), m_currentRect[1].load(), m_currentRect[2].load(),
          m_currentRect[3].load()};
}

void CKaDrawThread::SetPlayList(CRvPlayList* playList) {
  CancelReadAhead();  // no decode may outlive the list it writes into
  m_playList.store(playList);
  m_clearGhosting.store(true);
  m_redraw.store(true);
}

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

std::string CKaDrawThread::GetLastInfoLine() const {
  std::lock_guard guard(m_infoLock);
  return m_infoLine;
}

// --- view commands ------------------------------------------------------------------------

void CKaDrawThread::SetViewMode(KaViewMode mode) {
  if (mode == m_viewMode.load()) mode = KaViewMode::Normal;
  m_viewMode.store(mode);
  const unsigned index = unsigned(mode);
  m_channelFilter.store(index >= 1 && index < kKaViewModeCount ? m_channelFilters[index].get()
                                                               : nullptr);
  m_redraw.store(true);
  if (index < kKaViewModeCount) Announce(KaViewModeName(mode));
}

void CKaDrawThread::ToggleGamma() {
  m_gammaEnabled.store(!m_gammaEnabled.load());
  m_redraw.store(true);
}

void CKaDrawThread::EnableGamma(bool enable) {
  if (m_gammaEnabled.load() == enable) return;
  m_gammaEnabled.store(enable);
  m_redraw.store(true);
}

void CKaDrawThread::SetGamma(double gamma) {
  {
    std::lock_guard guard(m_gammaLock);
    // The table is immutable once built: the worker may still be using the old one.
    const double stored = gamma == 0.0 ? 1e-8 : gamma;
    if (stored != m_gammaFilter->GetGamma()) {
      m_gammaFilter = std::make_shared<const CKaGammaFilter>(gamma);
    }
  }
  m_redraw.store(true);
  Announce(KaFormat("Gamma %.2f", gamma));
}

double CKaDrawThread::GetGamma() const {
  std::lock_guard guard(m_gammaLock);
  return m_gammaFilter->GetGamma();
}

void CKaDrawThread::SetZoom(double zoom, bool announce) {
  if (zoom == 0.0) return;
  const double ratio = zoom / m_zoom.load();
  m_panX.store(int(m_panX.load() * ratio));
  m_panY.store(int(m_panY.load() * ratio));
  m_zoom.store(zoom);
  m_redraw.store(true);
  if (announce) Announce(KaFormat("Zoom %.0f", zoom * 100.0));
}

void CKaDrawThread::ZoomIn(bool announce) {
  double base = 0.0;
  const double next = KaZoomInStep(m_zoom.load(), &base);
  m_zoom.store(base);
  SetZoom(next, announce);
}

void CKaDrawThread::ZoomOut(bool announce) {
  double base = 0.0;
  const double next = KaZoomOutStep(m_zoom.load(), &base);
  m_zoom.store(base);
  SetZoom(next, announce);
}

void CKaDrawThread::SetPan(int x, int y, bool announce) {
  m_panX.store(x);
  m_panY.store(y);
  m_redraw.store(true);
  if (announce) Announce(KaFormat("Pan %i,%i", x, y));
}

void CKaDrawThread::PanBy(int dx, int dy) { SetPan(m_panX.load() + dx, m_panY.load() + dy, true); }
void CKaDrawThread::PanLeft(int d, bool announce) {
  SetPan(m_panX.load() - d, m_panY.load(), announce);
}
void CKaDrawThread::PanRight(int d, bool announce) {
  SetPan(m_panX.load() + d, m_panY.load(), announce);
}
void CKaDrawThread::PanUp(int d, bool announce) {
  SetPan(m_panX.load(), m_panY.load() - d, announce);
}
void CKaDrawThread::PanDown(int d, bool announce) {
  SetPan(m_panX.load(), m_panY.load() + d, announce);
}
void CKaDrawThread::ResetPan(bool announce) { SetPan(0, 0, announce); }

void CKaDrawThread::ToggleInfoText() {
  m_fullScreenInfoText.store(!m_fullScreenInfoText.load());
  m_redraw.store(true);
  Announce("Toggle info text for full screen mode");
}

void CKaDrawThread::MarkImageRect(int left, int top, int right, int bottom) {
  if (!m_view) return;
  const KaRect d = GetDisplayRect();
  const int dx = ((d.right - m_lastWidth.load()) - d.left) / 2 + m_panX.load();
  const int dy = ((d.bottom - m_lastHeight.load()) - d.top) / 2 + m_panY.load();
  m_view->MarkRect({left + dx, top + dy, right + dx, bottom + dy}, kMarkColor);
}

void CKaDrawThread::SetFullScreen(bool on) {
  const bool held = Hold();
  if (on && !m_fullScreen.load()) {
    const std::string ini = strSettingsPath() + "settings.ini";
    const int width = iReadFromIniFile(ini, "DirectDraw", "HorzRes", 800);
    const int height = iReadFromIniFile(ini, "DirectDraw", "VertRes", 600);
    const int bits = iReadFromIniFile(ini, "DirectDraw", "BitsPerPixels", 32);
    m_fullScreenMode = std::make_unique<CKaDDrawFullscreenConfig>(unsigned(width), unsigned(height),
                                                                  unsigned(bits));
    m_fullScreenSurface =
        std::make_unique<CKaDDrawFullscreen>(m_mainWindow, m_fullScreenMode.get(), m_ddrawLog);
    const KaRect screen = m_fullScreenSurface->GetScreenRect();
    m_currentRect[0].store(0);
    m_currentRect[1].store(0);
    m_currentRect[2].store(screen.Width());
    m_currentRect[3].store(screen.Height());
    m_fullScreen.store(true);
  } else if (!on && m_fullScreen.load()) {
    ReleaseFullScreenObjects();
  }
  if (held) Release();
  m_redraw.store(true);
}

void CKaDrawThread::ReleaseFullScreenObjects() {
  m_fullScreen.store(false);
  m_fullScreenSurface.reset();
  m_fullScreenMode.reset();
  for (int i = 0; i < 4; ++i) m_currentRect[i].store(m_windowedRect[i].load());
}

void CKaDrawThread::LeaveFullScreen() {
  if (!m_fullScreen.load()) return;
  const bool held = Hold();
  ReleaseFullScreenObjects();
  if (held) Release();
}

// --- worker -----------------------------------------------------------------------------

void CKaDrawThread::Run() {
  StartWorkerState();
  while (RunCycle()) {
  }
  m_idlePicture.reset();
  m_busy.store(false);
  m_running.store(false);
}

void CKaDrawThread::StartWorkerState() {
  m_running.store(true);
  m_busy.store(false);
  m_dueTime = m_clock->Now();
  m_lastRateSample = m_dueTime;
  m_rateFrames = 0;
  m_measuredRate.store(0.0);
  if (!m_idlePicture) {
    try {
      m_idlePicture = m_idleLoader();
    } catch (...) {
      m_idlePicture.reset();  // no idle picture: the background alone is drawn
    }
  }
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

bool CKaDrawThread::Pace() {
  double now = m_clock->Now();
  const double interval = m_frameInterval.load();
  // A due time counts as "far ahead" only beyond the longer of 2 s and the interval itself;
  // otherwise intervals over 2 s (step 3 at 1 fps) would never be waited for at all.
  const double maxWait = std::max(kMaxWait, interval);
  while (now < m_dueTime && (m_dueTime - now) <= maxWait) {
    const double remaining = m_dueTime - now;
    if (remaining >= kSpinWindow + 0.001) {  // at least a whole millisecond to sleep
      m_clock->SleepMs(unsigned((remaining - kSpinWindow) * 1000.0));
    } else {
      m_clock->YieldSlice();
    }
    now = m_clock->Now();
    if (m_quit.load()) return false;
  }
  const double base = (m_dueTime - now) > maxWait ? now : m_dueTime;
  m_dueTime = base + interval;
  if (m_dueTime < now) m_dueTime = now;
  return true;
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
  if (!Pace()) return false;
  if (m_quit.load()) return false;
  // busy is raised before hold is tested, so Hold either sees busy or the worker sees hold.
  m_busy.store(true);
  if (m_hold.load()) {
    m_redraw.store(false);
    m_busy.store(false);
    return true;
  }
  if (++m_rateFrames >= kRateSampleFrames) {
    const double now = m_clock->Now();
    const double elapsed = now - m_lastRateSample;
    m_measuredRate.store(elapsed > 0.0 ? kRateSampleFrames / elapsed : 0.0);
    m_lastRateSample = now;
    m_rateFrames = 0;
  }
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

void CKaDrawThread::RequestReadAhead(CRvPlayList* list) {
  if (!m_pool) return;
  RvReadAheadSpec spec;
  spec.count = list->GetFrameCount();
  spec.current = list->GetCurrentIndex();
  spec.in = list->GetInIndex();
  spec.out = list->GetOutIndex();
  spec.forward = !m_reverse.load();
  spec.mode = m_playMode.load();
  spec.step = m_step.load();
  spec.limit = list->GetCacheCapacity();
  const std::vector<std::uint32_t> order = RvReadAheadOrder(spec);
  list->SetReadAheadOrder(order);
  // Only what is not in RAM yet goes to the pool; the flags are read without the lock.
  std::vector<std::uint32_t> missing;
  const std::atomic<std::uint8_t>* loaded = list->GetLoadedFlags();
  for (std::uint32_t index : order)
    if (!loaded || loaded[index].load(std::memory_order_relaxed) == 0) missing.push_back(index);
  m_pool->Request(list, std::move(missing), m_crop.load(), m_resample.load());
}

void CKaDrawThread::DrawFrame() {
  std::unique_ptr<CKaUseDDrawFullscreen> scope;
  CKaDeviceContext* dc = nullptr;
  const KaRect display = GetDisplayRect();
  const bool fullScreen = m_fullScreen.load();
  if (fullScreen && m_fullScreenSurface) {
    scope = std::make_unique<CKaUseDDrawFullscreen>(m_fullScreenSurface.get());
    dc = scope->m_dc;
    dc->FillRect(display, kBlack);
  } else if (m_view) {
    dc = m_view->BeginFrame(std::max(display.right, 1), std::max(display.bottom, 1));
  }
  m_redraw.store(false);

  CRvPlayList* list = m_playList.load();
  if (list && m_changedCheck.exchange(false)) {
    list->CheckChangedFrames(int(m_changedCriterion.load()));
    NotifyInOut();
  }

  const CImageBitmap* picture = m_idlePicture.get();
  std::uint32_t frameNumber = 0;
  bool fromDisk = false;
  std::string failure;
  if (list) {
    CRvFrame* frame = nullptr;
    bool cacheChanged = false;
    std::string error;
    if (list->FetchCurrentFrame(m_crop.load(), m_resample.load(), &frame, &fromDisk, &cacheChanged,
                                false, &error) &&
        frame && frame->GetBitmap()) {
      picture = frame->GetBitmap();
      frameNumber = frame->GetNumber();
    } else if (frame && !error.empty()) {
      // An unreadable frame says why instead of leaving another picture up.
      picture = nullptr;
      failure = KaFormat("Frame %04u: ", frame->GetNumber()) + error;
    }
    if (cacheChanged) NotifyInOut();
    RequestReadAhead(list);
  }

  const int pictureWidth = picture ? picture->GetWidth() : 0;
  const int pictureHeight = picture ? picture->GetHeight() : 0;
  const double zoom = m_zoom.load();
  const KaPlacement place =
      KaPlacePicture(pictureWidth, pictureHeight, zoom, display, m_panX.load(), m_panY.load());
  m_lastWidth.store(pictureWidth);
  m_lastHeight.store(pictureHeight);

  if (dc) {
    dc->SetStretchNearest(zoom != 1.0);
    if (!fullScreen) {
      for (const KaRect& band : KaBackgroundBands(display, place)) {
        dc->FillRect(band, m_backColor.load());
      }
    }
  }

  // Filters: gamma first (only when it changes anything), then the channel view.
  std::shared_ptr<const CKaGammaFilter> gamma;
  if (m_gammaEnabled.load()) {
    std::lock_guard guard(m_gammaLock);
    if (m_gammaFilter->GetGamma() != 1.0) gamma = m_gammaFilter;
  }
  const CPixelTransform* channel = m_channelFilter.load();
  const CPixelTransform* first = gamma ? static_cast<const CPixelTransform*>(gamma.get()) : channel;
  const CPixelTransform* second = gamma ? channel : nullptr;
  if (m_clearGhosting.exchange(false)) m_moBlur.Clear();
  const CImageBitmap* shown = picture;
  if (picture) {
    try {
      shown = m_moBlur.Process(picture, first, second);
    } catch (...) {
      shown = picture;  // no memory for the composition: show the frame as it is
    }
    if (!shown) shown = picture;
  }
  m_lastShown.store(shown);
  if (dc && shown) dc->DrawBitmap(ViewOf(*shown), place.x, place.y, place.width, place.height);

  const double rate = m_measuredRate.load();
  const std::string info = failure.empty() ? KaFormatInfoLine(frameNumber, rate, m_step.load(),
                                                              pictureWidth, pictureHeight, fromDisk)
                                           : failure;
  if (!fullScreen) {
    if (m_statusLine) m_statusLine->SetDefaultText(info);
  } else if (dc && m_fullScreenInfoText.load()) {
    dc->DrawTextLine(0, display.bottom - 20, info, kWhite, kBlack);
  }
  const double requested = double(m_frameRate.load());
  if (dc && std::fabs(requested - rate) > requested * 0.01) {
    dc->FillRect({0, display.bottom - 1, 50, display.bottom}, kRed);
  }
  {
    std::lock_guard guard(m_infoLock);
    m_infoLine = info;
  }

  if (scope) {
    scope.reset();
  } else if (dc && m_view) {
    m_view->EndFrame();
  }
}
