// One QGuiApplication per test process, for tests that paint or open windows without widgets.
#pragma once

#include <QGuiApplication>

namespace apptest {

inline QGuiApplication* GuiApp() {
  static int argc = 1;
  static char name[] = "test_gui";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = qGuiApp ? qGuiApp : new QGuiApplication(argc, argv);
  return app;
}

}  // namespace apptest
