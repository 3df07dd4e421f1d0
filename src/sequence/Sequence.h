// The frames of one key in one folder, in frame-number order, with the sub-range and the
// direction in which they are played.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>

#include "sequence/Frame.h"
#include "sequence/FrameName.h"

class CRvSequence {
 public:
  using FrameList = std::list<std::unique_ptr<CRvFrame>>;

  // An empty sequence: first = last = kRvNone, range 0..0, not reversed.
  CRvSequence(std::string key, std::string directory);
  // Copies everything, every frame without its bitmap.
  CRvSequence(const CRvSequence& other);
  CRvSequence& operator=(const CRvSequence&) = delete;
  ~CRvSequence();

  // Takes the frame when no frame of its number is present and returns true. Otherwise
  // returns false and the caller keeps the frame. Either way the range is reset to first..last.
  bool AddFrame(std::unique_ptr<CRvFrame>& frame);

  // Range start = n, but not below first; range end = n, but not above last.
  void SetRangeStart(std::uint32_t n);
  void SetRangeEnd(std::uint32_t n);
  // Drops the frames outside the range and, when reversed, turns the order around (first and
  // last swap). False when no frame remains.
  bool ApplyRange();

  // Column texts of the browser: name, "N frames (a-b)", step ("1 frame", "N frames",
  // "variable") and the folder joined with the key.
  std::string GetDisplayName() const;
  std::string GetLengthText() const;
  std::string GetStepText() const;
  std::string GetPathPattern() const;

  const std::string& GetKey() const { return m_key; }
  const std::string& GetDirectory() const { return m_directory; }
  std::uint32_t GetFirst() const { return m_first; }
  std::uint32_t GetLast() const { return m_last; }
  std::uint32_t GetRangeStart() const { return m_rangeStart; }
  std::uint32_t GetRangeEnd() const { return m_rangeEnd; }
  bool IsReverse() const { return m_reverse; }
  void SetReverse(bool reverse) { m_reverse = reverse; }
  std::uint32_t GetFrameCount() const { return std::uint32_t(m_frames.size()); }
  const FrameList& GetFrames() const { return m_frames; }

 private:
  bool InsertInOrder(std::unique_ptr<CRvFrame>& frame);
  bool InsertByWalk(std::unique_ptr<CRvFrame>& frame);

  mutable bool m_stepTextStale = false;
  mutable std::string m_stepText;
  bool m_reverse = false;
  std::uint32_t m_rangeStart = 0;
  std::uint32_t m_rangeEnd = 0;
  std::string m_key;
  std::string m_directory;
  std::uint32_t m_first = kRvNone;
  std::uint32_t m_last = kRvNone;
  FrameList m_frames;

  // Frame number -> list entry, so inserting into a long sequence costs a tree lookup instead
  // of a list walk. Kept only while the list is in ascending order (dropped once a reversed
  // range is applied; later insertions then walk as before).
  std::map<std::uint32_t, FrameList::iterator> m_byNumber;
  bool m_ascending = true;
};
