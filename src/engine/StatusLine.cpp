#include "engine/StatusLine.h"

#include <QPainter>
#include <chrono>
#include <thread>

namespace {
constexpr auto kLongWait = std::chrono::milliseconds(1000);
constexpr auto kWorkerWait = std::chrono::milliseconds(10);

// The lock, taken within the limit, or not owned.
std::unique_lock<std::mutex> LockWithin(std::mutex& mutex, std::chrono::milliseconds limit) {
  if (mutex.try_lock()) return std::unique_lock<std::mutex>(mutex, std::adopt_lock);
  const auto end = std::chrono::steady_clock::now() + limit;
  do {
    std::this_thread::sleep_for(std::chrono::microseconds(50));
    if (mutex.try_lock()) return std::unique_lock<std::mutex>(mutex, std::adopt_lock);
  } while (std::chrono::steady_clock::now() < end);
  return std::unique_lock<std::mutex>(mutex, std::defer_lock);
}
}  // namespace

CKaStatusLine::CKaStatusLine(CKaStatusLineHost* host) : m_host(host) {}

void CKaStatusLine::ShowMessage(const std::string& text, int seconds) {
  auto lock = LockWithin(m_lock, kLongWait);
  if (!lock.owns_lock()) return;
  m_messageUp = true;
  m_displayedText = text;
  if (m_host) {
    m_host->InvalidateStatus();
    m_host->StartStatusTimer(kMessageTimerId, seconds * 1000);
  }
}

void CKaStatusLine::SetDefaultText(const std::string& text) {
  {
    auto lock = LockWithin(m_lock, kWorkerWait);
    if (!lock.owns_lock()) return;  // the next frame brings a new text
    m_defaultText = text;
    if (!m_messageUp) m_displayedText = text;
  }
  if (m_host) m_host->InvalidateStatus();
}

void CKaStatusLine::OnTimer(int timerId) {
  if (timerId != kMessageTimerId) return;
  auto lock = LockWithin(m_lock, kLongWait);
  if (!lock.owns_lock()) return;
  m_displayedText = m_defaultText;
  if (m_host) {
    m_host->InvalidateStatus();
    m_host->KillStatusTimer(kMessageTimerId);
  }
  m_messageUp = false;
}

void CKaStatusLine::Paint(QPainter* painter, const QRect& clientRect) {
  auto lock = LockWithin(m_lock, kLongWait);
  if (!lock.owns_lock()) return;
  // A two-pixel sunken edge: dark shadow outside on top/left, light on bottom/right.
  const QRect r = clientRect;
  const QColor shadow(128, 128, 128), darkShadow(64, 64, 64), light(255, 255, 255),
      face(212, 208, 200);
  auto edge = [&](const QRect& box, const QColor& topLeft, const QColor& bottomRight) {
    painter->setPen(topLeft);
    painter->drawLine(box.left(), box.bottom(), box.left(), box.top());
    painter->drawLine(box.left(), box.top(), box.right(), box.top());
    painter->setPen(bottomRight);
    painter->drawLine(box.right(), box.top(), box.right(), box.bottom());
    painter->drawLine(box.right(), box.bottom(), box.left(), box.bottom());
  };
  edge(r, shadow, light);
  edge(r.adjusted(1, 1, -1, -1), darkShadow, face);
  const QRect inner = r.adjusted(2, 2, -2, -2);
  painter->fillRect(inner, Qt::black);
  painter->setPen(QColor(0x66, 0x99, 0xFF));
  painter->drawText(inner, Qt::AlignCenter | Qt::TextSingleLine,
                    QString::fromUtf8(m_displayedText.data(), qsizetype(m_displayedText.size())));
}

std::string CKaStatusLine::GetDisplayedText() {
  std::lock_guard lock(m_lock);
  return m_displayedText;
}

std::string CKaStatusLine::GetDefaultText() {
  std::lock_guard lock(m_lock);
  return m_defaultText;
}

bool CKaStatusLine::IsMessageUp() {
  std::lock_guard lock(m_lock);
  return m_messageUp;
}
