// The "Cineon Properties" page: the five log-to-linear parameters handed to converter
// plug-ins, with loading and saving of profiles. The page holds its own copy of the values
// until the sheet closes; then the engine gets them first (it empties the frame cache only
// when something changed) and settings.ini second.
#pragma once

#include "imaging/FrameDecoder.h"
#include "settings/SettingsSheet.h"

class QLineEdit;

class CRvSetCineon : public CRvSettingsPage {
  Q_OBJECT

 public:
  static constexpr double kMaxGamma = 100.0;
  static constexpr int kMaxReference = 1024;
  static constexpr int kMaxSoftClip = 50;

  CRvSetCineon(const CRvSettingsContext& context, QWidget* parent);
  bool Validate(QString* message, QWidget** field) override;
  void Apply() override;
  // "&Load Settings" and "&Save Settings".
  void LoadProfile();
  void SaveProfile();

  // The values the controls show now (after a successful Validate).
  CineonValues Values() const { return m_values; }

 private:
  void ShowValues();
  QString ProfileFolder() const;
  void RememberFolder(const QString& chosenFile);

  const CRvSettingsContext& m_context;
  CineonValues m_values;
  QLineEdit* m_displayGamma = nullptr;
  QLineEdit* m_cineonGamma = nullptr;
  QLineEdit* m_black = nullptr;
  QLineEdit* m_white = nullptr;
  QLineEdit* m_softClip = nullptr;
};
