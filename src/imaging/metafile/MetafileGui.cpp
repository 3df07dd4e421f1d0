#include "imaging/metafile/MetafileGui.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <mutex>

namespace {

std::once_flag g_once;
bool g_haveFonts = false;
RvReferenceDevice g_device{QSize(1920, 1080), QSizeF(1920 * 25.4 / 96, 1080 * 25.4 / 96)};

void Initialise() {
  if (QCoreApplication::instance() == nullptr) {
    // The application object lives until the process ends: Qt's own statics may be gone by
    // the time exit handlers run, so it is deliberately never destroyed. Programs without a
    // GUI of their own always get the offscreen platform, so a missing display cannot stop
    // them.
    static int argc = 3;
    static char arg0[] = "reelvane", arg1[] = "-platform", arg2[] = "offscreen";
    static char* argv[] = {arg0, arg1, arg2, nullptr};
    static QGuiApplication* application = new QGuiApplication(argc, argv);
    (void)application;
  }
  // A core application without a GUI has neither fonts nor screens.
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return;
  g_haveFonts = !QFontDatabase::families().isEmpty();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QSize px = screen->size();
    const QSizeF mm = screen->physicalSize();
    if (!px.isEmpty() && mm.width() > 0 && mm.height() > 0) g_device = {px, mm};
  }
}

}  // namespace

bool RvEnsureMetafileFonts() {
  std::call_once(g_once, Initialise);
  return g_haveFonts;
}

RvReferenceDevice RvMetafileReferenceDevice() {
  std::call_once(g_once, Initialise);
  return g_device;
}
