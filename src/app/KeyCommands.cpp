#include "app/KeyCommands.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>
#include <QWindow>
#include <algorithm>

#include "engine/DrawThread.h"
#include "engine/StatusLine.h"
#include "kagraph/KaFullscreen.h"

namespace {
constexpr int kPanStep = 10;
constexpr double kGammaStep = 0.1;
constexpr double kGammaFineStep = 0.01;
}  // namespace

CRvKeyCommands::CRvKeyCommands(CKaDrawThread* engine, CKaStatusLine* statusLine, QWidget* view,
                               CRvKeyTarget* target, QObject* parent)
    : QObject(parent), m_engine(engine), m_statusLine(statusLine), m_view(view), m_target(target) {
  if (qApp) qApp->installEventFilter(this);
}

CRvKeyCommands::~CRvKeyCommands() {
  if (qApp) qApp->removeEventFilter(this);
}

bool CRvKeyCommands::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    // Only keys meant for our own windows: a key typed into another top-level dialog (a
    // message box, the error dialog) stays there.
    auto* widget = qobject_cast<QWidget*>(watched);
    auto* window = qobject_cast<QWindow*>(watched);
    // The full-screen surface is a window of its own: its keys (Esc, F) are ours as well.
    const bool surface = window && window->objectName() == QLatin1String(kKaFullscreenWindowName);
    if ((widget && m_view && widget->window() == m_view->window()) || surface) {
      auto* key = static_cast<QKeyEvent*>(event);
      if (TypingInPanelField()) return HandleFieldKey(key->key());
      if (HandleKey(key->key(), key->modifiers())) return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

bool CRvKeyCommands::TypingInPanelField() const {
  if (!m_view || (m_target && m_target->KeyLoadPanelState() != RvLoadPanelState::Closed))
    return false;
  // The window's own focus child: the one its keys go to.
  QWidget* focus = m_view->window()->focusWidget();
  auto* list = qobject_cast<QComboBox*>(focus);
  const bool field = qobject_cast<QLineEdit*>(focus) || (list && list->isEditable());
  return field && focus->isVisible();
}

bool CRvKeyCommands::HandleFieldKey(int key) {
  // Text typed into an options-bar field is the field's: "r10" must not switch to the red
  // channel. F1 still helps, and Esc hands the keys back to the command table.
  if (key == Qt::Key_F1 && m_target) {
    m_target->ShowHelp();
    return true;
  }
  if (key == Qt::Key_Escape) {
    m_view->window()->setFocus();
    return true;
  }
  return false;
}

bool CRvKeyCommands::HandleKey(int key, Qt::KeyboardModifiers modifiers) {
  if (key == Qt::Key_F1 && m_target) {
    m_target->ShowHelp();
    return true;
  }
  if (m_target && m_target->KeyLoadPanelState() != RvLoadPanelState::Closed)
    return HandleLoadPanelKey(key);
  if (!m_engine) return false;
  const bool shift = modifiers & Qt::ShiftModifier;
  const bool ctrl = modifiers & Qt::ControlModifier;
  const bool alt = modifiers & Qt::AltModifier;
  const bool keypad = modifiers & Qt::KeypadModifier;
  if (m_target && HandleWindowKey(key, ctrl, alt)) return true;
  switch (key) {
    case Qt::Key_U:
    case Qt::Key_F5:
      m_engine->RequestChangedCheck();
      return true;
    case Qt::Key_R:
      m_engine->SetViewMode(KaViewMode::RedChannel);
      return true;
    case Qt::Key_G:
      if (alt) {
        if (m_target) m_target->OpenSettings(1);
        return m_target != nullptr;
      }
      m_engine->SetViewMode(KaViewMode::GreenChannel);
      return true;
    case Qt::Key_B:
      m_engine->SetViewMode(KaViewMode::BlueChannel);
      return true;
    case Qt::Key_A:
      m_engine->SetViewMode(ctrl    ? KaViewMode::ShowAlphaInverted
                            : shift ? KaViewMode::ShowAlpha
                                    : KaViewMode::AlphaChannel);
      return true;
    case Qt::Key_C:
      m_engine->ToggleGamma();
      return true;
    case Qt::Key_I:
      if (ctrl) {
        m_engine->ToggleInfoText();
      } else if (shift) {
        m_engine->SetInPoint(CKaDrawThread::kNone, false);
        if (m_target) m_target->RefreshInOutPanel();
      } else if (alt) {
        m_engine->SetInOutSpan();
        if (m_target) m_target->RefreshInOutPanel();
      } else {
        m_engine->GotoInPoint();
      }
      return true;
    case Qt::Key_O:
      if (shift) {
        m_engine->SetOutPoint(CKaDrawThread::kNone, false);
        if (m_target) m_target->RefreshInOutPanel();
      } else {
        m_engine->GotoOutPoint();
      }
      return true;
    case Qt::Key_Space: {
      const bool busy =
          m_engine->IsPlaying() || m_engine->GetPendingAction() != KaPendingAction::None;
      if (alt) {
        m_engine->SetViewMode(KaViewMode::Normal);
      } else if (shift) {
        if (busy && m_engine->IsPlaying() && m_engine->IsReverse()) {
          m_engine->Play(true);
        } else {
          m_engine->PlayReverse(true);
        }
      } else if (busy) {
        m_engine->Pause(true);
      } else {
        m_engine->Play(true);
      }
      return true;
    }
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
      return HandleArrows(key, shift, ctrl, alt);
    case Qt::Key_Plus:
      if (!keypad) return false;
      m_engine->ZoomIn(true);
      return true;
    case Qt::Key_Minus:
      if (!keypad) return false;
      m_engine->ZoomOut(true);
      return true;
    case Qt::Key_PageUp:
      if (alt) {
        m_displayGamma += shift ? kGammaFineStep : kGammaStep;
        m_engine->SetGamma(m_displayGamma);
      } else {
        m_engine->Faster(1);
        if (m_target) m_target->RefreshPlayPanel();
      }
      return true;
    case Qt::Key_PageDown:
      if (alt) {
        m_displayGamma = std::max(0.0, m_displayGamma - (shift ? kGammaFineStep : kGammaStep));
        m_engine->SetGamma(m_displayGamma);
      } else {
        m_engine->Slower(1);
        if (m_target) m_target->RefreshPlayPanel();
      }
      return true;
    default:
      return false;
  }
}

bool CRvKeyCommands::HandleLoadPanelKey(int key) {
  switch (key) {
    case Qt::Key_Escape:
      if (m_target->KeyLoadPanelState() == RvLoadPanelState::Writing) {
        m_target->RequestStop();
      } else {
        m_target->CancelLoadPanel();
      }
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (m_target->LoadPanelEnter()) return true;
      if (m_target->IsAcceptEnabled()) {
        m_target->AcceptLoadPanel();
      } else {
        QApplication::beep();
      }
      return true;
    default:
      return false;  // the panel's own controls get every other key
  }
}

// The keys that act on the window rather than the engine, tested before the engine's.
bool CRvKeyCommands::HandleWindowKey(int key, bool ctrl, bool alt) {
  switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      m_target->CycleOptionsBar();
      return true;
    case Qt::Key_Escape:
      m_target->EscapeFullScreen();
      return true;
    case Qt::Key_M:
      if (!alt) return false;
      m_target->ToggleMaximize();
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (!alt) return false;
      m_target->FullScreenSwitch();
      return true;
    case Qt::Key_F:
      m_target->FullScreenSwitch();
      return true;
    case Qt::Key_O:
      if (!ctrl) return false;
      m_target->ShowLoadPanel();
      return true;
    case Qt::Key_S:
      if (ctrl) {
        m_target->SaveSequence();
      } else {
        m_target->OpenSettings(-1);
      }
      return true;
    default:
      return false;
  }
}

