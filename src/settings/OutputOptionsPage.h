// The "Output Options" page: whether a finished AVI file is opened with the desktop's player.
#pragma once

#include "settings/SettingsSheet.h"

class QCheckBox;

class CRvSetOutputOptions : public CRvSettingsPage {
  Q_OBJECT

 public:
  CRvSetOutputOptions(const CRvSettingsContext& context, QWidget* parent);
  void Apply() override;

 private:
  const CRvSettingsContext& m_context;
  QCheckBox* m_startMediaPlayer = nullptr;
};
