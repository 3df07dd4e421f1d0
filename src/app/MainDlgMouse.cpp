// The main window's mouse: dragging and sizing the frameless window, panning, crop selection,
// right-button scrubbing, the wheel, and files dropped from a file manager.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QRubberBand>
#include <QWheelEvent>
#include <QWindow>

#include "app/PlaybackObserver.h"
#include "app/PlaybackView.h"
#include "app/RvMainDlg.h"
#include "engine/DisplayMath.h"
#include "engine/DrawThread.h"
#include "sequence/PlayList.h"

namespace {

Qt::Edges EdgesOf(RvHitArea area) {
  switch (area) {
    case RvHitArea::Left:
      return Qt::LeftEdge;
    case RvHitArea::Right:
      return Qt::RightEdge;
    case RvHitArea::Top:
      return Qt::TopEdge;
    case RvHitArea::Bottom:
      return Qt::BottomEdge;
    case RvHitArea::TopLeft:
      return Qt::TopEdge | Qt::LeftEdge;
    case RvHitArea::TopRight:
      return Qt::TopEdge | Qt::RightEdge;
    case RvHitArea::BottomLeft:
      return Qt::BottomEdge | Qt::LeftEdge;
    case RvHitArea::BottomRight:
      return Qt::BottomEdge | Qt::RightEdge;
    default:
      return {};
  }
}

Qt::CursorShape CursorOf(RvHitArea area) {
  switch (area) {
    case RvHitArea::Left:
    case RvHitArea::Right:
      return Qt::SizeHorCursor;
    case RvHitArea::Top:
    case RvHitArea::Bottom:
      return Qt::SizeVerCursor;
    case RvHitArea::TopLeft:
    case RvHitArea::BottomRight:
      return Qt::SizeFDiagCursor;
    case RvHitArea::TopRight:
    case RvHitArea::BottomLeft:
      return Qt::SizeBDiagCursor;
    default:
      return Qt::ArrowCursor;
  }
}

}  // namespace

void CRvMainDlg::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  const Qt::KeyboardModifiers mods = event->modifiers();
  if (event->button() == Qt::LeftButton) {
    if (mods & (Qt::ShiftModifier | Qt::AltModifier)) {
      m_panDragging = true;
      m_panLast = at;
    } else if (m_cropSelection && m_playbackView->geometry().contains(at) && m_engine &&
               m_loadPanelState != RvLoadPanelState::Writing) {
      m_cropStart = at;
      if (m_engine->IsPlaying() || m_engine->GetPendingAction() != KaPendingAction::None)
        m_engine->Pause(true);
      m_cropHeld = m_engine->Hold();  // released at button up
      m_cropDragging = true;
      m_cropBand->hide();
    } else if (QWindow* window = windowHandle()) {
      const RvHitArea area = RvHitTest(rect(), at, m_windowMode);
      if (area == RvHitArea::Caption) {
        // Without a window manager that moves windows, the window follows the mouse itself.
        if (!window->startSystemMove()) {
          m_manualMove = true;
          m_moveOffset = event->globalPosition().toPoint() - pos();
        }
      } else if (area != RvHitArea::Client) {
        window->startSystemResize(EdgesOf(area));
      }
    }
  } else if (event->button() == Qt::RightButton) {
    StartScrub(at);
  }
  event->accept();
}

void CRvMainDlg::StartScrub(const QPoint& at) {
  if (!m_engine || m_loadPanelState == RvLoadPanelState::Writing) return;
  m_scrubbing = true;
  m_scrubLast = at;
  m_scrubWasPlaying = m_engine->IsPlaying();
  m_scrubWasReverse = m_engine->IsReverse();
  if (m_scrubWasPlaying) {
    if (m_scrubWasReverse) {
      m_engine->TogglePlayReverse();
    } else {
      m_engine->TogglePlay();
    }
  }
}

void CRvMainDlg::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (m_manualMove) {
    move(event->globalPosition().toPoint() - m_moveOffset);
  } else if (m_panDragging && m_engine) {
    const QPoint d = at - m_panLast;
    m_panLast = at;
    if (!d.isNull()) m_engine->PanBy(d.x(), d.y());
  } else if (m_cropDragging) {
    const QPoint offset = m_playbackView->pos();
    m_cropBand->setGeometry(QRect(m_cropStart - offset, at - offset).normalized());
    m_cropBand->show();
  } else if (m_scrubbing && m_engine) {
    const int steps = RvScrubSteps(at.x() - m_scrubLast.x(), width(),
                                   m_playList ? m_playList->GetFrameCount() : 0);
    for (int i = 0; i < std::abs(steps); ++i) {
      if (steps < 0) {
        m_engine->StepBack(false);
      } else {
        m_engine->StepForward(false);
      }
    }
    m_scrubLast = at;
  } else if (!(event->buttons() & Qt::LeftButton)) {
    const RvHitArea area = RvHitTest(rect(), at, m_windowMode);
    setCursor(m_cropSelection && m_playbackView->geometry().contains(at) ? Qt::CrossCursor
                                                                         : CursorOf(area));
  }
}

void CRvMainDlg::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (event->button() == Qt::LeftButton) {
    m_panDragging = false;
    m_manualMove = false;
    if (m_cropDragging) EndCropDrag(at);
  } else if (event->button() == Qt::RightButton && m_scrubbing) {
    m_scrubbing = false;
    if (m_scrubWasPlaying && m_engine) {
      if (m_scrubWasReverse) {
        m_engine->TogglePlayReverse();
      } else {
        m_engine->TogglePlay();
      }
    }
  }
}

