#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "engine/EngineHost.h"
#include "engine/FrameRenderer.h"
#include "engine/FullScreenSession.h"
#include "engine/KaClock.h"
#include "engine/Pacer.h"
#include "engine/PixelFilters.h"
#include "engine/Transport.h"
#include "engine/ViewSettings.h"
#include "imageops/MoBlurBuffer.h"
#include "kagraph/KaDeviceContext.h"
#include "sequence/FrameName.h"
#include "sequence/PlayMode.h"

class QWindow;
class CImageBitmap;
class CFrameDecoder;
class CNesLogFile;
class CRvCrop;
class CRvResample;
class CRvPlayList;
class CRvInOutRecord;
class CKaStatusLine;
class CKaViewSurface;
class CRvDecodePool;

// What the engine tells the main window. Called from the worker: implementations only store
// the values and schedule a repaint.
class CKaPlaybackObserver {
 public:
  virtual ~CKaPlaybackObserver() = default;
  virtual void OnInOutChanged(const CRvInOutRecord* record) = 0;
  virtual void OnPositionChanged(std::uint32_t positionIndex) = 0;
};

// Construction choices beyond the four collaborators. Production uses the defaults.
struct KaDrawThreadOptions {
  // Time source; null means the steady clock. Not owned; must outlive the engine.
  CKaClock* clock = nullptr;
  // False: no worker thread is started and the owner drives RunCycle itself (tests).
  bool startWorker = true;
  // The process-wide frame decoder that receives the Cineon values; may be null.
  CFrameDecoder* frameDecoder = nullptr;
  // The log the full-screen library writes to ("DDraw.log"); owned by the caller.
  CNesLogFile* ddrawLog = nullptr;
  // Produces the idle picture at worker start; null means the compiled-in JPEG.
  std::function<std::unique_ptr<CImageBitmap>()> idlePictureLoader;
  // Read-ahead decode threads: -1 none (the worker decodes each frame when due), 0 one per
  // hardware thread, else that many.
  int decodeThreads = -1;
};

// The playback engine: a worker thread that paces playback, moves the play list's position and
// draws the current frame into the view (or onto the full-screen surface), plus every playback
// and view command of the user interface. The work is done by its parts, each of which says
// in its own header which thread touches what: the transport (position, play commands, end
// rule), the pacer (rate and timing), the view settings, the frame renderer and the full-
// screen session. This class keeps construction, Hold/Release, Stop and the worker's cycle,
// and offers the parts' commands under the engine's names.
//
// Threads. Commands run on the user-interface (UI) thread; Run/RunCycle on the worker. Flags
// shared by both threads are atomics. Everything the worker reads while drawing and that the
// UI changes structurally (play list, crop, resample, full-screen surface) is changed only
// between Hold and Release, which wait until the worker is outside its frame.
class CKaDrawThread : private CKaEngineHost {
 public:
  static constexpr std::uint32_t kNone = kRvNone;
  static constexpr std::uint32_t kDefaultBackColor = CKaViewSettings::kDefaultBackColor;
  static constexpr std::uint32_t kMarkColor = CKaFrameRenderer::kMarkColor;

  CKaDrawThread(QWindow* mainWindow, CKaViewSurface* view, CKaStatusLine* statusLine,
                CKaPlaybackObserver* observer, KaDrawThreadOptions options = {});
  // Leaves full screen, ends the worker and the decode threads and waits for them.
  ~CKaDrawThread() override;
  CKaDrawThread(const CKaDrawThread&) = delete;
  CKaDrawThread& operator=(const CKaDrawThread&) = delete;

  // --- playback commands (UI thread; `announce` shows the command in the status line) -------
  void Play(bool announce) { m_transport.Play(announce); }
  void PlayReverse(bool announce) { m_transport.PlayReverse(announce); }
  void Pause(bool announce) { m_transport.Pause(announce); }
  void TogglePlay() { m_transport.TogglePlay(); }
  void TogglePlayReverse() { m_transport.TogglePlayReverse(); }
  void GotoStart(bool announce) { m_transport.GotoStart(announce); }
  void GotoEnd(bool announce) { m_transport.GotoEnd(announce); }
  void GotoInPoint() { m_transport.GotoInPoint(); }
  void GotoOutPoint() { m_transport.GotoOutPoint(); }
  void StepForward(bool announce) { m_transport.StepForward(announce); }
  void StepBack(bool announce) { m_transport.StepBack(announce); }
  void SetPosition(std::uint32_t index) { m_transport.SetPosition(index); }
  void SetInPoint(std::uint32_t index, bool keep) { m_transport.SetInPoint(index, keep); }
  void SetOutPoint(std::uint32_t index, bool keep) { m_transport.SetOutPoint(index, keep); }
  void ClearInOut() { m_transport.ClearInOut(); }
  // Out point = in point + step (Alt+I).
  void SetInOutSpan() { m_transport.SetInOutSpan(m_transport.GetStep()); }
  // Out point = in point + span; past the last frame the in point moves back by the excess
  // (not below the first).
  void SetInOutSpan(std::uint32_t span) { m_transport.SetInOutSpan(span); }
  std::uint32_t GetInPoint() const { return m_transport.GetInPoint(); }
  std::uint32_t GetOutPoint() const { return m_transport.GetOutPoint(); }

