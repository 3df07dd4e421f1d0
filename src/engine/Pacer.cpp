#include "engine/Pacer.h"

#include <algorithm>

namespace {

// Pacing sleeps while more than this remains before the due time and spins only the rest:
// accurate to well under a millisecond without burning a core.
constexpr double kSpinWindow = 0.002;
// A due time further ahead than this (after a rate change) is not waited for.
constexpr double kMaxWait = 2.0;
constexpr unsigned kRateSampleFrames = 4;

}  // namespace

void CKaPacer::SetRate(std::uint32_t rate, std::uint32_t step) {
  m_rate.store(rate);
  m_interval.store(rate == 0 ? 1.0 : double(step) / double(rate));
}

void CKaPacer::Start() {
  m_dueTime = m_clock->Now();
  m_lastRateSample = m_dueTime;
  m_rateFrames = 0;
  m_measuredRate.store(0.0);
}

bool CKaPacer::WaitForDue(const std::atomic<bool>& quit) {
  double now = m_clock->Now();
  const double interval = m_interval.load();
  // A due time counts as "far ahead" only beyond the longer of 2 s and the interval itself;
  // otherwise intervals over 2 s (step 3 at 1 fps) would never be waited for at all.
  const double maxWait = std::max(kMaxWait, interval);
  while (now < m_dueTime && (m_dueTime - now) <= maxWait) {
    const double remaining = m_dueTime - now;
    if (remaining >= kSpinWindow + 0.001) {  // at least a whole millisecond to sleep
      m_clock->SleepMs(unsigned((remaining - kSpinWindow) * 1000.0));
    } else {
      m_clock->YieldSlice();
    }
    now = m_clock->Now();
    if (quit.load()) return false;
  }
  const double base = (m_dueTime - now) > maxWait ? now : m_dueTime;
  m_dueTime = base + interval;
  if (m_dueTime < now) m_dueTime = now;
  return true;
}

void CKaPacer::CountFrame() {
  if (++m_rateFrames < kRateSampleFrames) return;
  const double now = m_clock->Now();
  const double elapsed = now - m_lastRateSample;
  m_measuredRate.store(elapsed > 0.0 ? kRateSampleFrames / elapsed : 0.0);
  m_lastRateSample = now;
  m_rateFrames = 0;
}
