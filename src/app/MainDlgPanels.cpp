// The main window's options bar: the four panels in the container, and their refreshes.
#include "app/RvCropPanel.h"
#include "app/RvInOutPanel.h"
#include "app/RvMainDlg.h"
#include "app/RvPanelContainer.h"
#include "app/RvPlayPanel.h"
#include "app/RvResamplePanel.h"

void CRvMainDlg::CreatePanels() {
  m_resamplePanel = new CRvResamplePanel(this);
  m_container->AddPanel(m_resamplePanel);
  m_cropPanel = new CRvCropPanel(this);
  m_container->AddPanel(m_cropPanel);
  m_playPanel = new CRvPlayPanel(this);
  m_container->AddPanel(m_playPanel);
  m_inOutPanel = new CRvInOutPanel(this);
  m_container->AddPanel(m_inOutPanel);
  SetContainerHeight(m_container->PanelHeight());
}

QWidget* CRvMainDlg::PanelContainer() const { return m_container; }

void CRvMainDlg::RefreshCropPanel() {
  if (!m_cropPanel) return;
  m_cropPanel->Refresh();
  m_cropPanel->RefreshSelection();
}

void CRvMainDlg::RefreshResamplePanel() {
  if (m_resamplePanel) m_resamplePanel->Refresh();
}

void CRvMainDlg::RefreshAllPanels() {
  RefreshInOutPanel();
  RefreshPlayPanel();
  RefreshResamplePanel();
  RefreshCropPanel();
}
