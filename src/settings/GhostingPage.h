// The "Frame Ghosting" page: the ghosting mode of the engine's buffer, its history length and
// its opacity. Every change reaches the buffer at once; the main window stores the values
// after the sheet closes.
#pragma once

#include "settings/SettingsSheet.h"

class QButtonGroup;
class QSpinBox;

class CRvSetGhosting : public CRvSettingsPage {
  Q_OBJECT

 public:
  static constexpr int kMaxFrames = 255;  // more never take part in a mix
  static constexpr int kMaxAlpha = 255;

  CRvSetGhosting(const CRvSettingsContext& context, QWidget* parent);
  void Apply() override;

 private:
  void UpdateEnabled();

  const CRvSettingsContext& m_context;
  QButtonGroup* m_mode = nullptr;
  QSpinBox* m_frames = nullptr;
  QSpinBox* m_alpha = nullptr;
};
