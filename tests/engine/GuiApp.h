// One QGuiApplication per test process (offscreen platform), for tests that paint text or open
// windows.
#pragma once

#include <QGuiApplication>

namespace enginetest {
inline QGuiApplication* EnsureGuiApp() {
  static int argc = 1;
  static char name[] = "enginetest";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = qGuiApp ? nullptr : new QGuiApplication(argc, argv);
  return app ? app : static_cast<QGuiApplication*>(qGuiApp);
}
}  // namespace enginetest
