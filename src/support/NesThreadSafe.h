// The semaphore base of the support library's thread-safe classes and the first-in-first-out
// queues built on it. Queues, message pipes, byte pipes and thread observers all take their
// one lock through WaitReady/SignalReady, so every such object is guarded the same way.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "support/NesExport.h"

class CNesMsg;

// One lock per object, taken with a time-out so that a stuck peer shows up as a failed
// operation instead of a hung thread. Any thread may call WaitReady; SignalReady gives the
// lock back (normally from the thread that took it). Not re-entrant: a thread holding it
// must not wait for it again, or it waits out the time-out and fails.
class NES_EXPORT CNesThreadSafeClass {
 public:
  static constexpr std::chrono::milliseconds kWaitReadyTimeout{5000};

  CNesThreadSafeClass() = default;
  virtual ~CNesThreadSafeClass() = default;
  CNesThreadSafeClass(const CNesThreadSafeClass&) = delete;
  CNesThreadSafeClass& operator=(const CNesThreadSafeClass&) = delete;

  // True when the lock was taken within kWaitReadyTimeout. On false the caller must not touch
  // what the lock guards (the operation fails instead of going on unguarded).
  bool WaitReady() const {
    std::unique_lock lock(m_mutex);
    if (!m_freed.wait_for(lock, kWaitReadyTimeout, [this] { return !m_taken; })) return false;
    m_taken = true;
    return true;
  }
  void SignalReady() const {
    {
      std::lock_guard lock(m_mutex);
      m_taken = false;
    }
    m_freed.notify_one();
  }

 private:
  // A binary semaphore; built from a mutex and a condition rather than a timed mutex so that
  // the thread sanitizer follows it.
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_freed;
  mutable bool m_taken = false;
};

// Holds an object's WaitReady for one scope; Locked() says whether it was taken.
class CNesReadyLock {
 public:
  explicit CNesReadyLock(const CNesThreadSafeClass& object)
      : m_object(object), m_locked(object.WaitReady()) {}
  ~CNesReadyLock() {
    if (m_locked) m_object.SignalReady();
  }
  CNesReadyLock(const CNesReadyLock&) = delete;
  CNesReadyLock& operator=(const CNesReadyLock&) = delete;
  bool Locked() const { return m_locked; }

 private:
  const CNesThreadSafeClass& m_object;
  bool m_locked;
};

// A queue shared between threads: any thread may Put and bGet. An operation that cannot take
// the lock within its time-out fails (Put drops the element, bGet returns false), so the queue
// never changes unguarded. The queue owns what is in it.
template <typename T>
class CNesThreadFiFo : public CNesThreadSafeClass {
 public:
  // False when the lock timed out; the element is then destroyed.
  bool Put(T element) {
    CNesReadyLock lock(*this);
    if (!lock.Locked()) return false;
    m_elements.push_back(std::move(element));
    return true;
  }
  // Takes the oldest element; false when the queue is empty or the lock timed out.
  bool bGet(T* element) {
    CNesReadyLock lock(*this);
    if (!lock.Locked() || m_elements.empty()) return false;
    *element = std::move(m_elements.front());
    m_elements.pop_front();
    return true;
  }
  std::size_t Count() const {
    CNesReadyLock lock(*this);
    return lock.Locked() ? m_elements.size() : 0;
  }

 protected:
  std::deque<T> m_elements;  // guarded by WaitReady
};

// Messages waiting to be sent or taken by the user; queued messages die with the queue.
class NES_EXPORT CNesMessageFiFo : public CNesThreadFiFo<std::unique_ptr<CNesMsg>> {
 public:
  CNesMessageFiFo();
  ~CNesMessageFiFo() override;
};

// Bytes received but not yet turned into messages.
class NES_EXPORT CNesByteFiFo : public CNesThreadFiFo<std::uint8_t> {
 public:
  // Appends count bytes in one locked step; false when the lock timed out.
  bool PutBytes(const std::uint8_t* bytes, std::size_t count);
  // Copies the first count bytes without taking them; false when fewer are queued.
  bool bCopyIntoBufferWithoutRemoving(std::uint8_t* buffer, std::size_t count) const;
  // Takes the first count bytes into buffer; false (nothing taken) when fewer are queued.
  bool bGetBytes(std::uint8_t* buffer, std::size_t count);
  // Drops everything queued (used when the stream has lost its framing).
  void Clear();
};
