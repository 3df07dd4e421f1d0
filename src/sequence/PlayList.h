// The play list: ordered sequences played as one stream of frames, with the play position, in
// and out points and the frame cache. The one object of the sequence model shared between the
// user-interface thread and the playback worker; it carries its own lock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sequence/Sequence.h"

class CFrameDecoder;
class CRvCrop;
class CRvResample;

// The read-only view of a play list's in and out points, frame count, loaded flags and frame
// numbers that the frame bar draws from. Operations in this slot order.
class CRvInOutRecord {
 public:
  virtual ~CRvInOutRecord() = default;
  // Index of the in point; 0 when none is set.
  virtual std::uint32_t GetInPointIndex() const = 0;
  // Index of the out point, or frame count - 1 when none is set.
  virtual std::uint32_t GetOutPointIndex() const = 0;
  virtual std::uint32_t GetFrameCount() const = 0;
  // Always true: the record describes a play list.
  virtual bool IsAvailable() const = 0;
  // Always false: a play list is never busy from the record's point of view.
  virtual bool IsBusy() const = 0;
  // One flag per frame index, non-zero while that frame is decoded in RAM; null before the
  // play list is numbered. Written by the playback worker, so read each flag with load().
  virtual const std::atomic<std::uint8_t>* GetLoadedFlags() const = 0;
  // The frame number of every index; null before the play list is numbered.
  virtual const std::uint32_t* GetFrameNumbers() const = 0;
};

// What a read-ahead decode came to.
enum class RvDecodeResult { Decoded, NotNeeded, BudgetFull, Failed };

class CRvPlayList : public CRvInOutRecord {
 public:
  using SequenceList = std::list<std::unique_ptr<CRvSequence>>;

  // Empty: no sequences, no position, no points, out index kRvNone, empty name.
  CRvPlayList();
  // Copies the name and every sequence (without bitmaps); position, points and cache start
  // empty until NumberFrames.
  CRvPlayList(const CRvPlayList& other);
  CRvPlayList& operator=(const CRvPlayList&) = delete;
  ~CRvPlayList() override;

  // --- building (browser and opener; a numbered play list is not edited again) -------------
  // Appends the sequence and adds its frames to the frame count. Takes the lock.
  void AddSequence(std::unique_ptr<CRvSequence> sequence);
  // Looks up the sequence of path (a frame, the key or a typed pattern) and appends a copy.
  // sequence (when given) receives the appended sequence. False when nothing matches.
  bool AddSequenceByFile(const std::string& path, CRvSequence** sequence = nullptr);
  // Unlinks and deletes it. No lock: only for play lists that are not being played.
  void RemoveSequence(CRvSequence* sequence);
  // Swap with the neighbour; nothing at the respective end. No lock, as RemoveSequence.
  void MoveSequenceUp(CRvSequence* sequence);
  void MoveSequenceDown(CRvSequence* sequence);
  // Applies every sequence's range (dropping sequences left empty), numbers all frames with one
  // running index, allocates the loaded flags and frame numbers, goes to the first frame and
  // resets the cache's largest frame size.
  void NumberFrames();
  const SequenceList& GetSequences() const { return m_sequences; }
  // The name when set, else " - " + key for each sequence.
  std::string GetTitle() const;
  const std::string& GetName() const { return m_name; }
  void SetName(const std::string& name) { m_name = name; }

  // --- the play-list file (.rvpl): one line per sequence, TAB-separated pattern, range start,
  // range end and "RV" when reversed. Both return false with a text for the user in errors.
  bool LoadFromFile(const std::string& path, std::string* errors);
  bool SaveToFile(const std::string& path, std::string* errors) const;

  // --- position and points: each takes the lock for at most 1000 ms and does nothing
  // (returning false) without it. The lock is re-entrant within a thread. ------------------
  bool GoToFirst();
  bool GoToLast();
  // The in (out) point, or the first (last) frame when that point is not set.
  bool GoToInPoint();
  bool GoToOutPoint();
  // One frame on, across sequence boundaries. Without a position: the in point (unless ignored)
  // or the first frame. Stops (false, no move) at the out point unless ignored, and at the end.
  bool Next(bool ignoreInOut);
  // Mirror of Next: the out point or the last frame; stops at the in point and the start.
  bool Previous(bool ignoreInOut);
  // Walks with Next/Previous, ignoring in and out, until the current index is index or a move
  // fails.
  bool GoToIndex(std::uint32_t index);
  // Makes the frame with that index current; no change when no frame has it.
  bool SetPositionByIndex(std::uint32_t index);
  // Unless index is kRvNone, goes there first. Then sets the point at the position; when the
  // point is already there it is cleared (result false), or with keep left as it is (true).
  bool SetInPoint(std::uint32_t index, bool keep);
  bool SetOutPoint(std::uint32_t index, bool keep);
  bool ClearInOut();

