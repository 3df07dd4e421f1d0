#include "sequence/PlayList.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "sequence/SequenceList.h"
#include "support/NesCommon55.h"

namespace {

constexpr std::chrono::milliseconds kLockTimeout{1000};

// A decimal range bound of a play-list line. A value no frame number can have (negative or
// beyond 32 bits) counts as unparsable and leaves the range as found, instead of wrapping into
// an unrelated number that would silently drop the sequence.
bool ParseRangeNumber(const std::string& token, std::uint32_t* number) {
  long value = 0;
  if (!bString2Long(token, &value, nullptr, 10)) return false;
  if (value < 0 || static_cast<unsigned long>(value) > kRvNone) return false;
  *number = static_cast<std::uint32_t>(value);
  return true;
}

}  // namespace

CRvPlayList::CRvPlayList() { ReadCacheSettings(); }

CRvPlayList::CRvPlayList(const CRvPlayList& other) {
  Lock lock(other.m_lock);  // copying while another thread edits would tear the list
  m_name = other.m_name;
  m_frameCount = other.m_frameCount.load();
  for (const auto& sequence : other.m_sequences)
    m_sequences.push_back(std::make_unique<CRvSequence>(*sequence));
  m_decoder = other.m_decoder;
  m_ramPercent = other.m_ramPercent.load();
  m_physicalMemory = other.m_physicalMemory.load();
}

CRvPlayList::~CRvPlayList() {
  Lock lock(m_lock);
  m_cacheOrder.clear();
  m_sequences.clear();
}

CRvPlayList::Lock CRvPlayList::TakeLock() const {
#if defined(__SANITIZE_THREAD__)
  // The thread sanitizer of this toolchain does not see locks taken through the monotonic-clock
  // wait that try_lock_for uses, and would then report every guarded access as a race. The
  // wall-clock wait is seen; a clock jump only matters in sanitizer runs.
  return Lock(m_lock, std::chrono::system_clock::now() + kLockTimeout);
#else
  return Lock(m_lock, kLockTimeout);
#endif
}

// --- building ---------------------------------------------------------------------------------

void CRvPlayList::AddSequence(std::unique_ptr<CRvSequence> sequence) {
  if (!sequence) return;
  Lock lock(m_lock);
  m_frameCount += sequence->GetFrameCount();
  m_sequences.push_back(std::move(sequence));
}

bool CRvPlayList::AddSequenceByFile(const std::string& path, CRvSequence** sequence) {
  std::unique_ptr<CRvSequence> found = RvLookupSequence(path);
  if (!found) return false;
  CRvSequence* added = found.get();
  AddSequence(std::move(found));
  if (sequence) *sequence = added;
  return true;
}

void CRvPlayList::RemoveSequence(CRvSequence* sequence) {
  for (auto it = m_sequences.begin(); it != m_sequences.end(); ++it) {
    if (it->get() != sequence) continue;
    m_frameCount -= sequence->GetFrameCount();
    m_sequences.erase(it);
    return;
  }
}

void CRvPlayList::MoveSequenceUp(CRvSequence* sequence) {
  for (auto it = m_sequences.begin(); it != m_sequences.end(); ++it) {
    if (it->get() != sequence) continue;
    if (it != m_sequences.begin()) std::prev(it)->swap(*it);
    return;
  }
}

void CRvPlayList::MoveSequenceDown(CRvSequence* sequence) {
  for (auto it = m_sequences.begin(); it != m_sequences.end(); ++it) {
    if (it->get() != sequence) continue;
    auto next = std::next(it);
    if (next != m_sequences.end()) next->swap(*it);
    return;
  }
}

