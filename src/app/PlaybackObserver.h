// The main window's side of the engine's announcements: it only stores what it is told (the
// worker calls it) and schedules a repaint of the widget that shows positions.
#pragma once

#include <QPointer>
#include <QWidget>
#include <atomic>

#include "engine/DrawThread.h"

class CRvPlaybackObserver : public CKaPlaybackObserver {
 public:
  // frameBar: repainted (queued) after each announcement; may be null.
  explicit CRvPlaybackObserver(QWidget* frameBar = nullptr) : m_frameBar(frameBar) {}

  void OnInOutChanged(const CRvInOutRecord* record) override;
  void OnPositionChanged(std::uint32_t positionIndex) override;

  const CRvInOutRecord* GetInOutRecord() const { return m_record.load(); }
  std::uint32_t GetPosition() const { return m_position.load(); }
  std::uint64_t GetPositionCalls() const { return m_positionCalls.load(); }

 private:
  void ScheduleRepaint();

  QWidget* m_frameBar;
  std::atomic<const CRvInOutRecord*> m_record{nullptr};
  std::atomic<std::uint32_t> m_position{0};
  std::atomic<std::uint64_t> m_positionCalls{0};
};
