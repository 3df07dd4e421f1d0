// The in/out panel: the in and out points as frame numbers, "Set" (the in/out range becomes
// the stretch of frames the cache holds, as the frame bar's cache band shows it) and
// "ClearPoints".
#pragma once

#include <QWidget>
#include <cstdint>

class QLineEdit;
class CRvBitmapButton;
class CRvMainDlg;
class CRvPlayList;

// The first position index whose frame number is at least `number`, or all bits set when no
// frame has such a number.
std::uint32_t RvFirstIndexAtOrAbove(const CRvPlayList& list, std::uint32_t number);

class CRvInOutPanel : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeight = 24;
  static constexpr int kInId = 1089;
  static constexpr int kOutId = 1090;
  static constexpr int kSetId = 1091;
  static constexpr int kClearId = 1092;

  explicit CRvInOutPanel(CRvMainDlg* dlg, QWidget* parent = nullptr);

  // The current in and out frame numbers into the fields (empty without a play list).
  void Refresh();
  // Both fields must parse; then the in point and the out point go to the first frames whose
  // numbers are at least the values. A field that does not parse, or names no frame, gets the
  // focus with a beep. False then.
  bool Apply();
  // In/out to the cache size: the out point as far after the in point as the cache holds frames
  // at the current step; past the end the in point moves back.
  void SetToCacheSize();
  void ClearPoints();

  QLineEdit* InEdit() const { return m_in; }
  QLineEdit* OutEdit() const { return m_out; }
  CRvBitmapButton* SetButton() const { return m_set; }
  CRvBitmapButton* ClearButton() const { return m_clear; }

 private:
  CRvMainDlg* m_dlg;
  QLineEdit* m_in = nullptr;
  QLineEdit* m_out = nullptr;
  CRvBitmapButton* m_set = nullptr;
  CRvBitmapButton* m_clear = nullptr;
};
