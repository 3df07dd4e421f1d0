#include "output/dialog/RvVideoCompressionDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>

CRvVideoCompressionDlg::CRvVideoCompressionDlg(const CRvAviCompression& options, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Video Compression"));
  m_compressor = new QComboBox;
  m_compressor->setObjectName(QStringLiteral("compressor"));
  m_compressor->addItem(QStringLiteral("Full Frames (Uncompressed)"));
  m_compressor->addItem(QStringLiteral("Motion JPEG"));
  m_compressor->setCurrentIndex(options.codec == RvAviCodec::MotionJpeg ? 1 : 0);
  m_quality = new QSlider(Qt::Horizontal);
  m_quality->setObjectName(QStringLiteral("quality"));
  m_quality->setRange(1, 100);
  m_quality->setValue(options.quality);
  m_qualityValue = new QLabel;
  // Both compressors code every frame on its own: every frame is a key frame.
  m_keyFrames = new QCheckBox(QStringLiteral("&Key Frame Every"));
  m_keyFrames->setChecked(true);
  m_keyFrames->setEnabled(false);
  m_keyFrameEvery = new QSpinBox;
  m_keyFrameEvery->setRange(1, 1);
  m_keyFrameEvery->setEnabled(false);
  m_limitRate = new QCheckBox(QStringLiteral("&Data Rate"));
  m_limitRate->setObjectName(QStringLiteral("limitRate"));
  m_limitRate->setChecked(options.dataRate > 0);
  m_dataRate = new QSpinBox;
  m_dataRate->setObjectName(QStringLiteral("dataRate"));
  m_dataRate->setRange(1, 1000000);
  m_dataRate->setValue(options.dataRate > 0 ? options.dataRate : 10000);

  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel(QStringLiteral("&Compressor:")), 0, 0);
  grid->addWidget(m_compressor, 0, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Compression &Quality:")), 1, 0);
  grid->addWidget(m_quality, 1, 1);
  grid->addWidget(m_qualityValue, 1, 2);
  grid->addWidget(m_keyFrames, 2, 0);
  grid->addWidget(m_keyFrameEvery, 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("frames")), 2, 2);
  grid->addWidget(m_limitRate, 3, 0);
  grid->addWidget(m_dataRate, 3, 1);
  grid->addWidget(new QLabel(QStringLiteral("KB/sec")), 3, 2);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  grid->addWidget(buttons, 4, 0, 1, 3);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(m_compressor, &QComboBox::currentIndexChanged, this,
          &CRvVideoCompressionDlg::UpdateControls);
  connect(m_quality, &QSlider::valueChanged, this, &CRvVideoCompressionDlg::UpdateControls);
  connect(m_limitRate, &QCheckBox::toggled, this, &CRvVideoCompressionDlg::UpdateControls);
  UpdateControls();
}

void CRvVideoCompressionDlg::UpdateControls() {
  const bool mjpeg = m_compressor->currentIndex() == 1;
  m_quality->setEnabled(mjpeg);
  m_qualityValue->setText(QString::number(m_quality->value()));
  m_limitRate->setEnabled(mjpeg);
  m_dataRate->setEnabled(mjpeg && m_limitRate->isChecked());
}

CRvAviCompression CRvVideoCompressionDlg::Options() const {
  CRvAviCompression options;
  options.codec =
      m_compressor->currentIndex() == 1 ? RvAviCodec::MotionJpeg : RvAviCodec::Uncompressed;
  options.quality = m_quality->value();
  options.dataRate = m_limitRate->isChecked() ? m_dataRate->value() : 0;
  return options;
}

bool CRvCompressionDialogChooser::ChooseCompression(CRvAviCompression* options) {
  CRvVideoCompressionDlg dialog(*options, m_parent);
  dialog.setObjectName(QStringLiteral("videoCompression"));
  if (dialog.exec() != QDialog::Accepted) return false;
  *options = dialog.Options();
  return true;
}
