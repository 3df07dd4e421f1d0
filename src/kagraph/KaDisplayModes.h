// The display modes a screen offers, for the full-screen settings: from the X server's RandR
// extension where the program runs on X11 and the extension is there, otherwise the screen's
// current mode alone (Wayland, the offscreen platform, a build without libXrandr).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kagraph/KaExport.h"

class QScreen;

struct KaDisplayMode {
  unsigned width = 0;
  unsigned height = 0;
  unsigned bitsPerPixel = 0;
  bool operator==(const KaDisplayMode&) const = default;
};

// Texts of the failures, shown to the user by the settings page.
inline constexpr const char* kKaDisplayCreateFailedFormat =
    "Call to DirectDrawCreate failed\r\nError Code = %i";
inline constexpr const char* kKaDisplayGeneralError = "General error accessing DirectDraw";

// Bits per pixel of pixels of a colour depth (a depth of 24 is stored in 32-bit pixels).
KA_EXPORT unsigned KaBitsPerPixelOfDepth(int depth);

// The modes of the screen (null: the primary screen), each size once, in the order the server
// lists them. False, with *errorText set, when the modes cannot be asked for.
KA_EXPORT bool bKaEnumDisplayModes(QScreen* screen, std::vector<KaDisplayMode>* modes,
                                   std::string* errorText);

// Switches the display showing a screen to another size for the life of the object and then
// restores the mode it had. Works through RandR 1.3 on X11 where the server allows it; the
// colour depth of an X screen is fixed, so only the size changes. Where nothing can be switched
// the display stays as it is and Report() says why. Create and destroy on the UI thread.
class KA_EXPORT CKaDisplayModeSwitch {
 public:
  CKaDisplayModeSwitch(QScreen* screen, unsigned width, unsigned height);
  ~CKaDisplayModeSwitch();
  CKaDisplayModeSwitch(const CKaDisplayModeSwitch&) = delete;
  CKaDisplayModeSwitch& operator=(const CKaDisplayModeSwitch&) = delete;

  bool IsSwitched() const { return m_switched; }
  // What was done, or why not, for the log.
  const std::string& Report() const { return m_report; }

 private:
  struct State;
  std::unique_ptr<State> m_state;
  bool m_switched = false;
  std::string m_report;
};
