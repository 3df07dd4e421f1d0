#include "app/MainDlgLayout.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kEdge = 3;
constexpr int kBottomStrip = 28;
constexpr int kScrollButtonWidth = 12;
constexpr int kCaptionButton = 16;
constexpr int kTransportButton = 20;
constexpr int kTransportY = 23;  // from the bottom
constexpr int kSizingCorner = 9;
constexpr int kNotch = 120;
// x of each caption button, from the right edge.
constexpr std::array<int, kRvCaptionButtonCount> kCaptionFromRight = {99, 83, 67, 51, 35, 19};
// The advance before each transport button (the first starts at the left edge + 3).
constexpr std::array<int, kRvTransportButtonCount> kTransportAdvance = {0,  20, 22, 20, 20, 20,
                                                                        20, 20, 22, 20, 22};
constexpr int kStatusAdvance = 22;
constexpr int kCancelFromRight = 103;
constexpr int kOkFromRight = 125;

QRect FromEdges(int l, int t, int r, int b) { return QRect(l, t, r - l, b - t); }

}  // namespace

CRvLayout RvComputeLayout(const CRvLayoutInput& in) {
  CRvLayout out;
  const int L = in.client.left(), T = in.client.top();
  const int R = L + in.client.width(), B = T + in.client.height();
  const bool fullScreen = in.windowMode == RvWindowMode::FullScreen;
  const bool state0 = in.loadPanel == RvLoadPanelState::Closed;
  const bool writing = in.loadPanel == RvLoadPanelState::Writing;
  const bool transport = in.optionsBar != RvOptionsBarMode::None && !fullScreen;
  out.maximizeChecked = in.windowMode == RvWindowMode::Maximized;
  out.showView = state0 || writing;
  out.showOptionsBar =
      !writing && in.optionsBar == RvOptionsBarMode::TransportAndOptions && transport;

  if (fullScreen) {
    out.view = in.client;
    out.engineRect = QRect(0, 0, in.client.width(), in.client.height());
  } else {
    const int top = T + kRvCaptionHeight;
    int left = transport ? L + kEdge : L;
    int right = transport ? R - kEdge : R;
    int bottom = transport ? B - kBottomStrip : B - kEdge;
    if (out.showOptionsBar) {
      const int h = in.containerHeight;
      bottom -= h;
      out.container =
          QRect(left + kScrollButtonWidth, bottom, right - left - 2 * kScrollButtonWidth, h);
      out.scrollLeft = QRect(left, bottom, kScrollButtonWidth, h);
      out.scrollRight = QRect(right - kScrollButtonWidth, bottom, kScrollButtonWidth, h);
    }
    out.loadPanel = FromEdges(left, top, right, bottom);
    bottom -= kRvFrameBarHeight;
    out.view = FromEdges(left, top, right, bottom);
    const int inset = in.optionsBar == RvOptionsBarMode::None ? kEdge : 0;
    out.frameBar = QRect(left + inset, bottom, right - left - 2 * inset, kRvFrameBarHeight);
    out.engineRect = QRect(0, 0, right - left, bottom - top);
    for (int i = 0; i < kRvCaptionButtonCount; ++i)
      out.caption[std::size_t(i)] =
          QRect(R - kCaptionFromRight[std::size_t(i)], T, kCaptionButton, kCaptionButton);
    if (transport) {
      int x = L + kEdge;
      const int y = B - kTransportY;
      for (int i = 0; i < kRvTransportButtonCount; ++i) {
        x += kTransportAdvance[std::size_t(i)];
        out.transport[std::size_t(i)] = QRect(x, y, kTransportButton, kTransportButton);
      }
      x += kStatusAdvance;
      out.statusLine = FromEdges(x, y, R - kEdge, y + kTransportButton);
      out.cancel = QRect(R - kCancelFromRight, y, kTransportButton, kTransportButton);
      out.ok = QRect(R - kOkFromRight, y, kTransportButton, kTransportButton);
    }
  }
  out.showWindowButtons = !fullScreen;
  out.showFullscreen = state0 && !fullScreen;
  out.showTransport = transport && state0;
  out.showOk = transport && in.loadPanel == RvLoadPanelState::Open && in.acceptEnabled;
  out.showCancel = transport && !state0;
  out.showClose = !writing;
  return out;
}

RvHitArea RvHitTest(const QRect& window, const QPoint& p, RvWindowMode mode) {
  if (mode != RvWindowMode::Normal) return RvHitArea::Client;
  const int l = window.left(), t = window.top();
  const int r = l + window.width(), b = t + window.height();
  const int x = p.x(), y = p.y();
  if (x > r - kSizingCorner && y > b - kSizingCorner) return RvHitArea::BottomRight;
  const bool west = x<l + kEdge, east = x> r - kEdge, north = y<t + kEdge, south = y> b - kEdge;
  if (north && west) return RvHitArea::TopLeft;
  if (north && east) return RvHitArea::TopRight;
  if (south && west) return RvHitArea::BottomLeft;
  if (south && east) return RvHitArea::BottomRight;
  if (west) return RvHitArea::Left;
  if (east) return RvHitArea::Right;
  if (north) return RvHitArea::Top;
  if (south) return RvHitArea::Bottom;
  if (x >= l + kEdge && x < r - kEdge && y >= t + kRvCaptionHeight && y < b - 2)
    return RvHitArea::Client;
  return RvHitArea::Caption;  // the caption strip drags the window
}

int RvScrubSteps(int dx, int clientWidth, unsigned frameCount) {
  if (dx == 0) return 0;
  int perFrame = frameCount ? clientWidth / int(frameCount) : 1;
  if (perFrame <= 0) perFrame = 1;
  const int steps = std::max(1, std::abs(dx) / perFrame);
  return dx < 0 ? -steps : steps;
}

int CRvWheelSteps::Add(int delta) {
  // A turn the other way starts afresh instead of first paying back the other direction.
  if ((delta > 0 && m_remainder < 0) || (delta < 0 && m_remainder > 0)) m_remainder = 0;
  m_remainder += delta;
  const int q = m_remainder / kNotch;
  m_remainder -= q * kNotch;
  return q * std::abs(q);
}
