// The main window: a frameless window that paints its own skin and hosts the view, the frame
// bar, the status line, the caption and transport buttons, the options bar and the
// load-sequence panel. It builds itself in a fixed order when it opens (InitDialog), turns
// buttons, keys, mouse and drops into engine commands, and writes its position and frame rate
// back when it ends.
//
// Threads: a user-interface object. The engine's worker reaches it only through the playback
// observer, which stores values and queues repaints.
#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <QPointer>
#include <array>
#include <memory>
#include <string>

#include "app/AppSettings.h"
#include "app/CommandLine.h"
#include "app/KeyCommands.h"
#include "app/MainDlgLayout.h"
#include "engine/FrameBar.h"
#include "imageops/RvCrop.h"
#include "imageops/RvResample.h"

class CRvPlayList;
class QRubberBand;
class CFrameDecoder;
class CNesLogFile;
class CKaDrawThread;
class CRvPlaybackView;
class CRvStatusLineWidget;
class CRvPlaybackObserver;
class CRvBitmapButton;
class CRvPanelContainer;
class CRvResamplePanel;
class CRvCropPanel;
class CRvPlayPanel;
class CRvInOutPanel;
class CKaLoadSequencePanel;
struct CRvAviCompression;
struct CRvSaveValues;

inline constexpr const char* kRvProductName = "Kavato Reelvane Stage Edition";
inline constexpr const char* kRvVersionText = "v2.10 Basic Edition";