  // Lock-free position queries (a snapshot kept current by every move and point change).
  bool IsAtLastFrame() const { return m_atLast.load(); }
  bool IsAtFirstFrame() const { return m_atFirst.load(); }
  bool IsAtOutPoint() const { return m_atOut.load(); }
  bool IsAtInPoint() const { return m_atIn.load(); }

  // Direct reads without the lock.
  std::uint32_t GetCurrentFrameNumber() const { return m_currentNumber.load(); }
  std::uint32_t GetCurrentIndex() const { return m_currentIndex.load(); }
  std::uint32_t GetInIndex() const { return m_inIndex.load(); }
  // kRvNone when no out point is set.
  std::uint32_t GetOutIndex() const { return m_outIndex.load(); }
  // The current frame, or null. Take the lock (or hold the worker) while using it.
  CRvFrame* GetCurrentFrame() const;

  // --- frame cache -------------------------------------------------------------------------
  // The decoder every cache miss uses: the program's one frame decoder, not owned. Set before
  // the first fetch; without one every miss fails.
  void SetFrameDecoder(CFrameDecoder* decoder) { m_decoder = decoder; }

  // Hands out the current frame, decoding (and cropping and resampling) it when not in RAM.
  // frame receives the current frame; fromDisk tells it was not in RAM; cacheChanged tells that
  // frames were decoded or evicted (refresh the frame bar); with doNotLoad a frame not in RAM is
  // reported (false, fromDisk set) without decoding. False on lock time-out (outputs untouched),
  // without a position, with doNotLoad on a miss and when the frame cannot be decoded.
  // The bitmap stays valid until the next cache operation of this play list.
  // A miss is decoded outside the lock (commands of other threads go on meanwhile) and waits
  // for a read-ahead decode of the same frame instead of repeating it. A frame that failed is
  // not decoded again in the same generation; error (when given) receives the reason. The
  // frame handed out stays in RAM until the next call (no read-ahead evicts it).
  bool FetchCurrentFrame(const CRvCrop* crop, const CRvResample* resample, CRvFrame** frame,
                         bool* fromDisk, bool* cacheChanged, bool doNotLoad,
                         std::string* error = nullptr);
  // Drops every decoded bitmap. Call only from the playback worker or while it is held.
  void UnloadAll();
  // Drops the bitmaps of frames whose files changed (criterion as CRvFrame::CheckChanged).
  // Same calling rule as UnloadAll.
  void CheckChangedFrames(int criterion);

  // --- read-ahead ----------------------------------------------------------------------------
  // Work is tied to a generation; a jump or a change of what frames decode to starts a new one,
  // and decodes of an older generation are dropped, never cached or shown.
  std::uint64_t GetGeneration() const { return m_generation.load(); }
  void CancelReadAhead();
  // The indices the playhead will show next, soonest first (the first is the current frame).
  // Eviction never removes a frame needed sooner than the one it makes room for.
  void SetReadAheadOrder(const std::vector<std::uint32_t>& order);
  // Decodes the frame of that index outside the lock and caches it within the budget.
  RvDecodeResult DecodeAhead(std::uint32_t index, std::uint64_t generation, const CRvCrop* crop,
                             const CRvResample* resample);

  // Budget: the cache may fill RAMPercent (section "Playback", default 80) percent of physical
  // memory. Read from settings.ini on construction and by NumberFrames; set directly when the
  // setting changes. Values outside 0..100 are clamped.
  void ReadCacheSettings();
  void SetRAMPercent(int percent);
  int GetRAMPercent() const { return m_ramPercent.load(); }
  // Physical memory in bytes as the budget sees it; 0 restores the machine's own figure.
  void SetPhysicalMemory(std::uint64_t bytes);
  // The override set above; 0 while the machine's figure is used.
  std::uint64_t GetPhysicalMemory() const { return m_physicalMemory.load(); }
  // How many frames of the largest size seen fit into the budget (at least 1); the frame count
  // while nothing has been decoded. The frame bar draws its cache band from it.
  std::uint32_t GetCacheCapacity() const;
  std::uint32_t GetCachedCount() const { return m_cachedCount.load(); }
  // Largest decoded bitmap since the last reset, in MB of 1,048,576 bytes.
  double GetLargestFrameSize() const { return m_largestFrameSize.load(); }
  // Decoded size (before crop and resample) of the most recently decoded frame.
  std::uint32_t GetLastSourceWidth() const { return m_lastSourceWidth.load(); }
  std::uint32_t GetLastSourceHeight() const { return m_lastSourceHeight.load(); }

