// The options bar's strip of panels ("Kavato Panel Container"): the panels side by side, each
// at its own size, the active one at the left edge and the ones before it wrapped round to the
// end of the row, so the scroll buttons walk through them as through a ring.
#pragma once

#include <QWidget>
#include <vector>

// Left edges of panels of the given widths when `active` is shown first: the row starts at
// minus the widths before the active panel, and every panel that then ends at or left of 0
// moves to the end of the row.
std::vector<int> RvPanelPositions(const std::vector<int>& widths, int active);

class CRvPanelContainer : public QWidget {
  Q_OBJECT

 public:
  static constexpr const char* kWindowName = "Kavato Panel Container";

  explicit CRvPanelContainer(QWidget* parent = nullptr);

  // Appends the panel, shows it and raises the common height to its height if larger.
  void AddPanel(QWidget* panel);
  // Active panel = index, or 0 when index is past the last panel; then lays the row out.
  void SetActive(int index);
  void Next() { SetActive(m_active + 1); }
  void Previous() { SetActive(m_active <= 0 ? int(m_panels.size()) - 1 : m_active - 1); }

  int Active() const { return m_active; }
  int PanelHeight() const { return m_height; }
  int PanelCount() const { return int(m_panels.size()); }
  QWidget* Panel(int index) const { return m_panels[std::size_t(index)]; }

 private:
  void PlacePanels();

  std::vector<QWidget*> m_panels;
  int m_active = 0;
  int m_height = 0;
};