void CRvPlayList::NumberFrames() {
  Lock lock(m_lock);
  ReadCacheSettings();
  // Bitmaps of frames about to be dropped must not stay in the cache order.
  for (CRvFrame* frame : m_cacheOrder) frame->m_inCache = false;
  m_cacheOrder.clear();
  m_cachedCount = 0;
  m_current = m_in = m_out = Position{};
  m_inIndex = 0;
  m_outIndex = kRvNone;
  m_loaded.reset();
  m_frameNumbers.clear();
  m_frameCount = 0;

  std::uint32_t count = 0;
  for (auto it = m_sequences.begin(); it != m_sequences.end();) {
    if (!(*it)->ApplyRange()) {
      it = m_sequences.erase(it);
      continue;
    }
    count += (*it)->GetFrameCount();
    ++it;
  }
  m_loaded = std::make_unique<std::atomic<std::uint8_t>[]>(count);
  m_frameNumbers.assign(count, 0);
  m_byIndex.assign(count, nullptr);
  m_rank.assign(count, kRvNone);
  m_rankedOrder.clear();
  m_pinned = nullptr;
  m_generation.fetch_add(1);
  std::uint32_t index = 0;
  for (const auto& sequence : m_sequences) {
    for (const auto& frame : sequence->GetFrames()) {
      frame->SetIndex(index);
      m_byIndex[index] = frame.get();
      frame->m_failedGeneration = 0;
      frame->Unload();  // the cache starts empty, so no frame may keep a bitmap
      m_loaded[index].store(0);
      m_frameNumbers[index] = frame->GetNumber();
      ++index;
    }
  }
  m_frameCount = count;
  GoToFirstLocked();
  m_largestFrameSize = 0.0;
}

std::string CRvPlayList::GetTitle() const {
  if (!m_name.empty()) return m_name;
  std::string title;
  for (const auto& sequence : m_sequences) title += " - " + sequence->GetKey();
  return title;
}

// --- the play-list file -------------------------------------------------------------------------

bool CRvPlayList::LoadFromFile(const std::string& path, std::string* errors) {
  try {
    return LoadFromFileUnguarded(path, errors);
  } catch (const std::exception&) {
    *errors = "General error\n\n";
    return false;
  }
}

bool CRvPlayList::LoadFromFileUnguarded(const std::string& path, std::string* errors) {
  errors->clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *errors = std::string(std::strerror(errno)) + "\n";
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string token;
    if (!bGetNextToken(&line, "\t", &token) || token.empty()) continue;
    CRvSequence* sequence = nullptr;
    if (!AddSequenceByFile(token, &sequence)) {
      *errors += "Not found: " + token + "\n";
      continue;
    }
    std::uint32_t number = 0;
    if (bGetNextToken(&line, "\t", &token) && ParseRangeNumber(token, &number))
      sequence->SetRangeStart(number);
    if (bGetNextToken(&line, "\t", &token) && ParseRangeNumber(token, &number))
      sequence->SetRangeEnd(number);
    if (bGetNextToken(&line, "\t", &token) && bCmpNoCase(token, "RV")) sequence->SetReverse(true);
  }
  if (in.bad()) {
    *errors = std::string(std::strerror(errno ? errno : EIO)) + "\n";
    return false;
  }
  if (m_sequences.empty()) {
    *errors += "\nPlaylist is empty\n";
    return false;
  }
  return true;
}

bool CRvPlayList::SaveToFile(const std::string& path, std::string* errors) const {
  try {
    return SaveToFileUnguarded(path, errors);
  } catch (const std::exception&) {
    *errors = "General error\n\n";
    return false;
  }
}

bool CRvPlayList::SaveToFileUnguarded(const std::string& path, std::string* errors) const {
  errors->clear();
  std::string text;
  {
    Lock lock(m_lock);
    for (const auto& sequence : m_sequences) {
      char numbers[64];
      std::snprintf(numbers, sizeof numbers, "\t%i\t%i", int(sequence->GetRangeStart()),
                    int(sequence->GetRangeEnd()));
      text += sequence->GetPathPattern() + numbers;
      if (sequence->IsReverse()) text += "\tRV";
      text += "\r\n";
    }
  }
  // Written beside the target and renamed over it, so a failed save leaves the old file whole.
  const std::string temporary = path + ".tmp" + std::to_string(::getpid());
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) {
    *errors = std::string(std::strerror(errno)) + "\n";
    return false;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  int error = written ? 0 : errno;
  if (std::fflush(file) != 0 && error == 0) error = errno;
  if (::fsync(::fileno(file)) != 0 && error == 0) error = errno;
  if (std::fclose(file) != 0 && error == 0) error = errno;
  if (!written && error == 0) error = EIO;
  if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    std::remove(temporary.c_str());
    *errors = std::string(std::strerror(error)) + "\n";
    return false;
  }
  return true;
}

