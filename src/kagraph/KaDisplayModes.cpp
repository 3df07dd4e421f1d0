#include "kagraph/KaDisplayModes.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cerrno>
#include <cstdio>

// The X headers define macros (None, Bool, Status) that clash with Qt's names: they come last
// and stay inside this file.
#ifdef KA_HAVE_XRANDR
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#endif

namespace {

void AddOnce(std::vector<KaDisplayMode>* modes, const KaDisplayMode& mode) {
  if (mode.width == 0 || mode.height == 0) return;
  if (std::find(modes->begin(), modes->end(), mode) == modes->end()) modes->push_back(mode);
}

KaDisplayMode CurrentMode(QScreen* screen) {
  const QSize size = screen->geometry().size() * screen->devicePixelRatio();
  return {unsigned(size.width()), unsigned(size.height()), KaBitsPerPixelOfDepth(screen->depth())};
}

#ifdef KA_HAVE_XRANDR

// Closes the connection whichever way the enumeration ends.
struct DisplayConnection {
  Display* display = XOpenDisplay(nullptr);
  ~DisplayConnection() {
    if (display) XCloseDisplay(display);
  }
};

unsigned PixmapBits(Display* display, int depth) {
  int count = 0;
  XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
  unsigned bits = KaBitsPerPixelOfDepth(depth);
  for (int i = 0; formats && i < count; ++i) {
    if (formats[i].depth == depth) bits = unsigned(formats[i].bits_per_pixel);
  }
  if (formats) XFree(formats);
  return bits;
}

// RandR 1.2 and later: the modes of the output driven by the CRTC that shows the screen (the
// CRTC at the screen's top-left corner).
void AddOutputModes(Display* display, Window root, const QRect& area, unsigned bits,
                    std::vector<KaDisplayMode>* modes) {
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
  if (!resources) return;
  RROutput output = 0;
  for (int c = 0; c < resources->ncrtc && !output; ++c) {
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, resources, resources->crtcs[c]);
    if (crtc && crtc->mode != 0 && crtc->noutput > 0 && crtc->x == area.x() &&
        crtc->y == area.y()) {
      output = crtc->outputs[0];
    }
    if (crtc) XRRFreeCrtcInfo(crtc);
  }
  XRROutputInfo* info = output ? XRRGetOutputInfo(display, resources, output) : nullptr;
  for (int m = 0; info && m < info->nmode; ++m) {
    for (int r = 0; r < resources->nmode; ++r) {
      const XRRModeInfo& mode = resources->modes[r];
      if (mode.id == info->modes[m]) AddOnce(modes, {mode.width, mode.height, bits});
    }
  }
  if (info) XRRFreeOutputInfo(info);
  XRRFreeScreenResources(resources);
}

// Returns false only for a failure to report; an X server without RandR leaves *modes empty.
bool EnumRandR(QScreen* screen, std::vector<KaDisplayMode>* modes, std::string* errorText) {
  errno = 0;
  DisplayConnection connection;
  Display* display = connection.display;
  if (!display) {
    char text[128];
    std::snprintf(text, sizeof text, kKaDisplayCreateFailedFormat, errno);
    *errorText = text;
    return false;
  }
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (!XRRQueryExtension(display, &eventBase, &errorBase) ||
      !XRRQueryVersion(display, &major, &minor)) {
    return true;
  }
  const int screenNumber = DefaultScreen(display);
  const Window root = RootWindow(display, screenNumber);
  const unsigned bits = PixmapBits(display, DefaultDepth(display, screenNumber));
  const qreal ratio = screen->devicePixelRatio();
  const QRect area(screen->geometry().topLeft() * ratio, screen->geometry().size() * ratio);
  if (major > 1 || (major == 1 && minor >= 3)) AddOutputModes(display, root, area, bits, modes);
  if (modes->empty()) {
    // RandR 1.0 and 1.1 know only the sizes of the whole X screen.
    int count = 0;
    XRRScreenSize* sizes = XRRSizes(display, screenNumber, &count);
    for (int i = 0; sizes && i < count; ++i)
      AddOnce(modes, {unsigned(sizes[i].width), unsigned(sizes[i].height), bits});
  }
  return true;
}

// Xlib's default error handler ends the process; a refused request must only fail the switch.
int g_xErrors = 0;
int CountXError(Display*, XErrorEvent*) {
  ++g_xErrors;
  return 0;
}

class ScopedErrorTrap {
 public:
  explicit ScopedErrorTrap(Display* display) : m_display(display) {
    g_xErrors = 0;
    m_previous = XSetErrorHandler(CountXError);
  }
  ~ScopedErrorTrap() {
    XSync(m_display, False);
    XSetErrorHandler(m_previous);
  }
  bool Failed() {
    XSync(m_display, False);
    return g_xErrors != 0;
  }

 private:
  Display* m_display;
  int (*m_previous)(Display*, XErrorEvent*) = nullptr;
};

#endif  // KA_HAVE_XRANDR

std::string Format(const char* format, unsigned a, unsigned b, int c = 0, int d = 0) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b, c, d);
  return text;
}

}  // namespace

struct CKaDisplayModeSwitch::State {
#ifdef KA_HAVE_XRANDR
  Display* display = nullptr;
  RRCrtc crtc = 0;
  RRMode originalMode = 0;
  int x = 0;
  int y = 0;
  Rotation rotation = RR_Rotate_0;
  std::vector<RROutput> outputs;
  ~State() {
    if (display) XCloseDisplay(display);
  }
#endif
};

