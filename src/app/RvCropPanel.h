// The crop panel: "Toggle Crop Mode", "Select Crop Area" (the mouse draws the crop on the
// view) and the crop list with the presets of crop.rvps.
#pragma once

#include "app/RvSpecifierPanel.h"

class CRvCropPanel : public CRvSpecifierPanel {
  Q_OBJECT

 public:
  static constexpr int kToggleId = 1086;
  static constexpr int kSelectAreaId = 1087;
  static constexpr int kListId = 1088;

  CRvCropPanel(CRvMainDlg* dlg, QWidget* parent = nullptr);
  CRvBitmapButton* SelectAreaButton() const { return m_selectArea; }
  // Also shows whether the view is selecting a crop area.
  void RefreshSelection();

 protected:
  bool ParseInto(const std::string& text, std::string* error, int* count) override;
  std::string FormatSpec() const override;
  bool SpecEmpty() const override;
  bool IsSetOnEngine(const CKaDrawThread& engine) const override;
  void SetOnEngine(CKaDrawThread* engine, bool on) override;

 private:
  CRvBitmapButton* m_selectArea = nullptr;
};
