#include "app/RvResamplePanel.h"

#include "app/RvMainDlg.h"
#include "engine/DrawThread.h"

namespace {
constexpr int kListX = 24;
constexpr int kListWidth = 170;
}  // namespace

CRvResamplePanel::CRvResamplePanel(CRvMainDlg* dlg, QWidget* parent)
    : CRvSpecifierPanel(dlg, kRvResamplePresetFile, RvDefaultResamplePresets(), parent) {
  setObjectName(QStringLiteral("resamplePanel"));
  Build(kToggleId, RvPanelGlyph::ResampleToggle, "Toggle Resample Mode", kListId, kListX,
        kListWidth);
}

bool CRvResamplePanel::ParseInto(const std::string& text, std::string* error, int* count) {
  return RvParseSpecAside(text, m_dlg->Resample(), m_dlg->Engine(), error, count);
}

std::string CRvResamplePanel::FormatSpec() const { return m_dlg->Resample()->Format(); }
bool CRvResamplePanel::SpecEmpty() const { return m_dlg->Resample()->IsEmpty(); }
bool CRvResamplePanel::IsSetOnEngine(const CKaDrawThread& engine) const {
  return engine.GetResample() != nullptr;
}
void CRvResamplePanel::SetOnEngine(CKaDrawThread* engine, bool on) {
  engine->SetResample(on ? m_dlg->Resample() : nullptr);
}
