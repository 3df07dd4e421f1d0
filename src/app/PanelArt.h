// The options-bar panels' own artwork and the look of their controls: glyph buttons for the
// play modes, crop and resample, text buttons, and dark edit fields that sit on the black strip.
#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

class QWidget;
class CRvBitmapButton;

enum class RvPanelGlyph { Loop, PingPong, Once, CropToggle, CropSelect, ResampleToggle };

// Image 0 normal, 1 pressed, 2 checked (pressed face, blue glyph), 3 checked and pressed.
QPixmap RvPanelButtonFace(RvPanelGlyph glyph, int image, QSize size, qreal devicePixelRatio);
QPixmap RvTextButtonFace(const QString& text, int image, QSize size, qreal devicePixelRatio);

// A 20 x 20 glyph button carrying its control id and tool tip.
CRvBitmapButton* RvMakePanelButton(QWidget* parent, int controlId, RvPanelGlyph glyph,
                                   const char* toolTip);
// A text button, `width` wide and 20 high.
CRvBitmapButton* RvMakeTextButton(QWidget* parent, int controlId, const QString& text,
                                  const char* toolTip, int width);
// Light text on dark grey for line edits, combo boxes and labels of a panel.
void RvStylePanel(QWidget* panel);
