#include "app/KeyState.h"

#include <QApplication>
#include <QKeyEvent>
#include <QThread>

#include "support/NesCommon55.h"

namespace {

// Modifiers are asked from the window system on the UI thread; other threads see the state
// the filter last recorded.
bool ModifierState(int virtualKey) {
  if (!qApp || QThread::currentThread() != qApp->thread()) return false;
  const Qt::KeyboardModifiers mods = QGuiApplication::queryKeyboardModifiers();
  switch (virtualKey) {
    case kNesVkShift:
      return mods.testFlag(Qt::ShiftModifier);
    case kNesVkControl:
      return mods.testFlag(Qt::ControlModifier);
    case kNesVkMenu:
      return mods.testFlag(Qt::AltModifier);
    default:
      return false;
  }
}

void RecordModifiers(Qt::KeyboardModifiers mods) {
  NesSetKeyDown(kNesVkShift, mods.testFlag(Qt::ShiftModifier));
  NesSetKeyDown(kNesVkControl, mods.testFlag(Qt::ControlModifier));
  NesSetKeyDown(kNesVkMenu, mods.testFlag(Qt::AltModifier));
}

}  // namespace

int RvVirtualKeyFromQt(int qtKey) {
  if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
    return qtKey;  // the same codes
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 0x70 + (qtKey - Qt::Key_F1);
  switch (qtKey) {
    case Qt::Key_Backspace:
      return 0x08;
    case Qt::Key_Tab:
      return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 0x0D;
    case Qt::Key_Shift:
      return kNesVkShift;
    case Qt::Key_Control:
      return kNesVkControl;
    case Qt::Key_Alt:
      return kNesVkMenu;
    case Qt::Key_Pause:
      return 0x13;
    case Qt::Key_Escape:
      return 0x1B;
    case Qt::Key_Space:
      return 0x20;
    case Qt::Key_PageUp:
      return 0x21;
    case Qt::Key_PageDown:
      return 0x22;
    case Qt::Key_End:
      return 0x23;
    case Qt::Key_Home:
      return 0x24;
    case Qt::Key_Left:
      return 0x25;
    case Qt::Key_Up:
      return 0x26;
    case Qt::Key_Right:
      return 0x27;
    case Qt::Key_Down:
      return 0x28;
    case Qt::Key_Insert:
      return 0x2D;
    case Qt::Key_Delete:
      return 0x2E;
    case Qt::Key_Plus:
      return 0xBB;
    case Qt::Key_Comma:
      return 0xBC;
    case Qt::Key_Minus:
      return 0xBD;
    case Qt::Key_Period:
      return 0xBE;
    default:
      return 0;
  }
}

CRvKeyStateFilter::CRvKeyStateFilter(QObject* parent) : QObject(parent) {
  NesClearKeyDownTable();
  NesSetKeyStateProvider(ModifierState);
  if (qApp) qApp->installEventFilter(this);
}

CRvKeyStateFilter::~CRvKeyStateFilter() {
  if (qApp) qApp->removeEventFilter(this);
  NesSetKeyStateProvider(nullptr);
  NesClearKeyDownTable();
}

bool CRvKeyStateFilter::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (!key->isAutoRepeat() || event->type() == QEvent::KeyPress) {
        const int vk = RvVirtualKeyFromQt(key->key());
        if (vk != 0) NesSetKeyDown(vk, event->type() == QEvent::KeyPress);
      }
      RecordModifiers(key->modifiers());
      break;
    }
    case QEvent::ApplicationDeactivate:
      // Releases that happen in another application never reach us.
      NesClearKeyDownTable();
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}
