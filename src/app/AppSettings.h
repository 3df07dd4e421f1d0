// Where the program keeps settings.ini, and the values read from it when the main window
// starts. All start-up reads happen in CRvStartupSettings::Read, so the defaults live in one
// place.
#pragma once

#include <string>

// Full path of settings.ini in the settings folder.
std::string RvSettingsIniPath();

inline constexpr const char* kRvSectionWindowPosition = "WindowPosition";
inline constexpr const char* kRvSectionGhost = "Ghost";
inline constexpr const char* kRvSectionFps = "Fps";
inline constexpr const char* kRvSectionPlayback = "Playback";
inline constexpr const char* kRvSectionCineon = "Cineon";
inline constexpr const char* kRvSectionMain = "Main";

struct CRvStartupSettings {
  // WindowPosition
  int activePanel = 0;
  int top = 100;
  int bottom = 450;
  int left = 100;
  int right = 620;
  int showOptionsBar = 1;
  int windowMode = 0;  // 0 normal, 1 maximised, 3 full screen
  // Ghost
  int ghostMode = 0;
  int ghostFrames = 2;
  int ghostAlpha = 127;
  // Fps
  int fps = 24;
  // Playback
  int changedFramesCriterion = 0;
  int playMode = 1;
  int frameStep = 1;
  int loopPause = 0;
  int backColor = 0;  // 0x00BBGGRR
  // Cineon
  double gammaDisplay = 2.2;
  double gammaLog = 1.7;
  int referenceBlack = 95;
  int referenceWhite = 685;
  int softClip = 0;

  // Every value from the file, each missing or unreadable one at its default above.
  static CRvStartupSettings Read(const std::string& iniPath);
};

// What the main window writes when it closes.
struct CRvWindowSettings {
  int activePanel = 0;
  int top = 0;
  int bottom = 0;
  int left = 0;
  int right = 0;
  int windowMode = 0;
  int fps = 24;

  // False when any value could not be written (the file keeps what it had for that key).
  bool Write(const std::string& iniPath) const;
};
