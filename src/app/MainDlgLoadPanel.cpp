// The main window's side of the load-sequence panel: it takes the view's place while open, with
// the engine held; OK plays what the panel chose, Cancel goes back to what was playing.
#include <QMessageBox>

#include "app/PlaybackObserver.h"
#include "app/RvMainDlg.h"
#include "browser/LoadSequencePanel.h"
#include "engine/DrawThread.h"
#include "imaging/FrameDecoder.h"
#include "sequence/PlayList.h"
#include "support/NesCommon55.h"

void CRvMainDlg::CreateLoadPanel() {
  m_loadPanel = new CKaLoadSequencePanel(m_iniPath, this);
  m_loadPanel->hide();
  connect(m_loadPanel, &CKaLoadSequencePanel::acceptEnabledChanged, this,
          [this](bool enabled) { EnableAccept(enabled); });
}

void CRvMainDlg::OpenLoadPanelState() {
  m_loadPanelState = RvLoadPanelState::Open;
  m_loadPanel->Open();
  m_acceptEnabled = m_loadPanel->IsAcceptEnabled();
  RecalcLayout();
  m_loadPanel->setFocus();
  update();
}

void CRvMainDlg::ShowLoadPanel() {
  if (!m_engine || m_loadPanelState != RvLoadPanelState::Closed) return;
  m_engine->Pause(true);
  m_heldForLoadPanel = m_engine->Hold();
  if (m_windowMode == RvWindowMode::FullScreen) ToggleMaximize();
  OpenLoadPanelState();
}

void CRvMainDlg::AcceptLoadPanel() {
  if (m_loadPanelState == RvLoadPanelState::Writing) return;  // only the writing ends state 2
  if (m_loadPanelState != RvLoadPanelState::Open) {
    m_loadPanelState = RvLoadPanelState::Closed;
    RecalcLayout();
    return;
  }
  // The engine is held while the panel is open, so the old play list can go.
  m_engine->SetPlayList(nullptr);
  m_observer->ResetInOutRecord();
  m_playList = m_loadPanel->CommitSelection();
  m_loadPanel->SaveBrowserState();
  if (m_playList) {
    m_playList->SetFrameDecoder(m_frameDecoder.get());
    AttachPlayList();
  }
  m_loadPanelState = RvLoadPanelState::Closed;
  if (m_heldForLoadPanel) m_engine->Release();
  m_heldForLoadPanel = false;
  RefreshInOutPanel();
  RefreshPlayPanel();
  UpdateTitle();
  if (m_playList && bReadFromIniFile(m_iniPath, kRvSectionPlayback, "PlayAfterOpening", false))
    m_engine->Play(true);
  RecalcLayout();
  m_engine->RequestRedraw();
  setFocus();
}

void CRvMainDlg::CancelLoadPanel() {
  if (m_loadPanelState == RvLoadPanelState::Open) {
    m_loadPanelState = RvLoadPanelState::Closed;  // hides the panel in the layout below
    RefreshInOutPanel();
    if (m_heldForLoadPanel && m_engine) m_engine->Release();
    m_heldForLoadPanel = false;
  } else if (m_loadPanelState == RvLoadPanelState::Writing) {
    RequestStop();  // the writing loop ends state 2 itself once it has closed the writer
    return;
  }
  m_loadPanelState = RvLoadPanelState::Closed;
  RecalcLayout();
  setFocus();
}

bool CRvMainDlg::LoadPanelEnter() {
  return m_loadPanelState == RvLoadPanelState::Open && m_loadPanel && m_loadPanel->HandleEnter();
}
