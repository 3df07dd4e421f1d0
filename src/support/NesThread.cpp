#include "support/NesThread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

CNesThreadObserver::~CNesThreadObserver() { Join(); }

void CNesThreadObserver::Join() {
  if (!m_thread.joinable()) return;
  if (m_thread.get_id() == std::this_thread::get_id())
    m_thread.detach();  // deleted by its own worker: nothing is left to wait for
  else
    m_thread.join();
}

bool CNesThreadObserver::bStartThread(std::unique_ptr<CNesInvokeThread> action) {
  if (!action) return false;
  CNesReadyLock lock(*this);
  if (!lock.Locked() || m_running) return false;
  Join();  // the previous worker has finished; collect it
  action->SetObserver(this);
  m_running = true;
  try {
    m_thread = std::thread([this, work = std::move(action)]() mutable {
      m_threadId = static_cast<std::uint32_t>(::gettid());
      work->nAction();
      work.reset();
    });
  } catch (const std::system_error&) {
    m_running = false;
    return false;
  }
  return true;
}

void CNesThreadObserver::RequestCancel() {
  CNesReadyLock lock(*this);
  m_cancel = true;
}

bool CNesThreadObserver::SetThreadPriority(int priority) {
  CNesReadyLock lock(*this);
  const std::uint32_t tid = m_threadId;
  if (!lock.Locked() || tid == kNoThreadId) return false;
  int nice = 0;
  if (priority <= -15)
    nice = 19;
  else if (priority >= 15)
    nice = -20;
  else
    nice = std::clamp(-priority * 5, -20, 19);
  return ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0;
}

void CNesThreadObserver::Finished(NesResult result) {
  CNesReadyLock lock(*this);
  m_result = result;
  m_threadId = kNoThreadId;
  m_cancel = false;
  m_running = false;  // last, so a poller that sees it finished also sees the result
}

void CNesThreadObserver::SetPercent(std::uint32_t percent) {
  CNesReadyLock lock(*this);
  m_percent = std::min<std::uint32_t>(percent, 100);
}

// --- parse observer -----------------------------------------------------------------------

std::uint32_t CNesParseThreadObserver::nParseError() const {
  std::lock_guard lock(m_parseMutex);
  return m_parseError;
}
std::string CNesParseThreadObserver::strParseError() const {
  std::lock_guard lock(m_parseMutex);
  return m_parseErrorText;
}
std::uint32_t CNesParseThreadObserver::nParseErrorLine() const {
  std::lock_guard lock(m_parseMutex);
  return m_parseErrorLine;
}
void CNesParseThreadObserver::SetParseError(std::uint32_t error) {
  std::lock_guard lock(m_parseMutex);
  m_parseError = error;
}
void CNesParseThreadObserver::SetParseErrorString(const std::string& text) {
  std::lock_guard lock(m_parseMutex);
  m_parseErrorText = text;
}
void CNesParseThreadObserver::SetParseErrorLine(std::uint32_t line) {
  std::lock_guard lock(m_parseMutex);
  m_parseErrorLine = line;
}
std::string CNesParseThreadObserver::strParseErrorAsText() const {
  std::lock_guard lock(m_parseMutex);
  if (m_parseError == 0 && m_parseErrorText.empty()) return "";
  return "Parse error " + std::to_string(m_parseError) + " in line " +
         std::to_string(m_parseErrorLine) + ": " + m_parseErrorText;
}

// --- action -------------------------------------------------------------------------------

NesResult CNesInvokeThread::nAction() {
  CNesReadyLock lock(*this);  // only the worker runs an action; the lock marks it busy
  if (m_observer) m_observer->SetPercent(0);
  const NesResult result = Run();
  if (m_observer) {
    if (result >= 0) m_observer->SetPercent(100);
    m_observer->Finished(result);
  }
  return result;
}
