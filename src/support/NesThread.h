// Long actions on a worker thread, watched through an observer: the action reports its
// percent and result, the user's thread polls them (for instance from the progress dialog of
// NesCommon55Ui) and may ask the action to cancel.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "support/NesExport.h"
#include "support/NesThreadSafe.h"

// Result codes in the 32-bit HRESULT form: negative means failure. They stay 32-bit values on
// every platform, so a failure code never reads as a positive success.
using NesResult = std::int32_t;
inline constexpr NesResult kNesOk = 0;
// The user cancelled the progress dialog while the action went on.
inline constexpr NesResult kNesErrorCancelled = static_cast<NesResult>(0x8004083FU);
// A call without the object it needs.
inline constexpr NesResult kNesErrorInvalidArg = static_cast<NesResult>(0x80070057U);

class CNesInvokeThread;

// Watches one action on its worker thread. The user's thread calls bStartThread,
// RequestCancel and SetThreadPriority and reads the unlocked queries; the worker calls
// SetPercent and Finished. The observer does not own the action (the worker deletes it when
// the action returns). Whoever owns the observer (its creator, or hrNesShowThreadGUI) must
// not delete it from the worker; the destructor waits for the worker to end, so the worker
// is never left inside Finished on freed memory.
class NES_EXPORT CNesThreadObserver : public CNesThreadSafeClass {
 public:
  static constexpr std::uint32_t kNoThreadId = 0xFFFFFFFFu;

  CNesThreadObserver() = default;
  ~CNesThreadObserver() override;

  // Makes this the action's observer and runs the action on a new worker thread, which
  // deletes it afterwards. False (the action deleted unrun) while an earlier action still
  // runs or when no thread can be made.
  bool bStartThread(std::unique_ptr<CNesInvokeThread> action);
  void RequestCancel();
  // Windows-style priority (-15 idle, -2 lowest ... 2 highest, 15 time critical), applied as
  // the worker's nice value; false when there is no worker or the system refuses (raising
  // priority needs privileges).
  bool SetThreadPriority(int priority);
  // Worker: the action has returned result. Clears the cancel request.
  void Finished(NesResult result);
  // Worker: progress in percent; values above 100 are stored as 100.
  void SetPercent(std::uint32_t percent);

  // Unlocked reads for polling from any thread.
  bool bFinished() const { return !m_running.load(); }
  std::uint32_t nPercent() const { return m_percent.load(); }
  NesResult resResult() const { return m_result.load(); }
  bool bCancelRequested() const { return m_cancel.load(); }
  std::uint32_t nThreadId() const { return m_threadId.load(); }

 private:
  void Join();

  std::atomic<bool> m_cancel{false};
  std::atomic<std::uint32_t> m_percent{0};
  std::atomic<NesResult> m_result{0};
  std::atomic<bool> m_running{false};
  std::atomic<std::uint32_t> m_threadId{kNoThreadId};  // the worker's system thread id
  std::thread m_thread;                                // touched by the owner's thread only
};

// A parsing action's observer, adding the parse error (number, text, line). The worker sets
// the error before Finished; readers look at it after bFinished. A lock keeps the text whole.
class NES_EXPORT CNesParseThreadObserver : public CNesThreadObserver {
 public:
  std::uint32_t nParseError() const;
  std::string strParseError() const;
  std::uint32_t nParseErrorLine() const;
  void SetParseError(std::uint32_t error);
  void SetParseErrorString(const std::string& text);
  void SetParseErrorLine(std::uint32_t line);
  // "Parse error <n> in line <line>: <text>", or "" when no error is set.
  std::string strParseErrorAsText() const;

 private:
  mutable std::mutex m_parseMutex;
  std::uint32_t m_parseError = 0;
  std::string m_parseErrorText;
  std::uint32_t m_parseErrorLine = 0;
};

// An action to run on a worker thread: derive and implement Run. Created by the user's
// thread and handed to CNesThreadObserver::bStartThread, after which the worker owns it and
// deletes it when it returns. Run may poll pObserver()->bCancelRequested() and report
// progress through pObserver()->SetPercent.
class NES_EXPORT CNesInvokeThread : public CNesThreadSafeClass {
 public:
  void SetObserver(CNesThreadObserver* observer) { m_observer = observer; }
  CNesThreadObserver* pObserver() const { return m_observer; }

  // Worker: sets 0 percent, runs the action, sets 100 percent when it succeeded, reports the
  // result to the observer and returns it.
  NesResult nAction();

 protected:
  // The work; a negative result means failure.
  virtual NesResult Run() = 0;

 private:
  CNesThreadObserver* m_observer = nullptr;
};