void CRvMainDlg::EndCropDrag(const QPoint& end) {
  m_cropDragging = false;
  m_cropBand->hide();
  if (m_cropHeld) m_engine->Release();
  m_cropHeld = false;
  m_cropSelection = false;
  setCursor(Qt::ArrowCursor);
  const QPoint offset = m_playbackView->pos();
  const QRect r = QRect(m_cropStart - offset, end - offset).normalized();
  if (r.width() <= 0 || r.height() <= 0 || !m_engine) {
    RefreshCropPanel();  // selection is off again
    return;
  }
  KaShownPicture picture;
  picture.display = m_engine->GetDisplayRect();
  picture.zoom = m_engine->GetZoom();
  picture.panX = m_engine->GetPanX();
  picture.panY = m_engine->GetPanY();
  picture.shownWidth = m_engine->GetLastFrameWidth();
  picture.shownHeight = m_engine->GetLastFrameHeight();
  if (m_playList) {
    picture.sourceWidth = int(m_playList->GetLastSourceWidth());
    picture.sourceHeight = int(m_playList->GetLastSourceHeight());
  }
  picture.crop = m_engine->GetCrop();
  CRvCrop crop;
  if (!KaViewRectToCrop(picture, {r.left(), r.top(), r.right() + 1, r.bottom() + 1}, &crop)) {
    RefreshCropPanel();
    return;
  }
  {
    // The worker reads the crop while it decodes: change it only while the worker is held.
    CKaHoldGuard hold(m_engine.get());
    m_crop = crop;
    m_engine->SetCrop(&m_crop);
  }
  RefreshCropPanel();
  ShowStatus("Crop " + m_crop.Format());
}

void CRvMainDlg::ToggleCropSelection() {
  if (m_cropSelection) {
    if (m_cropDragging) {
      m_cropDragging = false;
      m_cropBand->hide();
      if (m_cropHeld) m_engine->Release();
      m_cropHeld = false;
    }
    m_cropSelection = false;
    setCursor(Qt::ArrowCursor);
  } else {
    m_cropSelection = true;
    m_playbackView->setCursor(Qt::CrossCursor);
    return;
  }
  m_playbackView->setCursor(Qt::ArrowCursor);
}

void CRvMainDlg::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && event->position().y() < kRvCaptionHeight &&
      m_windowMode != RvWindowMode::FullScreen)
    ToggleMaximize();
}

void CRvMainDlg::wheelEvent(QWheelEvent* event) {
  event->accept();
  if (!m_engine || m_loadPanelState == RvLoadPanelState::Writing) return;
  const Qt::KeyboardModifiers mods = event->modifiers();
  // Some systems turn an Alt+wheel into a horizontal one.
  const int delta =
      event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
  if (delta == 0) return;
  const bool towardsUser = delta < 0;
  if (mods & Qt::ControlModifier) {
    if (towardsUser) {
      m_engine->ZoomIn(true);
    } else {
      m_engine->ZoomOut(true);
    }
  } else if (mods & Qt::AltModifier) {
    if (towardsUser) {
      ShowPreviousPanel();
    } else {
      ShowNextPanel();
    }
  } else if (mods & Qt::ShiftModifier) {
    if (towardsUser) {
      if (m_engine->GetFps() >= 1) m_engine->Slower(1);
    } else {
      m_engine->Faster(1);
    }
    RefreshPlayPanel();
  } else {
    if (m_engine->IsPlaying()) m_engine->Pause(false);
    const int steps = m_wheel.Add(delta);
    for (int i = 0; i < std::abs(steps); ++i) {
      // Towards the user (negative delta) steps forward.
      if (steps < 0) {
        m_engine->StepForward(false);
      } else {
        m_engine->StepBack(false);
      }
    }
  }
}

void CRvMainDlg::dragEnterEvent(QDragEnterEvent* event) {
  const QMimeData* data = event->mimeData();
  if (data && data->hasUrls() && !data->urls().isEmpty() && data->urls().first().isLocalFile())
    event->acceptProposedAction();
}

void CRvMainDlg::dropEvent(QDropEvent* event) {
  const QMimeData* data = event->mimeData();
  if (!data || !data->hasUrls() || data->urls().isEmpty()) return;
  event->acceptProposedAction();
  OpenDroppedFile(data->urls().first().toLocalFile().toStdString());
}

bool CRvMainDlg::OpenDroppedFile(const std::string& path) {
  if (m_loadPanelState == RvLoadPanelState::Writing) {
    // The play list is being read by the writing: a drop only stops it.
    RequestStop();
    return false;
  }
  const bool held = m_engine && m_engine->Hold();
  const bool opened = OpenSequenceFromPath(path, &m_playList);
  if (opened) {
    AttachPlayList();
    UpdateTitle();
    RefreshInOutPanel();
    if (m_loadPanelState == RvLoadPanelState::Open) {
      if (m_heldForLoadPanel && m_engine) m_engine->Release();  // the panel's hold ends with it
      m_heldForLoadPanel = false;
    } else if (m_loadPanelState == RvLoadPanelState::Writing) {
      RequestStop();
    }
    m_loadPanelState = RvLoadPanelState::Closed;
    RecalcLayout();
    setFocus();
  }
  if (held) m_engine->Release();
  if (!opened) {
    // Not modal: the window goes on playing what it had.
    auto* box = new QMessageBox(QMessageBox::NoIcon, windowTitle(),
                                QString::fromLocal8Bit("Unable to open sequence " + path),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("openSequenceError"));
    box->open();
  }
  return opened;
}
