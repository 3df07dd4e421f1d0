#pragma once

#include <cstdint>

// The engine's time source. Pacing reads `Now` (seconds, sub-millisecond resolution);
// loop-pause deadlines read `TickCount` (milliseconds). Tests replace it with a clock whose
// sleeps only advance its own time, so pacing runs without real waiting.
class CKaClock {
 public:
  virtual ~CKaClock() = default;
  virtual double Now() = 0;
  virtual std::uint64_t TickCount() = 0;
  virtual void SleepMs(unsigned milliseconds) = 0;
  // Gives the processor away for a moment (the fine part of pacing, under 0.2 ms).
  virtual void YieldSlice() = 0;
};

// steady_clock for both readings; real sleeps.
class CKaSteadyClock : public CKaClock {
 public:
  double Now() override;
  std::uint64_t TickCount() override;
  void SleepMs(unsigned milliseconds) override;
  void YieldSlice() override;
};
