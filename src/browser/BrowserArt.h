// The sequence browser's own artwork, drawn with QPainter: the two 16 x 16 list icons and the
// faces of the panel's small buttons.
#pragma once

#include <QAbstractButton>
#include <QIcon>
#include <QPixmap>

// Image 0: a single file; image 1: a numbered sequence of more than one frame.
inline constexpr int kKaImageSingleFile = 0;
inline constexpr int kKaImageSequence = 1;
QPixmap KaListIcon(int image, qreal devicePixelRatio = 1.0);
QIcon KaListIconSet(int image);

// A small owner-drawn button of the panel: its label on a dark face, sunken while pressed.
class CKaPanelButton : public QAbstractButton {
  Q_OBJECT

 public:
  CKaPanelButton(const QString& label, int controlId, const QString& toolTip,
                 QWidget* parent = nullptr);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
