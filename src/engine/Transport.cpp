#include "engine/Transport.h"

#include <algorithm>

#include "engine/DisplayMath.h"
#include "engine/EngineHost.h"
#include "sequence/PlayList.h"

CKaTransport::CKaTransport(const std::atomic<CRvPlayList*>* playList, CKaClock* clock,
                           CKaEngineHost* host)
    : m_playList(playList), m_clock(clock), m_host(host) {}

void CKaTransport::Jumped() {
  // Queued read-ahead is for the old place; what is in flight is dropped when it ends.
  if (CRvPlayList* list = m_playList->load()) list->CancelReadAhead();
}

void CKaTransport::Play(bool announce) {
  if (CRvPlayList* list = m_playList->load()) {
    ClearPending();
    if (list->IsAtLastFrame() || list->IsAtOutPoint()) list->GoToInPoint();
    if (m_atEnd.exchange(false)) list->GoToInPoint();
    if (m_reverse.load()) list->CancelReadAhead();  // the direction changes
    m_playing.store(true);
    m_reverse.store(false);
  }
  if (announce) m_host->Announce("Play");
}

void CKaTransport::PlayReverse(bool announce) {
  if (CRvPlayList* list = m_playList->load()) {
    ClearPending();
    if (list->IsAtFirstFrame() || list->IsAtInPoint()) list->GoToOutPoint();
    if (m_atEnd.exchange(false)) list->GoToOutPoint();
    if (!m_reverse.load()) list->CancelReadAhead();  // the direction changes
    m_playing.store(true);
    m_reverse.store(true);
  }
  if (announce) m_host->Announce("Play Reverse");
}

void CKaTransport::Pause(bool announce) {
  ClearPending();
  m_playing.store(false);
  if (announce) m_host->Announce("Pause");
}

void CKaTransport::TogglePlay() {
  const KaPendingAction pending = m_pendingAction.load();
  if (pending == KaPendingAction::Play || pending == KaPendingAction::InPointThenPlay) {
    Pause(true);
  } else if (m_playing.load() && !m_reverse.load()) {
    Pause(true);
  } else {
    Play(true);
  }
}

void CKaTransport::TogglePlayReverse() {
  const KaPendingAction pending = m_pendingAction.load();
  if (pending == KaPendingAction::PlayReverse ||
      pending == KaPendingAction::InPointThenPlayReverse) {
    Pause(true);
  } else if (m_playing.load() && m_reverse.load()) {
    Pause(true);
  } else {
    PlayReverse(true);
  }
}

void CKaTransport::GotoStart(bool announce) {
  ClearPending();
  Jumped();
  CRvPlayList* list = m_playList->load();
  if (!list) return;
  m_host->EmptyGhostingBuffer();
  list->GoToFirst();
  m_host->NotifyPosition();
  m_host->RequestRedraw();
  if (announce)
    m_host->Announce(KaFormat("Goto Start (Frame %i)", int(list->GetCurrentFrameNumber())));
}

void CKaTransport::GotoEnd(bool announce) {
  ClearPending();
  Jumped();
  CRvPlayList* list = m_playList->load();
  if (!list) return;
  m_host->EmptyGhostingBuffer();
  list->GoToLast();
  m_host->NotifyPosition();
  m_host->RequestRedraw();
  if (announce)
    m_host->Announce(KaFormat("Goto End (Frame %i)", int(list->GetCurrentFrameNumber())));
}

void CKaTransport::GotoInPoint() {
  ClearPending();
  Jumped();
  if (CRvPlayList* list = m_playList->load()) {
    m_host->EmptyGhostingBuffer();
    list->GoToInPoint();
    m_host->RequestRedraw();
    m_host->NotifyPosition();
  }
  m_host->Announce("Go to in point");
}

void CKaTransport::GotoOutPoint() {
  ClearPending();
  Jumped();
  if (CRvPlayList* list = m_playList->load()) {
    m_host->EmptyGhostingBuffer();
    list->GoToOutPoint();
    m_host->RequestRedraw();
    m_host->NotifyPosition();
  }
  m_host->Announce("Go to out point");
}

bool CKaTransport::StepFrames(bool forward) {
  CRvPlayList* list = m_playList->load();
  const std::uint32_t step = m_step.load();
  std::uint32_t moved = 0;
  for (; moved < step; ++moved) {
    const bool ok = forward ? list->Next(false) : list->Previous(false);
    if (!ok) break;
  }
  if (moved == step) return true;
  // A partial move is undone, so the position stays where it was.
  for (std::uint32_t k = 0; k < moved; ++k) {
    if (forward) {
      list->Previous(true);
    } else {
      list->Next(true);
    }
  }
  return false;
}

void CKaTransport::StepForward(bool announce) {
  ClearPending();
  CRvPlayList* list = m_playList->load();
  if (m_playing.load() || !list) return;
  StepFrames(true);
  m_host->NotifyPosition();
  m_host->RequestRedraw();
  if (announce)
    m_host->Announce(KaFormat("Forward (Frame %i)", int(list->GetCurrentFrameNumber())));
}

void CKaTransport::StepBack(bool announce) {
  ClearPending();
  CRvPlayList* list = m_playList->load();
  if (m_playing.load() || !list) return;
  StepFrames(false);
  m_host->NotifyPosition();
  m_host->RequestRedraw();
  if (announce) m_host->Announce(KaFormat("Back (Frame %i)", int(list->GetCurrentFrameNumber())));
}

