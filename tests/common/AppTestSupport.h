// What the program's GUI tests share: one QApplication per process, pumping events until a
// condition holds, key presses sent as the user's, and a control found by its id.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QThread>
#include <QWidget>
#include <functional>

namespace apptest {

inline QApplication* App() {
  static int argc = 1;
  static char name[] = "test_app";
  static char* argv[] = {name, nullptr};
  static QApplication* app = qApp ? static_cast<QApplication*>(qApp) : new QApplication(argc, argv);
  return app;
}

// Lets the event loop run until pred holds (giving up after ms milliseconds).
inline bool ProcessUntil(const std::function<bool()>& pred, int ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!pred() && clock.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  return pred();
}

inline void ProcessFor(int ms) {
  ProcessUntil([] { return false; }, ms);
}

// Sent to the application's filters first, as a real key press is.
inline void Press(QObject* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers);
  QApplication::sendEvent(target, &press);
}

// The control under root (a page, a panel or a dialog) that carries the id.
template <typename W = QWidget>
W* Control(QWidget* root, int id) {
  for (W* widget : root->findChildren<W*>()) {
    if (widget->property("controlId").toInt() == id) return widget;
  }
  return nullptr;
}

}  // namespace apptest