bool CRvKeyCommands::HandleArrows(int key, bool shift, bool ctrl, bool alt) {
  if (shift) {
    switch (key) {
      case Qt::Key_Left:
        m_engine->PanLeft(kPanStep, true);
        break;
      case Qt::Key_Right:
        m_engine->PanRight(kPanStep, true);
        break;
      case Qt::Key_Up:
        m_engine->PanUp(kPanStep, true);
        break;
      case Qt::Key_Down:
        m_engine->PanDown(kPanStep, true);
        break;
      case Qt::Key_Home:
        m_engine->ResetPan(true);
        break;
      default:
        break;
    }
  } else if (key == Qt::Key_Left) {
    m_engine->StepBack(true);
  } else if (key == Qt::Key_Right) {
    m_engine->StepForward(true);
  }
  if (key == Qt::Key_Home && alt && m_target) m_target->AdjustWindowSize();
  if (key == Qt::Key_Home && ctrl) ZoomToFit();
  m_engine->RequestRedraw();
  return true;
}

void CRvKeyCommands::ZoomToFit() {
  const int w = m_view ? m_view->width() : 0;
  const int h = m_view ? m_view->height() : 0;
  const int fw = m_engine->GetLastFrameWidth();
  const int fh = m_engine->GetLastFrameHeight();
  if (w == 0 || h == 0 || fw == 0 || fh == 0) return;
  const double zoom = std::min(double(w) / double(fw), double(h) / double(fh));
  m_engine->SetZoom(zoom, true);
  m_engine->ResetPan(true);
  if (m_statusLine) m_statusLine->ShowMessage("Zoom to fit", 1);
}
