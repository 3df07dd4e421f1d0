// Keeps the support library's key-state table current while the program runs: Shift, Ctrl and
// Alt come from Qt on the UI thread, other keys from the presses and releases this filter sees.
#pragma once

#include <QObject>

// The virtual-key code of a Qt key (letters, digits, arrows, function keys, editing and
// modifier keys); 0 for keys without one.
int RvVirtualKeyFromQt(int qtKey);

class CRvKeyStateFilter : public QObject {
  Q_OBJECT

 public:
  // Installs itself on the application and the modifier provider; both are removed again on
  // destruction.
  explicit CRvKeyStateFilter(QObject* parent = nullptr);
  ~CRvKeyStateFilter() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};