void CKaTransport::SetPosition(std::uint32_t index) {
  ClearPending();
  Jumped();
  CRvPlayList* list = m_playList->load();
  if (!list) return;
  list->SetPositionByIndex(index);
  m_host->NotifyPosition();
  m_host->RequestRedraw();
  m_host->Announce(KaFormat("Frame position set to %i", int(list->GetCurrentFrameNumber())));
}

void CKaTransport::SetInPoint(std::uint32_t index, bool keep) {
  ClearPending();
  CRvPlayList* list = m_playList->load();
  if (!list) return;
  const bool set = list->SetInPoint(index, keep);
  m_host->NotifyInOut();
  m_host->Announce(set ? "Set in point" : "In point switched off");
}

void CKaTransport::SetOutPoint(std::uint32_t index, bool keep) {
  ClearPending();
  CRvPlayList* list = m_playList->load();
  if (!list) return;
  const bool set = list->SetOutPoint(index, keep);
  m_host->NotifyInOut();
  m_host->Announce(set ? "Set out point" : "Out point switched off");
}

void CKaTransport::ClearInOut() {
  ClearPending();
  CRvPlayList* list = m_playList->load();
  if (!list) return;
  list->ClearInOut();
  m_host->NotifyInOut();
}

void CKaTransport::SetInOutSpan(std::uint32_t span) {
  ClearPending();
  CRvPlayList* list = m_playList->load();
  if (!list) return;
  const std::uint32_t count = list->GetFrameCount();
  if (count == 0) return;
  std::int64_t in = list->GetInIndex();
  std::int64_t out = in + span;
  if (out > std::int64_t(count)) {
    in = std::max<std::int64_t>(0, in - (out - std::int64_t(count)));
  }
  // The last index is count - 1: an out point past it cannot be set, so it lands there.
  out = std::min<std::int64_t>(out, std::int64_t(count) - 1);
  list->SetInPoint(std::uint32_t(in), true);
  list->SetOutPoint(std::uint32_t(out), true);
  m_host->NotifyInOut();
}

std::uint32_t CKaTransport::GetInPoint() const {
  CRvPlayList* list = m_playList->load();
  return list ? list->GetInIndex() : 0;
}

std::uint32_t CKaTransport::GetOutPoint() const {
  CRvPlayList* list = m_playList->load();
  if (!list) return 0;
  const std::uint32_t out = list->GetOutIndex();
  return out == kRvNone ? list->GetFrameCount() - 1 : out;
}

void CKaTransport::SetLoopPause(std::uint32_t seconds) {
  ClearPending();
  m_loopPause.store(seconds);
}

void CKaTransport::StartLoopPause(KaPendingAction action) {
  Pause(false);
  const std::uint32_t seconds = m_loopPause.load();
  m_actionDeadline.store(m_clock->TickCount() + std::uint64_t(seconds) * 1000u);
  m_pendingAction.store(action);
  m_host->Announce(KaFormat("Waiting %us before playing again", seconds));
}

void CKaTransport::ApplyEndRule(CRvPlayList* list, bool forward) {
  const RvPlayMode mode = m_playMode.load();
  const bool pause = m_loopPause.load() > 0;
  if (mode == RvPlayMode::PingPong) {
    if (pause) {
      StartLoopPause(forward ? KaPendingAction::PlayReverse : KaPendingAction::Play);
    } else if (forward) {
      PlayReverse(false);
    } else {
      Play(false);
    }
  } else if (mode == RvPlayMode::Loop) {
    if (pause) {
      StartLoopPause(forward ? KaPendingAction::InPointThenPlay
                             : KaPendingAction::InPointThenPlayReverse);
    } else {
      m_host->EmptyGhostingBuffer();
      if (forward) {
        list->GoToInPoint();
      } else {
        list->GoToOutPoint();
      }
    }
  } else {  // run once
    Pause(false);
  }
}

void CKaTransport::RunPendingAction() {
  const KaPendingAction action = m_pendingAction.load();
  if (action == KaPendingAction::None || m_clock->TickCount() <= m_actionDeadline.load()) return;
  // Only the action seen is run: a command that replaced it meanwhile wins.
  KaPendingAction expected = action;
  if (!m_pendingAction.compare_exchange_strong(expected, KaPendingAction::None)) return;
  CRvPlayList* list = m_playList->load();
  switch (action) {
    case KaPendingAction::Play:
      Play(false);
      break;
    case KaPendingAction::PlayReverse:
      PlayReverse(false);
      break;
    case KaPendingAction::InPointThenPlay:
      if (list) list->GoToInPoint();
      Play(false);
      break;
    case KaPendingAction::InPointThenPlayReverse:
      if (list) list->GoToInPoint();
      PlayReverse(false);
      break;
    case KaPendingAction::None:
      break;
  }
}

void CKaTransport::MovePlayhead(CRvPlayList* list) {
  m_atEnd.store(false);
  m_host->RequestRedraw();
  const bool forward = !m_reverse.load();
  if (!StepFrames(forward)) {
    ApplyEndRule(list, forward);
    m_atEnd.store(true);
  }
  m_host->NotifyPosition();
}

RvReadAheadSpec CKaTransport::ReadAheadSpec(CRvPlayList* list) const {
  RvReadAheadSpec spec;
  spec.count = list->GetFrameCount();
  spec.current = list->GetCurrentIndex();
  spec.in = list->GetInIndex();
  spec.out = list->GetOutIndex();
  spec.forward = !m_reverse.load();
  spec.mode = m_playMode.load();
  spec.step = m_step.load();
  spec.limit = list->GetCacheCapacity();
  return spec;
}
