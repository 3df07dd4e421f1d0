// The resample panel: "Toggle Resample Mode" and the resample list with the presets of
// resample.rvps.
#pragma once

#include "app/RvSpecifierPanel.h"

class CRvResamplePanel : public CRvSpecifierPanel {
  Q_OBJECT

 public:
  static constexpr int kToggleId = 1084;
  static constexpr int kListId = 1085;

  CRvResamplePanel(CRvMainDlg* dlg, QWidget* parent = nullptr);

 protected:
  bool ParseInto(const std::string& text, std::string* error, int* count) override;
  std::string FormatSpec() const override;
  bool SpecEmpty() const override;
  bool IsSetOnEngine(const CKaDrawThread& engine) const override;
  void SetOnEngine(CKaDrawThread* engine, bool on) override;
};
