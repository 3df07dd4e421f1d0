// The program's own artwork, drawn with QPainter at the device-pixel ratio it is shown at, so
// it stays crisp on every screen: button faces, the skin pieces of the main window and the
// program icon.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

class QPainter;

enum class RvGlyph {
  Help,
  AlwaysOnTop,
  Minimize,
  Maximize,
  Fullscreen,
  Close,
  Open,
  Save,
  Rewind,
  StepBack,
  PlayReverse,
  Play,
  StepForward,
  End,
  ZoomIn,
  ZoomOut,
  Settings,
  Ok,
  Cancel,
  ScrollLeft,
  ScrollRight,
};

// A button face: image 0 normal, 1 pressed, 2 checked, 3 checked and pressed. Checked faces
// show the button's other meaning (pause for the play buttons, restore for maximise).
QPixmap RvButtonFace(RvGlyph glyph, int image, QSize size, qreal devicePixelRatio);
// The rounded face under every glyph, for artwork drawn elsewhere (the options-bar panels).
void RvDrawButtonBase(QPainter* painter, const QRectF& rect, bool pressed);

// The skin pieces of the main window's frame.
enum class RvSkinPiece {
  TopLeft,      // 3 x 16
  Caption,      // 1 x 16, stretched
  TopRight,     // 3 x 16
  Left,         // 3 x 1, stretched
  Right,        // 3 x 1, stretched
  BottomLeft,   // 3 x 28
  Bottom,       // 1 x 28, stretched
  BottomRight,  // 3 x 28
  Inner,        // 1 x 1, the black behind the view
};
QPixmap RvSkin(RvSkinPiece piece, qreal devicePixelRatio);

// The program icon at 16, 32, 48, 64, 128 and 256 pixels.
QIcon RvProgramIcon();
QPixmap RvProgramIconPixmap(int size);
