// Control ids of the settings pages (each control carries its id as the property
// "controlId"), the sections and keys the pages read and write, and small shared helpers.
#pragma once

#include <QWidget>

inline constexpr int kRvIdClose = 1;  // the sheet's OK button, titled "Close"

// About
inline constexpr int kRvIdAboutIcon = 1200;
inline constexpr int kRvIdAboutProduct = 1201;
inline constexpr int kRvIdAboutVersion = 1202;
inline constexpr int kRvIdAboutHelpLink = 1203;
inline constexpr int kRvIdAboutFolderLink = 1204;
inline constexpr int kRvIdAboutCredits = 1205;
// Playback settings
inline constexpr int kRvIdMemorySlider = 1210;
inline constexpr int kRvIdMemoryPercent = 1211;
inline constexpr int kRvIdPlayAfterOpening = 1212;
inline constexpr int kRvIdBackColorSwatch = 1213;
inline constexpr int kRvIdBackColorChoose = 1214;
inline constexpr int kRvIdBackColorNote = 1215;
inline constexpr int kRvIdCriterionFirst = 1216;  // four radio buttons, 1216..1219
// DirectDraw
inline constexpr int kRvIdUseDirectDraw = 1230;
inline constexpr int kRvIdTrueColorOnly = 1231;
inline constexpr int kRvIdDisplayModes = 1232;
// Frame Ghosting
inline constexpr int kRvIdGhostOff = 1240;
inline constexpr int kRvIdGhostTrailfade = 1241;
inline constexpr int kRvIdGhostEqual = 1242;
inline constexpr int kRvIdGhostFrames = 1243;
inline constexpr int kRvIdGhostAlpha = 1244;
// Output Options
inline constexpr int kRvIdStartMediaPlayer = 1250;
// Cineon Properties
inline constexpr int kRvIdCineonDisplayGamma = 1260;
inline constexpr int kRvIdCineonGamma = 1261;
inline constexpr int kRvIdCineonReferenceBlack = 1262;
inline constexpr int kRvIdCineonReferenceWhite = 1263;
inline constexpr int kRvIdCineonSoftClip = 1264;
inline constexpr int kRvIdCineonSave = 1265;
inline constexpr int kRvIdCineonLoad = 1266;
inline constexpr int kRvIdCineonWarning = 1267;

inline constexpr const char* kRvKeySectionPlayback = "Playback";
inline constexpr const char* kRvKeySectionDirectDraw = "DirectDraw";
inline constexpr const char* kRvKeySectionOutput = "Output";

template <typename W>
W* RvWithId(W* widget, int id) {
  widget->setProperty("controlId", id);
  return widget;
}
