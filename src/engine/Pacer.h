// The pacer: when the next frame is due at the asked rate, and the rate actually reached.
//
// Threads. SetRate runs on the user-interface thread. Start, WaitForDue and CountFrame run on
// the worker only, which alone owns the due time and the rate sample. The rate, the interval
// and the measured rate are atomics that anyone may read.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/KaClock.h"

class CKaPacer {
 public:
  explicit CKaPacer(CKaClock* clock) : m_clock(clock) {}

  // Interval = step / rate seconds, or one second at rate 0 (UI thread).
  void SetRate(std::uint32_t rate, std::uint32_t step);
  std::uint32_t GetRate() const { return m_rate.load(); }
  double GetInterval() const { return m_interval.load(); }
  double GetMeasuredRate() const { return m_measuredRate.load(); }

  // Worker start: the schedule and the rate sample begin now.
  void Start();
  // Waits until the due time and sets the next one; false when quit was raised meanwhile.
  bool WaitForDue(const std::atomic<bool>& quit);
  // Counts a frame; every few frames the measured rate is taken over them.
  void CountFrame();

 private:
  CKaClock* m_clock;
  std::atomic<std::uint32_t> m_rate{30};
  std::atomic<double> m_interval{1.0 / 30.0};
  std::atomic<double> m_measuredRate{0.0};
  // Worker only.
  double m_dueTime = 0.0;
  double m_lastRateSample = 0.0;
  unsigned m_rateFrames = 0;
};
