// The frame bar: one cell per frame of the play list, coloured by whether the frame is in RAM
// and inside the in/out range, with the current frame white, an in/out band on top, the cache
// band below and, while the pointer moves over it, the number of the frame under the pointer.
// Left click/drag moves the position; right drag shifts the whole in/out range.
//
// Threads: a widget of the user-interface thread. The source's flags are written by the
// playback worker and read here with atomic loads; everything else is UI-thread only.
#pragma once

#include <QBasicTimer>
#include <QWidget>
#include <atomic>
#include <cstdint>

#include "sequence/FrameName.h"

// The play-list facts the bar draws, in this slot order. Implemented by the main window over
// the play list it owns.
class CKaFrameBarSource {
 public:
  virtual ~CKaFrameBarSource() = default;
  virtual std::uint32_t GetInPointIndex() const = 0;
  // All bits set when none.
  virtual std::uint32_t GetOutPointIndex() const = 0;
  virtual std::uint32_t GetFrameCount() const = 0;
  // How many frames the frame cache can hold.
  virtual std::uint32_t GetCacheCapacity() const = 0;
  virtual bool IsBusy() const { return false; }  // not used by the bar
  // One flag per frame, non-zero while decoded in RAM; may be null.
  virtual const std::atomic<std::uint8_t>* GetLoadedFlags() const = 0;
  // The frame number of each index; may be null.
  virtual const std::uint32_t* GetFrameNumbers() const = 0;
};

// What the bar asks of its owner.
class CKaFrameBarOwner {
 public:
  virtual ~CKaFrameBarOwner() = default;
  virtual void SetPositionFromBar(std::uint32_t index) = 0;
  virtual void SetInPointFromBar(std::uint32_t index) = 0;
  virtual void SetOutPointFromBar(std::uint32_t index) = 0;
  // The in/out points set above are complete; refresh what shows them.
  virtual void ApplyInOutFromBar() = 0;
};

class CKaFrameBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kLabelTimerMs = 1000;  // timer 12334
  static constexpr std::uint32_t kNone = kRvNone;

  explicit CKaFrameBar(QWidget* parent = nullptr);

  void SetOwner(CKaFrameBarOwner* owner) { m_owner = owner; }
  void SetSource(const CKaFrameBarSource* source);
  void SetCurrentIndex(std::uint32_t index);
  void SetStep(std::uint32_t step);
  std::uint32_t GetCurrentIndex() const { return m_current; }
  std::uint32_t GetStep() const { return m_step; }
  int GetLabelIndex() const { return m_label; }

  // While set, mouse input does nothing (sequence writing).
  void SetInputLocked(bool locked) { m_locked = locked; }
  bool IsInputLocked() const { return m_locked; }
  // Writing progress: done of total frames drawn over the bar; total 0 ends the display.
  void SetProgress(std::uint32_t done, std::uint32_t total);

  // x of the left edge of cell i in a bar of the given width and frame count.
  static int CellX(std::uint32_t i, std::uint32_t count, int left, int right);
  // The index under x (may equal count past the last cell).
  static std::uint32_t IndexAt(int x, std::uint32_t count, int width);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  bool AcceptsInput() const;
  void ShiftRange(std::uint32_t to);
  void PaintProgress(QPainter* painter);

  const CKaFrameBarSource* m_source = nullptr;
  CKaFrameBarOwner* m_owner = nullptr;
  std::uint32_t m_current = 0;
  int m_label = -1;
  std::uint32_t m_step = 1;
  bool m_leftDragging = false;
  bool m_rightDragging = false;
  std::uint32_t m_lastDragIndex = 0;
  bool m_locked = false;
  std::uint32_t m_progressDone = 0;
  std::uint32_t m_progressTotal = 0;
  QBasicTimer m_labelTimer;
};