CKaDisplayModeSwitch::CKaDisplayModeSwitch(QScreen* screen, unsigned width, unsigned height)
    : m_state(std::make_unique<State>()) {
  m_report = "Display modes cannot be switched on this platform";
#ifdef KA_HAVE_XRANDR
  if (!screen || QGuiApplication::platformName() != QLatin1String("xcb")) return;
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    m_report = "The X display cannot be opened to switch the display mode";
    return;
  }
  m_state->display = display;
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (!XRRQueryExtension(display, &eventBase, &errorBase) ||
      !XRRQueryVersion(display, &major, &minor) || (major == 1 && minor < 3)) {
    m_report = "The X server cannot switch display modes (RandR 1.3 missing)";
    return;
  }
  const int screenNumber = DefaultScreen(display);
  const Window root = RootWindow(display, screenNumber);
  const qreal ratio = screen->devicePixelRatio();
  const QPoint corner = screen->geometry().topLeft() * ratio;
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
  if (!resources) {
    m_report = "The X server reports no display resources";
    return;
  }
  XRRCrtcInfo* crtc = nullptr;
  for (int c = 0; c < resources->ncrtc && !crtc; ++c) {
    XRRCrtcInfo* info = XRRGetCrtcInfo(display, resources, resources->crtcs[c]);
    if (info && info->mode != 0 && info->noutput > 0 && info->x == corner.x() &&
        info->y == corner.y()) {
      crtc = info;
      m_state->crtc = resources->crtcs[c];
    } else if (info) {
      XRRFreeCrtcInfo(info);
    }
  }
  RRMode wanted = 0;
  if (crtc) {
    XRROutputInfo* output = XRRGetOutputInfo(display, resources, crtc->outputs[0]);
    for (int m = 0; output && m < output->nmode && !wanted; ++m) {
      for (int r = 0; r < resources->nmode; ++r) {
        const XRRModeInfo& mode = resources->modes[r];
        if (mode.id == output->modes[m] && mode.width == width && mode.height == height)
          wanted = mode.id;
      }
    }
    if (output) XRRFreeOutputInfo(output);
  }
  if (!crtc) {
    m_report = "No display drives the screen's top-left corner";
  } else if (!wanted) {
    m_report = Format("The display offers no mode of %ux%u", width, height);
  } else if (crtc->width == width && crtc->height == height) {
    m_report = Format("Display mode %ux%u is already set", width, height);
  } else if (crtc->x + int(width) > DisplayWidth(display, screenNumber) ||
             crtc->y + int(height) > DisplayHeight(display, screenNumber)) {
    m_report = Format("Display mode %ux%u is larger than the desktop", width, height);
  } else {
    m_state->originalMode = crtc->mode;
    m_state->x = crtc->x;
    m_state->y = crtc->y;
    m_state->rotation = crtc->rotation;
    m_state->outputs.assign(crtc->outputs, crtc->outputs + crtc->noutput);
    const unsigned oldWidth = crtc->width, oldHeight = crtc->height;
    ScopedErrorTrap trap(display);
    const Status status =
        XRRSetCrtcConfig(display, resources, m_state->crtc, CurrentTime, crtc->x, crtc->y, wanted,
                         crtc->rotation, crtc->outputs, crtc->noutput);
    m_switched = status == RRSetConfigSuccess && !trap.Failed();
    m_report = m_switched ? Format("Display mode %ux%u set (was %dx%d)", width, height,
                                   int(oldWidth), int(oldHeight))
                          : Format("The X server refused display mode %ux%u", width, height);
  }
  if (crtc) XRRFreeCrtcInfo(crtc);
  XRRFreeScreenResources(resources);
#else
  (void)screen;
  (void)width;
  (void)height;
#endif
}

CKaDisplayModeSwitch::~CKaDisplayModeSwitch() {
#ifdef KA_HAVE_XRANDR
  if (!m_switched || !m_state->display) return;
  Display* display = m_state->display;
  XRRScreenResources* resources =
      XRRGetScreenResourcesCurrent(display, RootWindow(display, DefaultScreen(display)));
  if (!resources) return;
  ScopedErrorTrap trap(display);
  XRRSetCrtcConfig(display, resources, m_state->crtc, CurrentTime, m_state->x, m_state->y,
                   m_state->originalMode, m_state->rotation, m_state->outputs.data(),
                   int(m_state->outputs.size()));
  XRRFreeScreenResources(resources);
#endif
}

unsigned KaBitsPerPixelOfDepth(int depth) { return depth == 24 ? 32u : unsigned(depth); }

bool bKaEnumDisplayModes(QScreen* screen, std::vector<KaDisplayMode>* modes,
                         std::string* errorText) {
  modes->clear();
  errorText->clear();
  if (!screen && qGuiApp) screen = QGuiApplication::primaryScreen();
  if (!screen) {
    *errorText = kKaDisplayGeneralError;
    return false;
  }
#ifdef KA_HAVE_XRANDR
  if (QGuiApplication::platformName() == QLatin1String("xcb")) {
    if (!EnumRandR(screen, modes, errorText)) return false;
  }
#endif
  if (modes->empty()) AddOnce(modes, CurrentMode(screen));
  if (modes->empty()) {
    *errorText = kKaDisplayGeneralError;
    return false;
  }
  return true;
}
