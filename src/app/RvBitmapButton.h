// The owner-drawn button of the main window and its panels: four images (normal, pressed,
// checked, checked and pressed), a checked flag and a highlight flag of its own, a thin sunken
// edge while pressed, and a tool tip.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <array>
#include <functional>

class CRvBitmapButton : public QAbstractButton {
  Q_OBJECT

 public:
  // Draws image `index` (0..3) at the given size and device-pixel ratio.
  using ImageSource = std::function<QPixmap(int index, QSize size, qreal devicePixelRatio)>;

  explicit CRvBitmapButton(QWidget* parent = nullptr);

  // Images: a missing third one is the first, a missing fourth the third (else the first).
  void SetImages(const QPixmap& normal, const QPixmap& pressed, const QPixmap& checked = {},
                 const QPixmap& checkedPressed = {});
  // Images drawn on demand, again whenever the device-pixel ratio changes. `count` says how
  // many of the four the source draws; the rest follow the rule above.
  void SetImageSource(ImageSource source, int count);

  void SetChecked(bool checked);
  bool IsChecked() const { return m_checked; }
  void SetHighlight(bool highlight);
  bool IsHighlight() const { return m_highlight; }
  void SetToolTipText(const QString& text) { setToolTip(text); }

  // The image index the current state shows.
  int ImageIndex() const;
  const QPixmap& Image(int index) const { return m_images[std::size_t(index)]; }

  QSize sizeHint() const override { return QSize(20, 20); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void FillDefaults(int given);
  void RefreshImages();

  std::array<QPixmap, 4> m_images;
  ImageSource m_source;
  int m_sourceCount = 0;
  qreal m_imageRatio = 0.0;
  QSize m_imageSize;
  bool m_checked = false;
  bool m_highlight = false;
};
