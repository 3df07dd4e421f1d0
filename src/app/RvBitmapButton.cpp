#include "app/RvBitmapButton.h"

#include <QPainter>
#include <algorithm>

CRvBitmapButton::CRvBitmapButton(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::NoFocus);  // keys belong to the main window's command table
}

void CRvBitmapButton::SetImages(const QPixmap& normal, const QPixmap& pressed,
                                const QPixmap& checked, const QPixmap& checkedPressed) {
  m_source = nullptr;
  m_images = {normal, pressed, checked, checkedPressed};
  FillDefaults(2 + !checked.isNull() + !checkedPressed.isNull());
  update();
}

void CRvBitmapButton::SetImageSource(ImageSource source, int count) {
  m_source = std::move(source);
  m_sourceCount = std::clamp(count, 1, 4);
  m_imageRatio = 0.0;
  update();
}

void CRvBitmapButton::FillDefaults(int given) {
  if (given < 2 && m_images[1].isNull()) m_images[1] = m_images[0];
  if (given < 3 || m_images[2].isNull()) m_images[2] = m_images[0];
  if (given < 4 || m_images[3].isNull()) m_images[3] = given >= 3 ? m_images[2] : m_images[0];
}

void CRvBitmapButton::RefreshImages() {
  if (!m_source) return;
  const qreal ratio = devicePixelRatioF();
  if (ratio == m_imageRatio && size() == m_imageSize) return;
  m_imageRatio = ratio;
  m_imageSize = size();
  for (int i = 0; i < 4; ++i)
    m_images[std::size_t(i)] = i < m_sourceCount ? m_source(i, size(), ratio) : QPixmap();
  FillDefaults(m_sourceCount);
}

void CRvBitmapButton::SetChecked(bool checked) {
  if (checked == m_checked) return;
  m_checked = checked;
  update();
}

void CRvBitmapButton::SetHighlight(bool highlight) {
  if (highlight == m_highlight) return;
  m_highlight = highlight;
  update();
}

int CRvBitmapButton::ImageIndex() const {
  const bool pressed = isDown();
  if (m_checked || m_highlight) return pressed ? 3 : 2;
  return pressed ? 1 : 0;
}

void CRvBitmapButton::paintEvent(QPaintEvent*) {
  RefreshImages();
  QPainter painter(this);
  const QPixmap& image = m_images[std::size_t(ImageIndex())];
  if (!image.isNull()) painter.drawPixmap(0, 0, image);
  if (isDown()) {
    // Thin sunken edge: dark above and left, light below and right.
    const QRect r = rect().adjusted(0, 0, -1, -1);
    painter.setPen(QColor(0x08, 0x08, 0x08));
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(QColor(0x80, 0x86, 0x90));
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
  }
}
