#include "engine/KaClock.h"

#include <chrono>
#include <thread>

double CKaSteadyClock::Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::uint64_t CKaSteadyClock::TickCount() {
  using namespace std::chrono;
  return std::uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void CKaSteadyClock::SleepMs(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// A short timed sleep, not sched_yield: with the decode threads keeping both cores busy, a
// yielding worker would wait in the run queue until the next scheduler tick (4 ms here), while
// a sleeping one is woken by its timer and preempts them at once.
void CKaSteadyClock::YieldSlice() { std::this_thread::sleep_for(std::chrono::microseconds(100)); }
