#pragma once

#include <QSize>
#include <QSizeF>

// Text needs Qt's font system, which needs a QGuiApplication. The player program has one; for
// rvtool and the tests one is created on first use with the offscreen platform and kept for the
// rest of the process. Safe to call from any thread; the first call does the work. Returns false
// when no font can be used (text is then left out of the picture).
bool RvEnsureMetafileFonts();

// The reference device metafile sizes are measured against: the primary screen's size in
// pixels and millimetres, read once. Without a screen, a 1920 x 1080 screen of 96 pixels per
// inch.
struct RvReferenceDevice {
  QSize pixels;
  QSizeF millimetres;
};
RvReferenceDevice RvMetafileReferenceDevice();
