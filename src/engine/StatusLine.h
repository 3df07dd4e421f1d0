#pragma once

#include <QRect>
#include <mutex>
#include <string>

class QPainter;

// The window side of the status line: repaint requests and the message timer. Both threads
// call it (the engine's worker shows messages and sets the info line), so implementations must
// be thread-safe, for example by queuing the work to the user-interface thread.
class CKaStatusLineHost {
 public:
  virtual ~CKaStatusLineHost() = default;
  virtual void InvalidateStatus() = 0;
  virtual void StartStatusTimer(int timerId, int milliseconds) = 0;
  virtual void KillStatusTimer(int timerId) = 0;
};

// The line under the view: a default text (the engine's info line) and one timed message that
// covers it until timer 111 fires. A timed mutex guards both texts: the worker waits at most
// 10 ms to set the default text so a paint never stalls playback. The waits poll try_lock
// on a plain mutex (every 50 us): the timed lock of std::timed_mutex is invisible to the
// thread sanitizer, which would hide real races behind false reports.
class CKaStatusLine {
 public:
  static constexpr int kMessageTimerId = 111;
  static constexpr unsigned kTextColorRef = 0x00FF9966;

  explicit CKaStatusLine(CKaStatusLineHost* host = nullptr);
  void SetHost(CKaStatusLineHost* host) { m_host = host; }

  void ShowMessage(const std::string& text, int seconds);
  void SetDefaultText(const std::string& text);
  // The host calls this when a timer it started for us fires.
  void OnTimer(int timerId);
  // Sunken edge, black inside, the displayed text centred in colour 0x00FF9966.
  void Paint(QPainter* painter, const QRect& clientRect);

  std::string GetDisplayedText();
  std::string GetDefaultText();
  bool IsMessageUp();

 private:
  CKaStatusLineHost* m_host;
  std::mutex m_lock;  // guards the three fields below
  std::string m_defaultText{"Kavato Reelvane"};
  std::string m_displayedText{"Kavato Reelvane"};
  bool m_messageUp = false;
};