// --- position and points -------------------------------------------------------------------------

CRvFrame* CRvPlayList::GetCurrentFrame() const {
  return m_current.seq ? m_current.frame->get() : nullptr;
}

void CRvPlayList::SetPosition(const Position& position) {
  m_current = position;
  if (m_current.seq) {
    const CRvFrame* frame = m_current.frame->get();
    m_currentNumber = frame->GetNumber();
    m_currentIndex = frame->GetIndex();
  }
  RefreshSnapshot();
}

void CRvPlayList::RefreshSnapshot() {
  const bool have = m_current.seq != nullptr;
  bool first = false;
  bool last = false;
  if (have) {
    first = m_current.seqIt == m_sequences.begin() &&
            m_current.frame == m_current.seq->GetFrames().begin();
    last = std::next(m_current.seqIt) == m_sequences.end() &&
           std::next(m_current.frame) == m_current.seq->GetFrames().end();
  }
  m_atFirst = first;
  m_atLast = last;
  m_atIn = have && m_in.seq && m_current == m_in;
  m_atOut = have && m_out.seq && m_current == m_out;
}

bool CRvPlayList::GoToFirstLocked() {
  for (auto it = m_sequences.begin(); it != m_sequences.end(); ++it) {
    if ((*it)->GetFrames().empty()) continue;
    SetPosition(Position{it->get(), it, (*it)->GetFrames().begin()});
    return true;
  }
  SetPosition(Position{});
  return false;
}

bool CRvPlayList::GoToLastLocked() {
  for (auto it = m_sequences.end(); it != m_sequences.begin();) {
    --it;
    if ((*it)->GetFrames().empty()) continue;
    SetPosition(Position{it->get(), it, std::prev((*it)->GetFrames().end())});
    return true;
  }
  SetPosition(Position{});
  return false;
}

bool CRvPlayList::GoToFirst() {
  Lock lock = TakeLock();
  return lock.owns_lock() && GoToFirstLocked();
}

bool CRvPlayList::GoToLast() {
  Lock lock = TakeLock();
  return lock.owns_lock() && GoToLastLocked();
}

bool CRvPlayList::GoToInPoint() {
  Lock lock = TakeLock();
  if (!lock.owns_lock()) return false;
  if (!m_in.seq) return GoToFirstLocked();
  SetPosition(m_in);
  return true;
}

bool CRvPlayList::GoToOutPoint() {
  Lock lock = TakeLock();
  if (!lock.owns_lock()) return false;
  if (!m_out.seq) return GoToLastLocked();
  SetPosition(m_out);
  return true;
}

bool CRvPlayList::NextLocked(bool ignoreInOut) {
  if (!m_current.seq) {
    if (m_in.seq && !ignoreInOut) {
      SetPosition(m_in);
      return true;
    }
    return GoToFirstLocked();
  }
  if (!ignoreInOut && m_out.seq && m_current == m_out) return false;
  Position next = m_current;
  ++next.frame;
  while (next.frame == next.seq->GetFrames().end()) {
    ++next.seqIt;
    if (next.seqIt == m_sequences.end()) return false;  // the position stays where it was
    next.seq = next.seqIt->get();
    next.frame = next.seq->GetFrames().begin();
  }
  SetPosition(next);
  return true;
}

bool CRvPlayList::PreviousLocked(bool ignoreInOut) {
  if (!m_current.seq) {
    if (m_out.seq && !ignoreInOut) {
      SetPosition(m_out);
      return true;
    }
    return GoToLastLocked();
  }
  if (!ignoreInOut && m_in.seq && m_current == m_in) return false;
  Position previous = m_current;
  while (previous.frame == previous.seq->GetFrames().begin()) {
    if (previous.seqIt == m_sequences.begin()) return false;
    --previous.seqIt;
    previous.seq = previous.seqIt->get();
    previous.frame = previous.seq->GetFrames().end();
  }
  --previous.frame;
  SetPosition(previous);
  return true;
}

bool CRvPlayList::Next(bool ignoreInOut) {
  Lock lock = TakeLock();
  return lock.owns_lock() && NextLocked(ignoreInOut);
}

