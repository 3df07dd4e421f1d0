#include "sequence/Sequence.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>

#include "support/NesCommon55.h"

namespace {

std::string Format(const char* format, long a, long b = 0, long c = 0) {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, format, a, b, c);
  return buffer;
}

}  // namespace

CRvSequence::CRvSequence(std::string key, std::string directory)
    : m_key(std::move(key)), m_directory(std::move(directory)) {}

CRvSequence::CRvSequence(const CRvSequence& other)
    : m_stepTextStale(other.m_stepTextStale),
      m_stepText(other.m_stepText),
      m_reverse(other.m_reverse),
      m_rangeStart(other.m_rangeStart),
      m_rangeEnd(other.m_rangeEnd),
      m_key(other.m_key),
      m_directory(other.m_directory),
      m_first(other.m_first),
      m_last(other.m_last),
      m_ascending(other.m_ascending) {
  for (const auto& frame : other.m_frames) {
    m_frames.push_back(std::make_unique<CRvFrame>(*frame));
    if (m_ascending)
      m_byNumber.emplace_hint(m_byNumber.end(), frame->GetNumber(), std::prev(m_frames.end()));
  }
}

CRvSequence::~CRvSequence() = default;

bool CRvSequence::AddFrame(std::unique_ptr<CRvFrame>& frame) {
  const std::uint32_t n = frame->GetNumber();
  m_stepTextStale = true;
  if (m_first == kRvNone) {
    m_first = m_last = n;
  } else {
    m_first = std::min(m_first, n);
    m_last = std::max(m_last, n);
  }
  m_rangeStart = m_first;
  m_rangeEnd = m_last;
  return m_ascending ? InsertInOrder(frame) : InsertByWalk(frame);
}

// Same placement as the walk from the back (after the last smaller number), found through the
// number index. In an ascending list that is directly before the first larger number.
bool CRvSequence::InsertInOrder(std::unique_ptr<CRvFrame>& frame) {
  const std::uint32_t n = frame->GetNumber();
  auto it = m_byNumber.lower_bound(n);
  if (it != m_byNumber.end() && it->first == n) return false;
  const FrameList::iterator before = (it == m_byNumber.end()) ? m_frames.end() : it->second;
  const FrameList::iterator entry = m_frames.insert(before, std::move(frame));
  m_byNumber.emplace_hint(it, n, entry);
  return true;
}

bool CRvSequence::InsertByWalk(std::unique_ptr<CRvFrame>& frame) {
  const std::uint32_t n = frame->GetNumber();
  for (auto it = m_frames.end(); it != m_frames.begin();) {
    --it;
    const std::uint32_t number = (*it)->GetNumber();
    if (number == n) return false;
    if (number < n) {
      m_frames.insert(std::next(it), std::move(frame));
      return true;
    }
  }
  m_frames.push_front(std::move(frame));
  return true;
}

void CRvSequence::SetRangeStart(std::uint32_t n) {
  m_rangeStart = (m_first != kRvNone && n < m_first) ? m_first : n;
}

void CRvSequence::SetRangeEnd(std::uint32_t n) {
  m_rangeEnd = (m_last != kRvNone && n > m_last) ? m_last : n;
}

bool CRvSequence::ApplyRange() {
  if (m_frames.empty()) return false;
  while (!m_frames.empty() && m_frames.front()->GetNumber() < m_rangeStart) {
    if (m_ascending) m_byNumber.erase(m_frames.front()->GetNumber());
    m_frames.pop_front();
  }
  if (m_frames.empty()) return false;
  m_first = m_frames.front()->GetNumber();
  while (!m_frames.empty() && m_frames.back()->GetNumber() > m_rangeEnd) {
    if (m_ascending) m_byNumber.erase(m_frames.back()->GetNumber());
    m_frames.pop_back();
  }
  if (m_frames.empty()) return false;
  m_last = m_frames.back()->GetNumber();
  if (m_reverse) {
    m_frames.reverse();
    std::swap(m_first, m_last);
    m_ascending = false;
    m_byNumber.clear();
  }
  return true;
}

std::string CRvSequence::GetDisplayName() const {
  if (m_frames.size() > 1) return m_key;
  if (m_frames.empty()) return "<Empty>";
  std::string name;
  std::string ext;
  SplitPath(m_frames.front()->GetPath(), nullptr, nullptr, &name, &ext);
  return strCombinePath("", "", name, ext);
}

std::string CRvSequence::GetLengthText() const {
  if (m_frames.size() == 1) return "";
  // The numbers print as "%i" would print them: as signed 32-bit values.
  return Format("%li frames (%li-%li)", long(m_frames.size()), long(std::int32_t(m_first)),
                long(std::int32_t(m_last)));
}

std::string CRvSequence::GetStepText() const {
  if (m_frames.size() == 1) return "";
  if (m_frames.empty()) return "<Empty>";
  if (!m_stepTextStale) return m_stepText;
  bool haveStep = false;
  bool variable = false;
  std::uint32_t step = 0;
  std::uint32_t previous = m_frames.front()->GetNumber();
  for (auto it = std::next(m_frames.begin()); it != m_frames.end(); ++it) {
    const std::uint32_t difference = (*it)->GetNumber() - previous;
    previous = (*it)->GetNumber();
    if (haveStep && difference != step) {
      variable = true;
      break;
    }
    step = difference;
    haveStep = true;
  }
  if (variable)
    m_stepText = "variable";
  else if (step == 1)
    m_stepText = "1 frame";
  else
    m_stepText = Format("%li frames", long(std::int32_t(step)));
  m_stepTextStale = false;
  return m_stepText;
}

std::string CRvSequence::GetPathPattern() const {
  return strCombinePath("", m_directory, m_key, "");
}
