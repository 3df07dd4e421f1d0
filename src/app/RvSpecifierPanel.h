// What the crop and resample panels share: a toggle button, an editable drop-down list filled
// from a preset file, Apply when the list's text is confirmed (Enter or a pick from the list),
// and a context menu that saves the current specifier as a preset or deletes one.
#pragma once

#include <QWidget>
#include <string>

#include "app/PanelArt.h"
#include "engine/DrawThread.h"
#include "imageops/RvPresets.h"

class QComboBox;
class QMenu;
class CRvBitmapButton;
class CRvMainDlg;

// Parses text into a fresh Spec and only then stores it into *target while the engine is held:
// the engine may be using *target right now, and a failed parse must not leave it half changed.
template <typename Spec>
bool RvParseSpecAside(const std::string& text, Spec* target, CKaDrawThread* engine,
                      std::string* error, int* count) {
  Spec parsed;
  std::string rest = text;
  if (!parsed.Parse(&rest, error, count)) return false;
  CKaHoldGuard hold(engine);
  *target = parsed;
  return true;
}

class CRvSpecifierPanel : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeight = 24;

  // Apply: empty text switches the specifier off; a preset name (any letter case) stands for
  // its command line; text that parses replaces the list's text by the formatted specifier and
  // switches it on; text that does not parse is selected from the failing token on, with a beep.
  void Apply();
  // Off when the engine has one set, else on with the panel's specifier.
  void Toggle();
  // The toggle shows whether one is set, the list the panel's specifier.
  void Refresh();

  // Stores the panel's current specifier under name in the preset file. False (with a
  // message box) when there is nothing to store, the name cannot be stored or the file cannot
  // be written.
  bool AddPreset(const std::string& name);
  bool DeletePreset(int index);
  // The list's context menu: "Save Current as Preset..." and "Delete Preset" with one entry
  // per preset. Owned by the caller.
  QMenu* CreatePresetMenu(QWidget* parent);
  // Rereads the preset file into the list.
  void LoadPresets();

  QComboBox* List() const { return m_list; }
  CRvBitmapButton* ToggleButton() const { return m_toggle; }
  const CRvPresetList& Presets() const { return m_presets; }
  std::string PresetPath() const;

 protected:
  CRvSpecifierPanel(CRvMainDlg* dlg, const char* presetFile, const char* defaults, QWidget* parent);
  // Builds the toggle at x = 2 and the list from listX, listWidth wide.
  void Build(int toggleId, RvPanelGlyph glyph, const char* toggleTip, int listId, int listX,
             int listWidth);

  // Parses text; on success the panel's specifier takes the parsed values (while the engine
  // is held, since the engine may be applying it). *count is the failing token's offset.
  virtual bool ParseInto(const std::string& text, std::string* error, int* count) = 0;
  virtual std::string FormatSpec() const = 0;
  virtual bool SpecEmpty() const = 0;
  virtual bool IsSetOnEngine(const CKaDrawThread& engine) const = 0;
  // on: the panel's specifier; off: none.
  virtual void SetOnEngine(CKaDrawThread* engine, bool on) = 0;

  CRvMainDlg* m_dlg;

 private:
  void ShowPresetMenu(const QPoint& globalPos);
  bool SavePresets();
  void AskAndAddPreset();

  const char* m_presetFile;
  CRvPresetList m_presets;
  CRvBitmapButton* m_toggle = nullptr;
  QComboBox* m_list = nullptr;
};