class CRvMainDlg : public QDialog,
                   public CRvKeyTarget,
                   public CKaFrameBarSource,
                   public CKaFrameBarOwner {
  Q_OBJECT

 public:
  static constexpr int kTimerPeriodicId = 112;
  static constexpr int kPeriodicMs = 100;
  static constexpr int kTimerRedrawId = 5555;
  static constexpr int kRedrawMs = 100;

  // commandLine: the process command line as one string (BuildCommandLine).
  explicit CRvMainDlg(const std::string& commandLine, QWidget* parent = nullptr);
  ~CRvMainDlg() override;

  // The start-up sequence. Runs once, before the window is shown; a step that fails shows its
  // message, posts a close request and stops there.
  void InitDialog();

  // "<play list title> - Kavato Reelvane Stage Edition v2.10 Basic Edition", or without a
  // play list "Kavato Reelvane Stage Edition v2.10 Basic Edition".
  void UpdateTitle();

  // --- window modes ---------------------------------------------------------------------------
  RvWindowMode WindowMode() const { return m_windowMode; }
  QRect NormalRect() const { return m_normalRect; }
  void ToggleMaximize() override;
  void EnterFullScreen();
  void MinimizeWindow();
  void ToggleAlwaysOnTop();
  bool IsAlwaysOnTop() const;
  // The application lost activation (another program came to the front).
  void OnApplicationDeactivated();

  // --- layout ---------------------------------------------------------------------------------
  void RecalcLayout();
  const CRvLayout& Layout() const { return m_layout; }
  RvOptionsBarMode OptionsBarMode() const { return m_optionsBarMode; }
  RvLoadPanelState LoadPanelState() const { return m_loadPanelState; }
  void EnableAccept(bool enable);
  QWidget* PanelContainer() const;
  int ContainerHeight() const { return m_containerHeight; }
  void SetContainerHeight(int height);

  // --- playback settings the panels call ----------------------------------------------------
  void SetPlayModeLoop();
  void SetPlayModePingPong();
  void SetPlayModeOnce();
  bool IsPlayModeLoop() const;
  bool IsPlayModePingPong() const;
  bool IsPlayModeOnce() const;
  void SetFps(std::uint32_t fps);
  std::uint32_t GetFps() const;
  void SetFrameStep(std::uint32_t step);
  std::uint32_t GetFrameStep() const;
  void SetLoopPause(std::uint32_t seconds);
  std::uint32_t GetLoopPause() const;
  QRect GetViewRect() const { return m_layout.engineRect; }

  // --- crop selection ---------------------------------------------------------------------------
  void ToggleCropSelection();
  bool IsCropSelection() const { return m_cropSelection; }

  // --- the options bar's panels (MainDlgPanels.cpp) -------------------------------------------
  CRvPanelContainer* Panels() const { return m_container; }
  CRvResamplePanel* ResamplePanel() const { return m_resamplePanel; }
  CRvCropPanel* CropPanel() const { return m_cropPanel; }
  CRvPlayPanel* PlayPanel() const { return m_playPanel; }
  CRvInOutPanel* InOutPanel() const { return m_inOutPanel; }
  void RefreshCropPanel();
  void RefreshResamplePanel();
  // In/out, play, resample and crop panels from their data.
  void RefreshAllPanels();

  // --- CRvKeyTarget ---------------------------------------------------------------------------
  RvLoadPanelState KeyLoadPanelState() const override { return m_loadPanelState; }
  void CycleOptionsBar() override;
  void EscapeFullScreen() override;
  void FullScreenSwitch() override;
  void ShowLoadPanel() override;
  void AcceptLoadPanel() override;
  void CancelLoadPanel() override;
  bool LoadPanelEnter() override;
  bool IsAcceptEnabled() const override { return m_acceptEnabled; }
  void RequestStop() override { m_stopRequest = true; }
  void SaveSequence() override;
  void OpenSettings(int page) override;
  void AdjustWindowSize() override;
  void ShowHelp() override;
  void RefreshInOutPanel() override;
  void RefreshPlayPanel() override;
  void ShowNextPanel() override;
  void ShowPreviousPanel() override;
  bool StopRequested() const { return m_stopRequest; }

  // --- CKaFrameBarSource (the current play list; UI thread) ----------------------------------
  std::uint32_t GetInPointIndex() const override;
  std::uint32_t GetOutPointIndex() const override;
  std::uint32_t GetFrameCount() const override;
  std::uint32_t GetCacheCapacity() const override;
  const std::atomic<std::uint8_t>* GetLoadedFlags() const override;
  const std::uint32_t* GetFrameNumbers() const override;

  // --- CKaFrameBarOwner ----------------------------------------------------------------------
  void SetPositionFromBar(std::uint32_t index) override;
  void SetInPointFromBar(std::uint32_t index) override;
  void SetOutPointFromBar(std::uint32_t index) override;
  void ApplyInOutFromBar() override;

  // --- playback (MainDlgPlayback.cpp) -------------------------------------------------------
  const CRvStartupSettings& Settings() const { return m_settings; }
  const CRvCommandLineRequest& CommandLineRequest() const { return m_request; }
  bool CommandLineNamedFile() const { return m_commandLineNamedFile; }
  CRvCrop* Crop() { return &m_crop; }
  CRvResample* Resample() { return &m_resample; }
  CRvPlayList* PlayList() const { return m_playList.get(); }
  CKaDrawThread* Engine() const { return m_engine.get(); }
  CRvPlaybackView* PlaybackView() const { return m_playbackView; }
  CRvStatusLineWidget* StatusLine() const { return m_statusLine; }
  CRvPlaybackObserver* Observer() const { return m_observer.get(); }
  CKaFrameBar* FrameBar() const { return m_frameBar; }
  CRvKeyCommands* Keys() const { return m_keys.get(); }
  CKaLoadSequencePanel* LoadPanel() const { return m_loadPanel; }
  CRvBitmapButton* CaptionButton(RvCaptionButton which) const { return m_captionButtons[which]; }
  CRvBitmapButton* TransportButton(RvTransportButton which) const {
    return m_transportButtons[which];
  }
  // Finds the sequence of the file (or typed pattern) and makes it the only entry of a new
  // play list that replaces the one in *playList. False when no sequence is found.
  bool OpenSequenceFromPath(const std::string& path, std::unique_ptr<CRvPlayList>* playList);
  // A dropped or otherwise handed-over file: opens its sequence as a drop does (no playback
  // start); shows "Unable to open sequence <path>" and keeps the play list on failure.
  bool OpenDroppedFile(const std::string& path);

 public slots:
  void done(int result) override;
  // Esc reaches a dialog's reject; this window ends only by its Close button or a close request.
  void reject() override {}

 protected:
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void changeEvent(QEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Start-up steps, called by InitDialog in this order.
  void AddWindowStyles();          // 2: frameless, minimise/maximise, drops
  void CreateLoadPanel();          // 3 (MainDlgLoadPanel.cpp)
  void OpenLoadPanelState();       // state 1: the panel fills itself and takes the view's place
  void CreateView();               // 4: view, status line, frame bar
  void CreatePanelContainer();     // 5-8: the options bar and its scroll buttons
  void CreatePanels();             // 6: resample, crop, play and in/out panel
  void ReadSettings();             // every settings.ini value used at start-up
  void RestoreWindowPosition();    // 13
  void RestoreWindowMode();        // 15: a window closed maximised opens maximised
  void CreateButtons();            // 18
  void SetInitialCaption();        // 19
  void FinishLayout();             // 20-21: from now on size changes re-run the layout
  void ParseProcessCommandLine();  // 22
  // Playback steps (MainDlgPlayback.cpp).
  void CreatePlaybackWidgets();    // 4: view and status line
  void CreateEngine();             // 9-11
  void ConfigureEngine();          // 16-17
  void OpenCommandLineSequence();  // 23
  void AttachPlayList();           // a new play list to the frame bar, observer and engine
  void StopEngine();               // close request and window end

  void WriteWindowSettings();  // once, when the window ends
  void UpdatePlayButtons();    // timer 112
  void RecordNormalRect();
  void ApplyGeometry(const QRect& rect);
  void ShowStatus(const std::string& text);
  void EndCropDrag(const QPoint& end);
  void StartScrub(const QPoint& at);

  std::string m_commandLine;
  std::string m_iniPath;
  CRvStartupSettings m_settings;
  CRvCommandLineRequest m_request;
  bool m_commandLineNamedFile = false;

  // The crop and resample panels work on these (the command line parses into them too); the
  // engine holds pointers.
  CRvCrop m_crop;
  CRvResample m_resample;
  // Destroyed in reverse order: keys, engine (which waits for its worker), then the play
  // list it played and the decoder and log it used.
  std::unique_ptr<CFrameDecoder> m_frameDecoder;
  std::unique_ptr<CNesLogFile> m_ddrawLog;
  std::unique_ptr<CRvPlaybackObserver> m_observer;
  std::unique_ptr<CRvPlayList> m_playList;
  std::unique_ptr<CKaDrawThread> m_engine;
  std::unique_ptr<CRvKeyCommands> m_keys;

  CRvPlaybackView* m_playbackView = nullptr;
  CRvStatusLineWidget* m_statusLine = nullptr;
  CKaFrameBar* m_frameBar = nullptr;
  CRvPanelContainer* m_container = nullptr;
  CRvResamplePanel* m_resamplePanel = nullptr;
  CRvCropPanel* m_cropPanel = nullptr;
  CRvPlayPanel* m_playPanel = nullptr;
  CRvInOutPanel* m_inOutPanel = nullptr;
  CRvBitmapButton* m_scrollLeft = nullptr;
  CRvBitmapButton* m_scrollRight = nullptr;
  std::array<CRvBitmapButton*, kRvCaptionButtonCount> m_captionButtons{};
  std::array<CRvBitmapButton*, kRvTransportButtonCount> m_transportButtons{};
  CRvBitmapButton* m_ok = nullptr;
  CRvBitmapButton* m_cancel = nullptr;
  CKaLoadSequencePanel* m_loadPanel = nullptr;
  QRubberBand* m_cropBand = nullptr;

  CRvLayout m_layout;
  RvWindowMode m_windowMode = RvWindowMode::Normal;
  RvLoadPanelState m_loadPanelState = RvLoadPanelState::Closed;
  RvOptionsBarMode m_optionsBarMode = RvOptionsBarMode::TransportAndOptions;
  QRect m_normalRect;
  int m_containerHeight = 0;
  int m_activePanel = 0;
  int m_fps = 24;
  bool m_acceptEnabled = true;
  bool m_stopRequest = false;
  bool m_initialised = false;
  bool m_settingsWritten = false;
  bool m_applyingGeometry = false;
  bool m_alwaysOnTop = false;
  bool m_heldForLoadPanel = false;

  // Mouse.
  bool m_cropSelection = false;
  bool m_cropDragging = false;
  bool m_cropHeld = false;
  QPoint m_cropStart;
  bool m_scrubbing = false;
  QPoint m_scrubLast;
  bool m_scrubWasPlaying = false;
  bool m_scrubWasReverse = false;
  bool m_panDragging = false;
  bool m_manualMove = false;
  QPoint m_moveOffset;
  QPoint m_panLast;
  CRvWheelSteps m_wheel;

  QBasicTimer m_periodicTimer;  // 112
  QBasicTimer m_redrawTimer;    // 5555

  // Writing a sequence out (MainDlgSave.cpp). True when the run ended well; errors collects
  // the writer's messages. The compression chosen last is offered again in this session.
  bool WriteCurrentPlayList(const CRvSaveValues& values, std::string* errors);
  std::shared_ptr<CRvAviCompression> m_aviCompression;
};
