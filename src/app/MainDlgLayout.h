// Where every child of the main window goes, as a pure function of the window's state, so the
// rules can be checked without a window.
#pragma once

#include <QPoint>
#include <QRect>
#include <array>

enum class RvWindowMode { Normal = 0, Maximized = 1, FullScreen = 3 };
enum class RvLoadPanelState { Closed = 0, Open = 1, Writing = 2 };
// WindowPosition/ShowOptionsBar: 0 transport row only, 1 transport row and options bar,
// 2 neither.
enum class RvOptionsBarMode { TransportOnly = 0, TransportAndOptions = 1, None = 2 };

inline constexpr int kRvCaptionHeight = 16;
inline constexpr int kRvFrameBarHeight = 12;

enum RvCaptionButton {
  kRvHelp,
  kRvAlwaysOnTop,
  kRvMinimize,
  kRvMaximize,
  kRvFullscreen,
  kRvClose,
  kRvCaptionButtonCount
};
enum RvTransportButton {
  kRvOpen,
  kRvSave,
  kRvRewind,
  kRvBack,
  kRvPlayReverse,
  kRvPlay,
  kRvForward,
  kRvEnd,
  kRvZoomIn,
  kRvZoomOut,
  kRvSettings,
  kRvTransportButtonCount
};

struct CRvLayoutInput {
  QRect client;
  RvWindowMode windowMode = RvWindowMode::Normal;
  RvLoadPanelState loadPanel = RvLoadPanelState::Closed;
  RvOptionsBarMode optionsBar = RvOptionsBarMode::TransportAndOptions;
  int containerHeight = 0;
  bool acceptEnabled = true;
};

// A rectangle of zero size means "moved out of the way".
struct CRvLayout {
  QRect view, frameBar, statusLine, loadPanel, container, scrollLeft, scrollRight, ok, cancel;
  std::array<QRect, kRvCaptionButtonCount> caption{};
  std::array<QRect, kRvTransportButtonCount> transport{};
  QRect engineRect;  // relative to the view
  bool maximizeChecked = false;
  bool showView = false, showOptionsBar = false, showTransport = false, showOk = false,
       showCancel = false, showClose = false, showFullscreen = false, showWindowButtons = false;
};

CRvLayout RvComputeLayout(const CRvLayoutInput& in);

// What a point of the window is for (mode Normal; in the other modes everything is client).
enum class RvHitArea {
  Client,
  Caption,
  Left,
  Right,
  Top,
  Bottom,
  TopLeft,
  TopRight,
  BottomLeft,
  BottomRight
};
// window: the window's rectangle; point in the same coordinates.
RvHitArea RvHitTest(const QRect& window, const QPoint& point, RvWindowMode mode);

// Right-button scrubbing: how many frames a horizontal movement of dx pixels steps (sign:
// direction), in a window clientWidth wide showing frameCount frames.
int RvScrubSteps(int dx, int clientWidth, unsigned frameCount);

// The wheel without modifiers: notches are whole multiples of 120; a high-resolution wheel's
// smaller deltas are gathered until they make one, so no step is lost.
class CRvWheelSteps {
 public:
  // Adds one wheel event's delta; returns the signed number of steps it makes (q * |q| with q
  // the whole notches now complete: two notches at once step four times).
  int Add(int delta);
  int Remainder() const { return m_remainder; }

 private:
  int m_remainder = 0;
};
