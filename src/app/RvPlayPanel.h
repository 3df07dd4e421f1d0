// The play panel: loop, ping-pong and once buttons and the frame-rate, step and loop-pause
// fields, applied together with Enter.
#pragma once

#include <QWidget>
#include <array>

class QLineEdit;
class CRvBitmapButton;
class CRvMainDlg;

class CRvPlayPanel : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeight = 24;
  static constexpr int kLoopId = 1081;
  static constexpr int kPingPongId = 1082;
  static constexpr int kOnceId = 1083;
  static constexpr int kFpsId = 1078;
  static constexpr int kStepId = 1079;
  static constexpr int kLoopPauseId = 1080;
  enum Mode { kLoop, kPingPong, kOnce, kModeCount };
  enum Field { kFps, kStep, kLoopPause, kFieldCount };

  explicit CRvPlayPanel(CRvMainDlg* dlg, QWidget* parent = nullptr);

  // The engine's rate, step and loop pause into the fields; the current mode's button checked.
  void Refresh();
  // Parses rate, step and loop pause in this order and applies each that parses; the first
  // that does not stops it with a beep and the focus in that field. False then.
  bool Apply();
  void SelectMode(Mode mode);

  CRvBitmapButton* ModeButton(Mode mode) const { return m_modes[mode]; }
  QLineEdit* FieldEdit(Field field) const { return m_fields[field]; }

 private:
  CRvMainDlg* m_dlg;
  std::array<CRvBitmapButton*, kModeCount> m_modes{};
  std::array<QLineEdit*, kFieldCount> m_fields{};
};