bool CRvPlayList::Previous(bool ignoreInOut) {
  Lock lock = TakeLock();
  return lock.owns_lock() && PreviousLocked(ignoreInOut);
}

bool CRvPlayList::GoToIndex(std::uint32_t index) {
  Lock lock = TakeLock();
  if (!lock.owns_lock()) return false;
  if (!m_current.seq && !NextLocked(true)) return false;
  while (m_current.seq && m_currentIndex.load() != index) {
    const bool moved = m_currentIndex.load() < index ? NextLocked(true) : PreviousLocked(true);
    if (!moved) return false;
  }
  return m_current.seq != nullptr;
}

bool CRvPlayList::SetPositionByIndex(std::uint32_t index) {
  Lock lock = TakeLock();
  if (!lock.owns_lock()) return false;
  for (auto seqIt = m_sequences.begin(); seqIt != m_sequences.end(); ++seqIt) {
    const auto& frames = (*seqIt)->GetFrames();
    for (auto it = frames.begin(); it != frames.end(); ++it) {
      if ((*it)->GetIndex() != index) continue;
      SetPosition(Position{seqIt->get(), seqIt, it});
      return true;
    }
  }
  return false;
}

bool CRvPlayList::SetPointLocked(std::uint32_t index, bool keep, bool in) {
  if (index != kRvNone) GoToIndex(index);
  Position& point = in ? m_in : m_out;
  if (point.seq && m_current == point) {
    if (keep) return true;
    point = Position{};
    if (in)
      m_inIndex = 0;
    else
      m_outIndex = kRvNone;
    RefreshSnapshot();
    return false;
  }
  // Without a position there is nothing to mark.
  if (!m_current.seq) return false;
  point = m_current;
  if (in)
    m_inIndex = m_currentIndex.load();
  else
    m_outIndex = m_currentIndex.load();
  RefreshSnapshot();
  return true;
}

bool CRvPlayList::SetInPoint(std::uint32_t index, bool keep) {
  Lock lock = TakeLock();
  return lock.owns_lock() && SetPointLocked(index, keep, true);
}

bool CRvPlayList::SetOutPoint(std::uint32_t index, bool keep) {
  Lock lock = TakeLock();
  return lock.owns_lock() && SetPointLocked(index, keep, false);
}

bool CRvPlayList::ClearInOut() {
  Lock lock = TakeLock();
  if (!lock.owns_lock()) return false;
  m_in = m_out = Position{};
  m_inIndex = 0;
  m_outIndex = kRvNone;
  RefreshSnapshot();
  return true;
}

std::uint32_t CRvPlayList::GetInPointIndex() const { return m_inIndex.load(); }

std::uint32_t CRvPlayList::GetOutPointIndex() const {
  const std::uint32_t out = m_outIndex.load();
  return out == kRvNone ? m_frameCount.load() - 1 : out;
}

// --- budget settings ----------------------------------------------------------------------------

std::uint64_t CRvPlayList::RvPhysicalMemory() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return std::uint64_t(pages) * std::uint64_t(pageSize);
}

void CRvPlayList::ReadCacheSettings() {
  SetRAMPercent(iReadFromIniFile(strSettingsPath() + "settings.ini", "Playback", "RAMPercent", 80));
}

void CRvPlayList::SetRAMPercent(int percent) {
  m_ramPercent = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
}

void CRvPlayList::SetPhysicalMemory(std::uint64_t bytes) { m_physicalMemory = bytes; }

std::uint32_t CRvPlayList::GetCacheCapacity() const {
  const double largest = m_largestFrameSize.load();
  if (largest <= 0.0) return std::max<std::uint32_t>(m_frameCount.load(), 1);
  const double frames = BudgetMegabytes() / largest;
  if (frames < 1.0) return 1;
  if (frames >= double(kRvNone)) return kRvNone - 1;
  return std::uint32_t(frames);
}

double CRvPlayList::BudgetMegabytes() const {
  // Asked once per process: the figure does not change, and the query is a system call that a
  // cache hit must not make.
  static const std::uint64_t machine = RvPhysicalMemory();
  std::uint64_t physical = m_physicalMemory.load();
  if (physical == 0) physical = machine;
  return double(physical) / 1048576.0 * double(m_ramPercent.load()) / 100.0;
}
