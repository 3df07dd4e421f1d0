// The transport: where the playhead is and where it goes. The play, step, go-to and in/out
// commands, the end rule with its loop pause, and the pending action that restarts playback
// when the pause is over.
//
// Threads. The commands run on the user-interface thread; RunPendingAction and MovePlayhead
// on the worker, which calls the same commands silently. Play mode, step and loop pause are
// written by the UI thread only; playing, reverse, the at-end flag, the pending action and its
// deadline by both. All are atomics. The play list is reached through the engine's pointer,
// which changes only while the worker is held; moving the position relies on the play list's
// own lock.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/KaClock.h"
#include "sequence/PlayMode.h"
#include "sequence/ReadAhead.h"

class CKaEngineHost;
class CRvPlayList;

// What the worker does when the loop-pause deadline passes. The values are the numbers the
// engine has always used for them.
enum class KaPendingAction : std::uint32_t {
  None = 0,
  Play = 1,
  PlayReverse = 2,
  InPointThenPlay = 3,
  InPointThenPlayReverse = 4,
};

class CKaTransport {
 public:
  CKaTransport(const std::atomic<CRvPlayList*>* playList, CKaClock* clock, CKaEngineHost* host);

  // `announce` shows the command in the status line.
  void Play(bool announce);
  void PlayReverse(bool announce);
  void Pause(bool announce);
  void TogglePlay();
  void TogglePlayReverse();
  void GotoStart(bool announce);
  void GotoEnd(bool announce);
  void GotoInPoint();
  void GotoOutPoint();
  void StepForward(bool announce);
  void StepBack(bool announce);
  void SetPosition(std::uint32_t index);
  void SetInPoint(std::uint32_t index, bool keep);
  void SetOutPoint(std::uint32_t index, bool keep);
  void ClearInOut();
  // Out point = in point + span; past the last frame the in point moves back by the excess
  // (not below the first).
  void SetInOutSpan(std::uint32_t span);
  std::uint32_t GetInPoint() const;
  std::uint32_t GetOutPoint() const;

  // 0 is stored as 1.
  void SetStep(std::uint32_t step) { m_step.store(step == 0 ? 1 : step); }
  std::uint32_t GetStep() const { return m_step.load(); }
  void SetLoopPause(std::uint32_t seconds);
  std::uint32_t GetLoopPause() const { return m_loopPause.load(); }
  void SetPlayMode(RvPlayMode mode) { m_playMode.store(mode); }
  RvPlayMode GetPlayMode() const { return m_playMode.load(); }

  bool IsPlaying() const { return m_playing.load(); }
  bool IsReverse() const { return m_reverse.load(); }
  bool IsAtEnd() const { return m_atEnd.load(); }
  KaPendingAction GetPendingAction() const { return m_pendingAction.load(); }
  std::uint64_t GetActionDeadline() const { return m_actionDeadline.load(); }

  // --- worker ---
  // Runs the pending action once its deadline has passed.
  void RunPendingAction();
  // Moves the playhead one step in the playing direction, or applies the end rule.
  void MovePlayhead(CRvPlayList* list);
  // The frames the playhead reaches next from where list stands, at most its cache's worth.
  RvReadAheadSpec ReadAheadSpec(CRvPlayList* list) const;

 private:
  void ClearPending() { m_pendingAction.store(KaPendingAction::None); }
  // Queued read-ahead is for the old place; what is in flight is dropped when it ends.
  void Jumped();
  bool StepFrames(bool forward);
  void ApplyEndRule(CRvPlayList* list, bool forward);
  void StartLoopPause(KaPendingAction action);

  const std::atomic<CRvPlayList*>* m_playList;
  CKaClock* m_clock;
  CKaEngineHost* m_host;

  // Written by the UI thread.
  std::atomic<RvPlayMode> m_playMode{RvPlayMode::Loop};
  std::atomic<std::uint32_t> m_step{1};
  std::atomic<std::uint32_t> m_loopPause{0};
  // Written by both threads.
  std::atomic<bool> m_playing{false};
  std::atomic<bool> m_reverse{false};
  std::atomic<bool> m_atEnd{false};
  std::atomic<KaPendingAction> m_pendingAction{KaPendingAction::None};
  std::atomic<std::uint64_t> m_actionDeadline{0};
};
