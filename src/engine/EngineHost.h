// What the parts of the playback engine (transport, view settings, frame renderer) ask of the
// engine around them. CKaDrawThread implements it.
#pragma once

#include <string>

class CRvPlayList;

class CKaEngineHost {
 public:
  virtual ~CKaEngineHost() = default;
  // Shows a command's text for one second in the status line; dropped in full screen. Either
  // thread.
  virtual void Announce(const std::string& text) = 0;
  // The worker draws in its next cycle. Either thread.
  virtual void RequestRedraw() = 0;
  // The next frame starts with an empty ghosting buffer. Either thread.
  virtual void EmptyGhostingBuffer() = 0;
  // Tell the observer that the position, or the in/out record, may have changed.
  virtual void NotifyPosition() = 0;
  virtual void NotifyInOut() = 0;
  // Worker, after fetching the current frame of list: queue what the playhead needs next.
  virtual void RequestReadAhead(CRvPlayList* list) = 0;
};
