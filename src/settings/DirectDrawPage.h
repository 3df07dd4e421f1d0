// The "DirectDraw" page: whether full screen uses its own display mode, and which one.
#pragma once

#include <string>
#include <vector>

#include "kagraph/KaDisplayModes.h"
#include "settings/SettingsSheet.h"

class QCheckBox;
class QListWidget;

// "%i x %i\t%i Bit".
std::string RvFormatDisplayMode(int width, int height, int bitsPerPixel);
// The lines of the mode list: every mode, or with trueColorOnly only those of 24 bits and more.
std::vector<std::string> RvDisplayModeLines(const std::vector<KaDisplayMode>& modes,
                                            bool trueColorOnly);
// Splits a line at the blanks, the "x" and the tab. False unless it holds three numbers.
bool bRvParseDisplayMode(const std::string& line, int* width, int* height, int* bitsPerPixel);

class CRvSetDirectDraw : public CRvSettingsPage {
  Q_OBJECT

 public:
  static constexpr int kDefaultWidth = 800;
  static constexpr int kDefaultHeight = 600;
  static constexpr int kDefaultBits = 32;

  CRvSetDirectDraw(const CRvSettingsContext& context, QWidget* parent);
  // Empties and refills the list from the display's modes (disabled while "Use" is off).
  void FillModeList();
  QListWidget* ModeList() const { return m_modes; }

 private:
  void OnBoxClicked(QCheckBox* box, const char* key);
  void OnModeSelected();

  const CRvSettingsContext& m_context;
  QCheckBox* m_use = nullptr;
  QCheckBox* m_trueColorOnly = nullptr;
  QListWidget* m_modes = nullptr;
};
