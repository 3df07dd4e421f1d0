#include "app/RvPanelContainer.h"

#include <QPalette>

std::vector<int> RvPanelPositions(const std::vector<int>& widths, int active) {
  std::vector<int> x(widths.size());
  int left = 0;
  for (int i = 0; i < active && std::size_t(i) < widths.size(); ++i) left -= widths[std::size_t(i)];
  for (std::size_t i = 0; i < widths.size(); ++i) {
    x[i] = left;
    left += widths[i];
  }
  // `left` is now the right end of the row; what ends at or before 0 goes behind it, in order.
  for (std::size_t i = 0; i < widths.size(); ++i) {
    if (x[i] + widths[i] <= 0) {
      x[i] = left;
      left += widths[i];
    }
  }
  return x;
}

CRvPanelContainer::CRvPanelContainer(QWidget* parent) : QWidget(parent) {
  setObjectName(QLatin1String(kWindowName));
  setWindowTitle(QLatin1String(kWindowName));
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::black);
  setPalette(palette);
}

void CRvPanelContainer::AddPanel(QWidget* panel) {
  panel->setParent(this);
  m_height = std::max(m_height, panel->height());
  m_panels.push_back(panel);
  panel->show();
  PlacePanels();
}

void CRvPanelContainer::SetActive(int index) {
  m_active = (index < 0 || index >= int(m_panels.size())) ? 0 : index;
  PlacePanels();
}

void CRvPanelContainer::PlacePanels() {
  std::vector<int> widths;
  for (QWidget* panel : m_panels) widths.push_back(panel->width());
  const std::vector<int> x = RvPanelPositions(widths, m_active);
  for (std::size_t i = 0; i < m_panels.size(); ++i) m_panels[i]->move(x[i], 0);
  update();
}