  // --- CRvInOutRecord ----------------------------------------------------------------------
  std::uint32_t GetInPointIndex() const override;
  std::uint32_t GetOutPointIndex() const override;
  std::uint32_t GetFrameCount() const override { return m_frameCount.load(); }
  bool IsAvailable() const override { return true; }
  bool IsBusy() const override { return false; }
  const std::atomic<std::uint8_t>* GetLoadedFlags() const override { return m_loaded.get(); }
  const std::uint32_t* GetFrameNumbers() const override { return m_frameNumbers.data(); }

  // The machine's physical memory in bytes.
  static std::uint64_t RvPhysicalMemory();

 private:
  using FrameIt = CRvSequence::FrameList::const_iterator;
  using SequenceIt = SequenceList::iterator;

  // A list position: a sequence and a frame inside it. Empty when seq is null.
  struct Position {
    CRvSequence* seq = nullptr;
    SequenceIt seqIt;
    FrameIt frame;
    bool operator==(const Position& other) const {
      return seq == other.seq && (seq == nullptr || frame == other.frame);
    }
  };

  using Lock = std::unique_lock<std::recursive_timed_mutex>;
  Lock TakeLock() const;

  bool LoadFromFileUnguarded(const std::string& path, std::string* errors);
  bool SaveToFileUnguarded(const std::string& path, std::string* errors) const;
  bool GoToFirstLocked();
  bool GoToLastLocked();
  bool NextLocked(bool ignoreInOut);
  bool PreviousLocked(bool ignoreInOut);
  bool SetPointLocked(std::uint32_t index, bool keep, bool in);
  void SetPosition(const Position& position);
  void RefreshSnapshot();
  double BudgetMegabytes() const;
  bool IsOverBudget() const;
  void RemoveFromCache(CRvFrame* frame);
  // Evicts one frame needed later than `rank` (or not at all), least recently used first;
  // false when there is none. Never the pinned frame.
  bool EvictOneFor(std::uint32_t rank);
  // Makes room for one more frame of `size` MB shown at `rank`; with force the frame goes in
  // even when nothing else can be evicted.
  bool MakeRoomFor(double size, std::uint32_t rank, bool force);
  RvDecodeResult PublishLocked(CRvFrame* frame, std::uint64_t generation,
                               std::unique_ptr<CDIBSectionBitmap> bitmap, int width, int height,
                               const std::string& error, bool force);

  SequenceList m_sequences;
  std::list<CRvFrame*> m_cacheOrder;  // least recently used first; frames owned by sequences
  mutable std::recursive_timed_mutex m_lock;
  Position m_current;
  Position m_in;
  Position m_out;
  std::atomic<std::uint32_t> m_frameCount{0};
  std::atomic<std::uint32_t> m_currentNumber{0};
  std::atomic<std::uint32_t> m_currentIndex{0};
  std::atomic<std::uint32_t> m_inIndex{0};
  std::atomic<std::uint32_t> m_outIndex{kRvNone};
  std::atomic<std::uint32_t> m_lastSourceWidth{0};
  std::atomic<std::uint32_t> m_lastSourceHeight{0};
  std::atomic<double> m_largestFrameSize{0.0};
  std::unique_ptr<std::atomic<std::uint8_t>[]> m_loaded;
  std::atomic<std::uint32_t> m_cachedCount{0};
  std::vector<std::uint32_t> m_frameNumbers;
  std::string m_name;

  std::atomic<bool> m_atFirst{false};
  std::atomic<bool> m_atLast{false};
  std::atomic<bool> m_atIn{false};
  std::atomic<bool> m_atOut{false};

  CFrameDecoder* m_decoder = nullptr;
  std::vector<CRvFrame*> m_byIndex;          // every frame by index, built by NumberFrames
  std::vector<std::uint32_t> m_rank;         // read-ahead rank by index; kRvNone: not needed
  std::vector<std::uint32_t> m_rankedOrder;  // the indices that have a rank
  CRvFrame* m_pinned = nullptr;              // the frame last handed out by FetchCurrentFrame
  std::atomic<std::uint64_t> m_generation{1};
  std::condition_variable_any m_published;  // a decode in flight ended
  std::atomic<int> m_ramPercent{80};
  std::atomic<std::uint64_t> m_physicalMemory{0};
};
