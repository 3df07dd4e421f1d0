// The main window's playback: the view and status line, the engine created and configured
// from the settings in the start-up order, the command line's sequence opened and played, and
// the engine stopped when the window ends.
#include <QMessageBox>

#include "app/KeyCommands.h"
#include "app/PlaybackObserver.h"
#include "app/PlaybackView.h"
#include "app/RvInOutPanel.h"
#include "app/RvMainDlg.h"
#include "engine/DrawThread.h"
#include "imaging/FrameDecoder.h"
#include "imaging/metafile/WMFDecoder.h"
#include "sequence/PlayList.h"
#include "sequence/SequenceList.h"
#include "support/NesCommon55.h"
#include "support/NesLogFile.h"

namespace {
constexpr std::uint32_t kDDrawLogLimitKiB = 1024;
}  // namespace

void CRvMainDlg::CreatePlaybackWidgets() {
  m_playbackView = new CRvPlaybackView(this);
  m_playbackView->setObjectName(QStringLiteral("playbackView"));
  m_playbackView->setProperty("controlId", 1013);
  m_statusLine = new CRvStatusLineWidget(this);
  m_statusLine->setObjectName(QStringLiteral("statusLine"));
  m_statusLine->setProperty("controlId", 1014);
}

void CRvMainDlg::CreateEngine() {
  RvRegisterMetafileDecoder();  // before the frame decoder builds its format decoders
  m_frameDecoder = std::make_unique<CFrameDecoder>();
  m_ddrawLog = std::make_unique<CNesLogFile>(strSettingsPath() + "DDraw.log", kDDrawLogLimitKiB);
  m_observer = std::make_unique<CRvPlaybackObserver>(m_frameBar);
  KaDrawThreadOptions options;
  options.frameDecoder = m_frameDecoder.get();
  options.ddrawLog = m_ddrawLog.get();
  // Frames are read ahead on every core unless the setting names a count.
  options.decodeThreads =
      std::max(0, iReadFromIniFile(m_iniPath, kRvSectionPlayback, "DecodeThreads", 0));
  // The window handle exists once the widget is created; the full-screen surface uses it to
  // pick the screen.
  m_engine = std::make_unique<CKaDrawThread>(windowHandle(), m_playbackView->Surface(),
                                             m_statusLine->Line(), m_observer.get(), options);
  CKaMoBlurBuffer* ghost = m_engine->GetMoBlurBuffer();
  ghost->SetMode(m_settings.ghostMode);
  ghost->SetFrames(std::uint32_t(std::max(0, m_settings.ghostFrames)));
  ghost->SetAlpha(std::uint8_t(m_settings.ghostAlpha));  // stored in a byte
  m_engine->SetFps(std::uint32_t(std::max(0, m_settings.fps)));
  m_engine->SetChangedFramesCriterion(std::uint32_t(m_settings.changedFramesCriterion));
  m_playbackView->SetEngine(m_engine.get());
  m_keys =
      std::make_unique<CRvKeyCommands>(m_engine.get(), m_statusLine->Line(), m_playbackView, this);
}

void CRvMainDlg::ConfigureEngine() {
  if (!m_engine) return;
  m_engine->SetPlayMode(RvPlayModeFromInt(m_settings.playMode));
  m_engine->SetStep(std::uint32_t(std::max(0, m_settings.frameStep)));
  m_frameBar->SetStep(m_engine->GetStep());
  m_engine->SetLoopPause(std::uint32_t(std::max(0, m_settings.loopPause)));
  m_engine->SetBackColor(std::uint32_t(m_settings.backColor));
  m_engine->ApplyCineonSettings(
      m_settings.gammaLog, m_settings.gammaDisplay, std::uint32_t(m_settings.referenceBlack),
      std::uint32_t(m_settings.referenceWhite), std::uint32_t(m_settings.softClip));
}

bool CRvMainDlg::OpenSequenceFromPath(const std::string& path,
                                      std::unique_ptr<CRvPlayList>* playList) {
  std::unique_ptr<CRvSequence> sequence = RvLookupSequence(path);
  if (!sequence) return false;
  auto list = std::make_unique<CRvPlayList>();
  list->SetFrameDecoder(m_frameDecoder.get());
  list->AddSequence(std::move(sequence));
  // The engine must not be drawing from the play list that is about to be deleted.
  const bool held = m_engine && playList == &m_playList && m_engine->Hold();
  if (m_engine && playList == &m_playList) m_engine->SetPlayList(nullptr);
  *playList = std::move(list);
  if (held) m_engine->Release();
  return true;
}

void CRvMainDlg::OpenCommandLineSequence() {
  if (!m_engine) return;
  if (!m_commandLineNamedFile) {
    // Nothing named: the load-sequence panel takes over, with the engine held while it is up.
    m_engine->Pause(true);
    m_heldForLoadPanel = m_engine->Hold();
    if (m_windowMode == RvWindowMode::FullScreen) ToggleMaximize();
    OpenLoadPanelState();
    return;
  }
  const std::string& path = m_request.sequencePath;
  if (!OpenSequenceFromPath(path, &m_playList)) {
    // Shown window-modal without blocking the start-up: the window stays up without a play
    // list and the remaining steps still run.
    auto* box = new QMessageBox(QMessageBox::NoIcon, windowTitle(),
                                QString::fromLocal8Bit("Unable to open sequence " + path),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("openSequenceError"));
    box->open();
    return;
  }
  const bool held = m_engine->Hold();
  m_engine->SetCrop(m_request.cropGiven ? &m_crop : nullptr);
  m_engine->SetResample(m_request.resampleGiven ? &m_resample : nullptr);
  AttachPlayList();
  if (m_request.inFrame != 0) {
    const std::uint32_t index =
        RvFirstIndexAtOrAbove(*m_playList, std::uint32_t(m_request.inFrame));
    if (index != CKaDrawThread::kNone) m_playList->SetInPoint(index, true);
  }
  if (m_request.outFrame != -1) {
    const std::uint32_t index =
        RvFirstIndexAtOrAbove(*m_playList, std::uint32_t(m_request.outFrame));
    if (index != CKaDrawThread::kNone) m_playList->SetOutPoint(index, true);
  }
  m_engine->GotoInPoint();
  if (held) m_engine->Release();
  m_engine->Play(true);
}

void CRvMainDlg::AttachPlayList() {
  // The observer may still hold the record of the list just deleted: forget it before the
  // frame bar can read it.
  m_observer->ResetInOutRecord();
  m_playList->NumberFrames();
  m_frameBar->SetCurrentIndex(m_playList->GetCurrentIndex());
  m_frameBar->SetSource(this);
  m_engine->SetPlayList(m_playList.get());
  m_observer->OnInOutChanged(m_playList.get());
}

void CRvMainDlg::StopEngine() {
  if (m_engine) m_engine->Stop();
}
