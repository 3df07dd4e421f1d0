// The main window's side of the engine's announcements: it only stores what it is told (the
// worker calls it) and schedules a repaint of the widget that shows positions.
#pragma once

#include <QPointer>
#include <atomic>

#include "engine/DrawThread.h"
#include "engine/FrameBar.h"

class CRvPlaybackObserver : public CKaPlaybackObserver {
 public:
  // frameBar: follows the position and repaints (queued); may be null.
  explicit CRvPlaybackObserver(CKaFrameBar* frameBar = nullptr) : m_frameBar(frameBar) {}

  void OnInOutChanged(const CRvInOutRecord* record) override;
  void OnPositionChanged(std::uint32_t positionIndex) override;

  const CRvInOutRecord* GetInOutRecord() const { return m_record.load(); }
  // UI thread, while the engine is held: the play list the record belonged to is going.
  void ResetInOutRecord() { m_record.store(nullptr); }
  std::uint32_t GetPosition() const { return m_position.load(); }
  std::uint64_t GetPositionCalls() const { return m_positionCalls.load(); }

 private:
  void ScheduleRepaint();

  CKaFrameBar* m_frameBar;  // outlives the engine that calls us
  std::atomic<const CRvInOutRecord*> m_record{nullptr};
  std::atomic<std::uint32_t> m_position{kRvNone};
  std::atomic<std::uint64_t> m_positionCalls{0};
};
