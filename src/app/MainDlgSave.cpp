// The main window's Save command: the "Save Sequence" dialog, then the writing of the play list
// in load-panel state 2 with the progress in the frame bar. Cancel, Esc and a dropped file set
// the stop request; everything that could move or replace the play list is refused meanwhile.
#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>
#include <optional>

#include "app/RvMainDlg.h"
#include "engine/DrawThread.h"
#include "output/AviWriter.h"
#include "output/FrameSource.h"
#include "output/ImageEncoders.h"
#include "output/OutputNaming.h"
#include "output/SequenceWriter.h"
#include "output/dialog/RvSaveSequenceDlg.h"
#include "output/dialog/RvVideoCompressionDlg.h"
#include "sequence/PlayList.h"
#include "support/NesCommon55.h"

namespace {

// The source reads the play list while the engine is held; in between the engine draws the
// frame the source has moved to.
class CEngineGuard : public CRvPlayListGuard {
 public:
  explicit CEngineGuard(CKaDrawThread* engine) : m_engine(engine) {}
  void Enter() override { m_held = m_engine->Hold(); }
  void Leave() override {
    if (m_held) m_engine->Release();
    m_held = false;
  }

 private:
  CKaDrawThread* m_engine;
  bool m_held = false;
};

class CWindowMonitor : public CRvWriteMonitor {
 public:
  CWindowMonitor(CRvMainDlg* window, CKaDrawThread* engine, CKaFrameBar* bar,
                 std::uint32_t firstIndex, std::uint32_t total)
      : m_window(window), m_engine(engine), m_bar(bar), m_first(firstIndex), m_total(total) {}
  bool ServeUserInterface() override {
    QApplication::processEvents(QEventLoop::AllEvents);
    return m_window->StopRequested();
  }
  void ShowProgress(std::uint32_t position, std::uint32_t done) override {
    m_bar->SetCurrentIndex(m_first + position);
    m_bar->SetProgress(done, m_total > done ? m_total : done + 1);
    m_engine->RequestRedraw();
  }

 private:
  CRvMainDlg* m_window;
  CKaDrawThread* m_engine;
  CKaFrameBar* m_bar;
  std::uint32_t m_first;
  std::uint32_t m_total;
};

}  // namespace

void CRvMainDlg::SaveSequence() {
  if (m_loadPanelState != RvLoadPanelState::Closed || !m_engine) {
    QApplication::beep();  // a save is already running, or the browser is open
    return;
  }
  if (m_engine->IsPlaying() || m_engine->GetPendingAction() != KaPendingAction::None)
    m_engine->Pause(true);
  CRvSaveSequenceDlg dialog(m_iniPath, this);
  dialog.setObjectName(QStringLiteral("saveSequence"));
  if (dialog.exec() != QDialog::Accepted) return;
  const CRvSaveValues values = dialog.Values();
  std::string errors;
  const bool ok = WriteCurrentPlayList(values, &errors);
  if (!errors.empty()) {
    auto* box = new QMessageBox(QMessageBox::NoIcon, windowTitle(), QString::fromStdString(errors),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("writeError"));
    box->open();
  }
  if (ok && values.format == kRvFormatAvi &&
      bReadFromIniFile(m_iniPath, kRvSectionOutput, kRvKeyStartMediaPlayer, true))
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(values.OutputPath())));
}

bool CRvMainDlg::WriteCurrentPlayList(const CRvSaveValues& values, std::string* errors) {
  if (!m_playList || m_playList->GetFrameCount() == 0) {
    *errors = "Playlist is empty.\n";
    return false;
  }
  // The chain reads copies of the crop and resample: the panels may change theirs meanwhile.
  std::optional<CRvCrop> crop;
  std::optional<CRvResample> resample;
  if (const CRvCrop* c = m_engine->GetCrop()) crop = *c;
  if (const CRvResample* r = m_engine->GetResample()) resample = *r;

  CEngineGuard guard(m_engine.get());
  auto playListSource = std::make_unique<CRvPlayListSource>(m_playList.get(), &guard);
  const std::uint32_t inputFrames = playListSource->GetFrameCount();
  std::unique_ptr<CRvFrameSource> source =
      RvMakeConverter(std::move(playListSource), values.outputOptions, values.fieldOrder,
                      values.intermediateFrames);
  const std::uint32_t rate = source->AdjustRate(m_engine->GetFps());

  if (!m_aviCompression) m_aviCompression = std::make_shared<CRvAviCompression>();
  CRvCompressionDialogChooser chooser(this);
  std::unique_ptr<CRvImageEncoder> encoder;
  std::unique_ptr<CRvSequenceWriter> writer;
  std::uint32_t start = std::uint32_t(values.startNumber), step = std::uint32_t(values.stepFrames);
  if (values.format == kRvFormatAvi) {
    auto avi = std::make_unique<CRvAviWriter>(&chooser);
    avi->SetCompression(*m_aviCompression);
    writer = std::move(avi);
    start = 0;
    step = 1;
  } else {
    encoder = RvMakeImageEncoder(values.format);
    writer = std::make_unique<CRvImageSequenceWriter>(encoder.get(), values.padNumber,
                                                      RvOutputFormat(values.format).extension);
  }

  m_stopRequest = false;
  m_loadPanelState = RvLoadPanelState::Writing;
  m_frameBar->SetInputLocked(true);
  RecalcLayout();
  setFocus();
  CWindowMonitor monitor(this, m_engine.get(), m_frameBar, m_playList->GetInPointIndex(),
                         source->AdjustRate(inputFrames));
  const bool ok =
      WriteSequence(source.get(), values.OutputPath(), start, step, rate, crop ? &*crop : nullptr,
                    resample ? &*resample : nullptr, writer.get(), errors, &monitor);
  if (auto* avi = dynamic_cast<CRvAviWriter*>(writer.get()))
    *m_aviCompression = avi->GetCompression();
  m_frameBar->SetProgress(0, 0);
  m_frameBar->SetInputLocked(false);
  m_loadPanelState = RvLoadPanelState::Closed;
  m_stopRequest = false;
  RecalcLayout();
  setFocus();
  m_engine->RequestRedraw();
  return ok;
}