  void SetFps(std::uint32_t rate);
  void Faster(std::uint32_t delta) { SetFps(m_pacer.GetRate() + delta); }
  // Not below 0: a larger delta does nothing.
  void Slower(std::uint32_t delta);
  std::uint32_t GetFps() const { return m_pacer.GetRate(); }
  double GetFrameInterval() const { return m_pacer.GetInterval(); }
  void SetStep(std::uint32_t step);
  std::uint32_t GetStep() const { return m_transport.GetStep(); }
  void SetLoopPause(std::uint32_t seconds) { m_transport.SetLoopPause(seconds); }
  std::uint32_t GetLoopPause() const { return m_transport.GetLoopPause(); }
  void SetPlayMode(RvPlayMode mode) { m_transport.SetPlayMode(mode); }
  RvPlayMode GetPlayMode() const { return m_transport.GetPlayMode(); }

  // Hold the worker, drop decoded frames, store, release.
  void SetResample(const CRvResample* resample);
  void SetCrop(const CRvCrop* crop);
  const CRvResample* GetResample() const { return m_resample.load(); }
  const CRvCrop* GetCrop() const { return m_crop.load(); }
  bool ApplyCineonSettings(double gammaLog, double gammaDisplay, std::uint32_t referenceBlack,
                           std::uint32_t referenceWhite, std::uint32_t softClip);
  void SetChangedFramesCriterion(std::uint32_t criterion) { m_changedCriterion.store(criterion); }
  std::uint32_t GetChangedFramesCriterion() const { return m_changedCriterion.load(); }
  void RequestChangedCheck();
  void SetDisplayRect(int left, int top, int right, int bottom);
  KaRect GetDisplayRect() const { return m_viewSettings.GetCurrentRect(); }
  void SetBackColor(std::uint32_t colorRef) { m_viewSettings.SetBackColor(colorRef); }
  std::uint32_t GetBackColor() const { return m_viewSettings.GetBackColor(); }

  // Attaches the play list to play (not owned); call between Hold and Release.
  void SetPlayList(CRvPlayList* playList);
  CRvPlayList* GetPlayList() const { return m_playList.load(); }

  // False when already held (the caller then must not Release). Waits, polling every 1 ms,
  // until the worker is outside its frame. Prefer CKaHoldGuard, which cannot forget to release.
  bool Hold();
  void Release();
  // Drops queued read-ahead and waits for decodes in flight (the play list or what frames
  // decode to is about to change).
  void CancelReadAhead();
  // Read-ahead decode threads, 0 without read-ahead.
  unsigned GetDecodeThreadCount() const;
  // Leaves full screen and asks the worker to end.
  void Stop();

  bool IsPlaying() const { return m_transport.IsPlaying(); }
  bool IsReverse() const { return m_transport.IsReverse(); }
  bool IsHeld() const { return m_hold.load(); }
  bool IsRunning() const { return m_running.load(); }
  bool IsAtEnd() const { return m_transport.IsAtEnd(); }
  KaPendingAction GetPendingAction() const { return m_transport.GetPendingAction(); }
  std::uint64_t GetActionDeadline() const { return m_transport.GetActionDeadline(); }
  bool IsRedrawRequested() const { return m_redraw.load(); }
  void RequestRedraw() override { m_redraw.store(true); }
  double GetMeasuredRate() const { return m_pacer.GetMeasuredRate(); }
  std::uint32_t GetFrameCount() const;
  std::uint32_t GetPositionIndex() const;
  std::uint32_t GetCurrentFrameNumber() const;

