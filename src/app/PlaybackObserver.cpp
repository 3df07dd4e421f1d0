#include "app/PlaybackObserver.h"

void CRvPlaybackObserver::OnInOutChanged(const CRvInOutRecord* record) {
  m_record.store(record);
  ScheduleRepaint();
}

void CRvPlaybackObserver::OnPositionChanged(std::uint32_t positionIndex) {
  m_position.store(positionIndex);
  m_positionCalls.fetch_add(1);
  ScheduleRepaint();
}

void CRvPlaybackObserver::ScheduleRepaint() {
  // The widget outlives the engine that calls us (the main window deletes the engine first).
  if (QWidget* bar = m_frameBar) {
    QMetaObject::invokeMethod(bar, "update", Qt::QueuedConnection);
  }
}
