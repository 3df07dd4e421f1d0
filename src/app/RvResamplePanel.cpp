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
  // As for the crop: parsed aside, stored while the engine is held.
  CRvResample parsed;
  std::string rest = text;
  if (!parsed.Parse(&rest, error, count)) return false;
  CKaDrawThread* engine = m_dlg->Engine();
  const bool held = engine && engine->Hold();
  *m_dlg->Resample() = parsed;
  if (held) engine->Release();
  return true;
}

std::string CRvResamplePanel::FormatSpec() const { return m_dlg->Resample()->Format(); }
bool CRvResamplePanel::SpecEmpty() const { return m_dlg->Resample()->IsEmpty(); }
bool CRvResamplePanel::IsSetOnEngine(const CKaDrawThread& engine) const {
  return engine.GetResample() != nullptr;
}
void CRvResamplePanel::SetOnEngine(CKaDrawThread* engine, bool on) {
  engine->SetResample(on ? m_dlg->Resample() : nullptr);
}
