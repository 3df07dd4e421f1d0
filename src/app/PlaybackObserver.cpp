#include "app/PlaybackObserver.h"

void CRvPlaybackObserver::OnInOutChanged(const CRvInOutRecord* record) {
  m_record.store(record);
  ScheduleRepaint();
}

void CRvPlaybackObserver::OnPositionChanged(std::uint32_t positionIndex) {
  m_positionCalls.fetch_add(1);
  // The bar repaints only for a real move, not for every frame the worker draws.
  if (m_position.exchange(positionIndex) == positionIndex) return;
  CKaFrameBar* bar = m_frameBar;
  if (!bar) return;
  // Queued with the bar as context: dropped if the bar is gone by then.
  QMetaObject::invokeMethod(
      bar, [bar, positionIndex] { bar->SetCurrentIndex(positionIndex); }, Qt::QueuedConnection);
}

void CRvPlaybackObserver::ScheduleRepaint() {
  if (CKaFrameBar* bar = m_frameBar) QMetaObject::invokeMethod(bar, "update", Qt::QueuedConnection);
}
