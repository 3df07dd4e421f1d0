#include "app/AppSettings.h"

#include "support/NesCommon55.h"

std::string RvSettingsIniPath() { return strSettingsPath() + "settings.ini"; }

CRvStartupSettings CRvStartupSettings::Read(const std::string& ini) {
  CRvStartupSettings s;
  const auto readInt = [&ini](const char* section, const char* key, int* value) {
    *value = iReadFromIniFile(ini, section, key, *value);
  };
  const auto readDouble = [&ini](const char* section, const char* key, double* value) {
    *value = dReadFromIniFile(ini, section, key, *value);
  };
  readInt(kRvSectionWindowPosition, "ActivePanel", &s.activePanel);
  readInt(kRvSectionWindowPosition, "top", &s.top);
  readInt(kRvSectionWindowPosition, "bottom", &s.bottom);
  readInt(kRvSectionWindowPosition, "left", &s.left);
  readInt(kRvSectionWindowPosition, "right", &s.right);
  readInt(kRvSectionWindowPosition, "ShowOptionsBar", &s.showOptionsBar);
  readInt(kRvSectionWindowPosition, "Mode", &s.windowMode);
  readInt(kRvSectionGhost, "Mode", &s.ghostMode);
  readInt(kRvSectionGhost, "Frames", &s.ghostFrames);
  readInt(kRvSectionGhost, "Alpha", &s.ghostAlpha);
  readInt(kRvSectionFps, "fps", &s.fps);
  readInt(kRvSectionPlayback, "ChangedFramesCriterion", &s.changedFramesCriterion);
  readInt(kRvSectionPlayback, "PlayMode", &s.playMode);
  readInt(kRvSectionPlayback, "FrameStep", &s.frameStep);
  readInt(kRvSectionPlayback, "LoopPause", &s.loopPause);
  readInt(kRvSectionPlayback, "BackColor", &s.backColor);
  readDouble(kRvSectionCineon, "GammaDisplay", &s.gammaDisplay);
  readDouble(kRvSectionCineon, "GammaLog", &s.gammaLog);
  readInt(kRvSectionCineon, "ReferenceBlack", &s.referenceBlack);
  readInt(kRvSectionCineon, "ReferenceWhite", &s.referenceWhite);
  readInt(kRvSectionCineon, "SoftClip", &s.softClip);
  return s;
}

bool CRvWindowSettings::Write(const std::string& ini) const {
  bool ok = bWriteToIniFile(ini, kRvSectionWindowPosition, "ActivePanel", activePanel);
  ok = bWriteToIniFile(ini, kRvSectionWindowPosition, "top", top) && ok;
  ok = bWriteToIniFile(ini, kRvSectionWindowPosition, "bottom", bottom) && ok;
  ok = bWriteToIniFile(ini, kRvSectionWindowPosition, "left", left) && ok;
  ok = bWriteToIniFile(ini, kRvSectionWindowPosition, "right", right) && ok;
  ok = bWriteToIniFile(ini, kRvSectionWindowPosition, "Mode", windowMode) && ok;
  ok = bWriteToIniFile(ini, kRvSectionFps, "fps", fps) && ok;
  return ok;
}