  // --- view commands (UI thread) -------------------------------------------------------------
  void SetViewMode(KaViewMode mode) { m_viewSettings.SetViewMode(mode); }
  KaViewMode GetViewMode() const { return m_viewSettings.GetViewMode(); }
  void ToggleGamma() { m_viewSettings.ToggleGamma(); }
  void EnableGamma(bool enable) { m_viewSettings.EnableGamma(enable); }
  bool IsGammaEnabled() const { return m_viewSettings.IsGammaEnabled(); }
  void SetGamma(double gamma) { m_viewSettings.SetGamma(gamma); }
  double GetGamma() const { return m_viewSettings.GetGamma(); }
  void SetZoom(double zoom, bool announce) { m_viewSettings.SetZoom(zoom, announce); }
  double GetZoom() const { return m_viewSettings.GetZoom(); }
  void ZoomIn(bool announce) { m_viewSettings.ZoomIn(announce); }
  void ZoomOut(bool announce) { m_viewSettings.ZoomOut(announce); }
  void SetPan(int x, int y, bool announce) { m_viewSettings.SetPan(x, y, announce); }
  void PanBy(int dx, int dy) { SetPan(GetPanX() + dx, GetPanY() + dy, true); }
  void PanLeft(int d, bool announce) { SetPan(GetPanX() - d, GetPanY(), announce); }
  void PanRight(int d, bool announce) { SetPan(GetPanX() + d, GetPanY(), announce); }
  void PanUp(int d, bool announce) { SetPan(GetPanX(), GetPanY() - d, announce); }
  void PanDown(int d, bool announce) { SetPan(GetPanX(), GetPanY() + d, announce); }
  void ResetPan(bool announce) { SetPan(0, 0, announce); }
  int GetPanX() const { return m_viewSettings.GetPanX(); }
  int GetPanY() const { return m_viewSettings.GetPanY(); }
  void ToggleInfoText() { m_viewSettings.ToggleInfoText(); }
  bool GetInfoText() const { return m_viewSettings.GetInfoText(); }
  void SetFullScreen(bool on);
  bool IsFullScreen() const { return m_fullScreen.IsOn(); }
  void MarkImageRect(int left, int top, int right, int bottom) {
    m_renderer.MarkImageRect({left, top, right, bottom}, m_viewSettings.Snapshot());
  }
  // Unscaled size of the last drawn picture.
  int GetLastFrameWidth() const { return m_renderer.GetLastWidth(); }
  int GetLastFrameHeight() const { return m_renderer.GetLastHeight(); }

  // The info line of the last drawn frame, and the bitmap handed to the device context
  // (the frame's own bitmap when nothing had to be composed). For diagnostics and tests.
  std::string GetLastInfoLine() const { return m_renderer.GetLastInfoLine(); }
  const CImageBitmap* GetLastShownBitmap() const { return m_renderer.GetLastShown(); }

  // The ghosting buffer; its three parameters may be set from the UI thread.
  CKaMoBlurBuffer* GetMoBlurBuffer() { return m_renderer.GetMoBlurBuffer(); }

  // --- worker -------------------------------------------------------------------------------
  // The worker body: start-up, then cycles until the quit request.
  void Run();
  // Worker start-up without the loop (tests that drive cycles themselves call it first).
  void StartWorkerState();
  // One worker cycle; returns false once the quit request ends the loop.
  bool RunCycle();

 private:
  // CKaEngineHost
  void Announce(const std::string& text) override;
  void EmptyGhostingBuffer() override { m_renderer.EmptyGhostingBuffer(); }
  void NotifyPosition() override;
  void NotifyInOut() override;
  void RequestReadAhead(CRvPlayList* list) override;

  // Frames decode differently from now on: hold, drop them all, store, release.
  void DropDecodedFrames(const std::function<void()>& store);
  void DrawFrame();
  void LeaveFullScreen();

  // Collaborators, fixed at construction.
  CKaStatusLine* m_statusLine;
  CKaPlaybackObserver* m_observer;
  std::unique_ptr<CKaSteadyClock> m_ownClock;
  CKaClock* m_clock;
  CFrameDecoder* m_frameDecoder;
  std::function<std::unique_ptr<CImageBitmap>()> m_idleLoader;

  // Written by the UI thread (commands), read by the worker.
  std::atomic<std::uint32_t> m_changedCriterion{0};
  std::atomic<const CRvResample*> m_resample{nullptr};  // changed only while held
  std::atomic<const CRvCrop*> m_crop{nullptr};          // changed only while held
  std::atomic<CRvPlayList*> m_playList{nullptr};        // changed only while held

  // Written by both threads.
  std::atomic<bool> m_changedCheck{false};
  std::atomic<bool> m_redraw{true};
  std::atomic<bool> m_hold{false};
  std::atomic<bool> m_quit{false};

  // Written by the worker, read by anyone.
  std::atomic<bool> m_running{false};
  std::atomic<bool> m_busy{false};

  // The parts.
  CKaTransport m_transport;
  CKaPacer m_pacer;
  CKaViewSettings m_viewSettings;
  CKaFullScreenSession m_fullScreen;
  CKaFrameRenderer m_renderer;

  // Read-ahead; destroyed before the worker's collaborators go (the worker is joined first).
  std::unique_ptr<CRvDecodePool> m_pool;

  std::thread m_worker;  // last: started after every member exists
};

// Holds the engine for the scope: released on every path out, and only when this guard took
// the hold (an engine already held stays held).
class CKaHoldGuard {
 public:
  explicit CKaHoldGuard(CKaDrawThread* engine)
      : m_engine(engine), m_held(engine && engine->Hold()) {}
  ~CKaHoldGuard() {
    if (m_held) m_engine->Release();
  }
  CKaHoldGuard(const CKaHoldGuard&) = delete;
  CKaHoldGuard& operator=(const CKaHoldGuard&) = delete;
  bool Held() const { return m_held; }

 private:
  CKaDrawThread* m_engine;
  bool m_held;
};
