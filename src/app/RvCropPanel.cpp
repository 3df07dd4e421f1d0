#include "app/RvCropPanel.h"

#include "app/RvBitmapButton.h"
#include "app/RvMainDlg.h"
#include "engine/DrawThread.h"

namespace {
constexpr int kSelectAreaX = 24;
constexpr int kListX = 48;
constexpr int kListWidth = 170;
}  // namespace

CRvCropPanel::CRvCropPanel(CRvMainDlg* dlg, QWidget* parent)
    : CRvSpecifierPanel(dlg, kRvCropPresetFile, RvDefaultCropPresets(), parent) {
  setObjectName(QStringLiteral("cropPanel"));
  Build(kToggleId, RvPanelGlyph::CropToggle, "Toggle Crop Mode", kListId, kListX, kListWidth);
  m_selectArea =
      RvMakePanelButton(this, kSelectAreaId, RvPanelGlyph::CropSelect, "Select Crop Area");
  m_selectArea->move(kSelectAreaX, 2);
  connect(m_selectArea, &QAbstractButton::clicked, this, [this] {
    m_dlg->ToggleCropSelection();
    RefreshSelection();
  });
}

void CRvCropPanel::RefreshSelection() { m_selectArea->SetChecked(m_dlg->IsCropSelection()); }

bool CRvCropPanel::ParseInto(const std::string& text, std::string* error, int* count) {
  return RvParseSpecAside(text, m_dlg->Crop(), m_dlg->Engine(), error, count);
}

std::string CRvCropPanel::FormatSpec() const { return m_dlg->Crop()->Format(); }
bool CRvCropPanel::SpecEmpty() const { return m_dlg->Crop()->IsEmpty(); }
bool CRvCropPanel::IsSetOnEngine(const CKaDrawThread& engine) const {
  return engine.GetCrop() != nullptr;
}
void CRvCropPanel::SetOnEngine(CKaDrawThread* engine, bool on) {
  engine->SetCrop(on ? m_dlg->Crop() : nullptr);
}
