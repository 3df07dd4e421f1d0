// The "Video Compression" dialog: the compressor of an AVI file and its settings.
#pragma once

#include <QDialog>

#include "output/AviWriter.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;
class QSpinBox;

class CRvVideoCompressionDlg : public QDialog {
  Q_OBJECT

 public:
  CRvVideoCompressionDlg(const CRvAviCompression& options, QWidget* parent = nullptr);
  CRvAviCompression Options() const;

 private:
  void UpdateControls();

  QComboBox* m_compressor = nullptr;
  QSlider* m_quality = nullptr;
  QLabel* m_qualityValue = nullptr;
  QCheckBox* m_keyFrames = nullptr;
  QSpinBox* m_keyFrameEvery = nullptr;
  QCheckBox* m_limitRate = nullptr;
  QSpinBox* m_dataRate = nullptr;
};

// Asks the user through the dialog, owned by parent, starting from the options passed in.
class CRvCompressionDialogChooser : public CRvCompressionChooser {
 public:
  explicit CRvCompressionDialogChooser(QWidget* parent) : m_parent(parent) {}
  bool ChooseCompression(CRvAviCompression* options) override;

 private:
  QWidget* m_parent;
};
