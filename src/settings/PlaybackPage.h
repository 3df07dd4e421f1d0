// The "Playback settings" page: the frame cache's share of physical memory, playing after
// the sequence browser closes, the background colour and the changed-frames criterion.
#pragma once

#include <QFrame>
#include <cstdint>
#include <string>

#include "settings/SettingsSheet.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QSlider;

// "80% = 19.2 GB": the percentage and what it means on a machine with physicalBytes of
// memory (MB below one GB, one decimal; "80%" alone when the memory is unknown).
std::string RvMemoryShareText(int percent, std::uint64_t physicalBytes);

// A colour reference 0x00BBGGRR and back.
QColor RvColorFromRef(std::uint32_t colorRef);
std::uint32_t RvColorRef(const QColor& color);

// The background colour swatch: a sunken edge, filled with the colour 2 pixels inside it.
class CRvColorSwatch : public QFrame {
 public:
  explicit CRvColorSwatch(QWidget* parent);
  void SetColor(const QColor& color);
  QColor Color() const { return m_color; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor m_color = Qt::black;
};

class CRvSetPlayback : public CRvSettingsPage {
  Q_OBJECT

 public:
  static constexpr int kDefaultRamPercent = 80;
  static constexpr int kCriterionCount = 4;

  CRvSetPlayback(const CRvSettingsContext& context, QWidget* parent);
  void Apply() override;
  // "&Choose": the colour dialog; on OK the swatch, the key and the engine change.
  void ChooseColor();
  int Criterion() const;

 private:
  void OnMemoryMoved(int percent);

  const CRvSettingsContext& m_context;
  std::uint64_t m_physical;
  QSlider* m_memory = nullptr;
  QLabel* m_memoryText = nullptr;
  QCheckBox* m_playAfterOpening = nullptr;
  CRvColorSwatch* m_swatch = nullptr;
  QButtonGroup* m_criterion = nullptr;
};
