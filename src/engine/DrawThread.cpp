#include "engine/DrawThread.h"

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
      m_transport(&m_playList, m_clock, this),
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

void CKaDrawThread::SetFps(std::uint32_t rate) {
  m_pacer.SetRate(rate, m_transport.GetStep());
  Announce(KaFormat("%ufps", rate));
}

void CKaDrawThread::Slower(std::uint32_t delta) {
  const std::uint32_t rate = m_pacer.GetRate();
  if (rate >= delta) SetFps(rate - delta);
}

void CKaDrawThread::SetStep(std::uint32_t step) {
  m_transport.SetStep(step);
  m_pacer.SetRate(m_pacer.GetRate(), m_transport.GetStep());
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
  m_transport.RunPendingAction();
  m_busy.store(false);
  if (!m_redraw.load() && !m_transport.IsPlaying()) {
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
  if (m_transport.IsPlaying() && list) m_transport.MovePlayhead(list);
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
  sources.step = m_transport.GetStep();
  // The view is read once: the whole frame uses the same settings.
  m_renderer.Draw(sources, m_viewSettings.Snapshot());
}

void CKaDrawThread::RequestReadAhead(CRvPlayList* list) {
  if (!m_pool) return;
  const std::vector<std::uint32_t> order = RvReadAheadOrder(m_transport.ReadAheadSpec(list));
  list->SetReadAheadOrder(order);
  // Only what is not in RAM yet goes to the pool; the flags are read without the lock.
  std::vector<std::uint32_t> missing;
  const std::atomic<std::uint8_t>* loaded = list->GetLoadedFlags();
  for (std::uint32_t index : order)
    if (!loaded || loaded[index].load(std::memory_order_relaxed) == 0) missing.push_back(index);
  m_pool->Request(list, std::move(missing), m_crop.load(), m_resample.load());
}
