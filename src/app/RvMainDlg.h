// The main window. It builds itself in a fixed order when it opens (InitDialog) and writes its
// position and frame rate back when it ends (done). This first form is a plain window with the
// view area; panels, the playback engine and the skinned frame join it later.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "app/AppSettings.h"
#include "app/CommandLine.h"
#include "imageops/RvCrop.h"
#include "imageops/RvResample.h"

class CRvPlayList;
class QWidget;
class CFrameDecoder;
class CNesLogFile;
class CKaDrawThread;
class CRvPlaybackView;
class CRvStatusLineWidget;
class CRvPlaybackObserver;
class CRvKeyCommands;

inline constexpr const char* kRvProductName = "Kavato Reelvane Stage Edition";
inline constexpr const char* kRvVersionText = "v2.10 Basic Edition";

class CRvMainDlg : public QDialog {
  Q_OBJECT

 public:
  // commandLine: the process command line as one string (BuildCommandLine).
  explicit CRvMainDlg(const std::string& commandLine, QWidget* parent = nullptr);
  ~CRvMainDlg() override;

  // The start-up sequence. Runs once, before the window is shown; a step that fails shows its
  // message, posts a close request and stops there.
  void InitDialog();

  // "<play list> - Kavato Reelvane Stage Edition v2.10 Basic Edition", or without a play list
  // "Kavato Reelvane Stage Edition v2.10 Basic Edition".
  void UpdateTitle();

  // Window mode: 0 normal, 1 maximised, 3 full screen.
  int WindowMode() const { return m_windowMode; }
  void ToggleMaximize();

  const CRvStartupSettings& Settings() const { return m_settings; }
  const CRvCommandLineRequest& CommandLineRequest() const { return m_request; }
  bool CommandLineNamedFile() const { return m_commandLineNamedFile; }
  CRvCrop* Crop() { return &m_crop; }
  CRvResample* Resample() { return &m_resample; }
  CRvPlayList* PlayList() const { return m_playList.get(); }

  // Playback (MainDlgPlayback.cpp).
  CKaDrawThread* Engine() const { return m_engine.get(); }
  CRvPlaybackView* PlaybackView() const { return m_playbackView; }
  CRvStatusLineWidget* StatusLine() const { return m_statusLine; }
  CRvPlaybackObserver* Observer() const { return m_observer.get(); }
  // Finds the sequence of the file (or typed pattern) and makes it the only entry of a new
  // play list that replaces the one in *playList. False when no sequence is found.
  bool OpenSequenceFromPath(const std::string& path, std::unique_ptr<CRvPlayList>* playList);

 public slots:
  void done(int result) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Start-up steps, called by InitDialog in this order.
  void AddWindowStyles();          // 2: minimise/maximise buttons, system menu
  void CreateView();               // 4: the area frames are drawn into
  void ReadSettings();             // every settings.ini value used at start-up
  void RestoreWindowPosition();    // 13
  void RestoreWindowMode();        // 15: a window closed maximised opens maximised
  void SetInitialCaption();        // 19
  void FinishLayout();             // 20: from now on size changes re-run the layout
  void ParseProcessCommandLine();  // 22
  // Playback steps (MainDlgPlayback.cpp).
  void CreatePlaybackWidgets(QWidget* view);  // 4: view and status line
  void CreateEngine();                        // 9-11
  void ConfigureEngine();                     // 16-17
  void OpenCommandLineSequence();             // 23
  void StopEngine();                          // close request and window end

  // Called once when the window ends, however it ends.
  void WriteWindowSettings();

  std::string m_commandLine;
  std::string m_iniPath;
  CRvStartupSettings m_settings;
  CRvCommandLineRequest m_request;
  bool m_commandLineNamedFile = false;

  // Owned here until the crop and resample panels exist; the engine will hold pointers.
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

  QWidget* m_view = nullptr;
  int m_windowMode = 0;
  int m_activePanel = 0;
  int m_fps = 24;
  bool m_initialised = false;
  bool m_settingsWritten = false;
};
