#include "app/RvSpecifierPanel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>

#include "app/RvBitmapButton.h"
#include "app/RvMainDlg.h"
#include "engine/DrawThread.h"
#include "support/NesCommon55.h"

namespace {

constexpr int kToggleX = 2;
constexpr int kButtonY = 2;
constexpr int kListY = 2;
constexpr int kListHeight = 20;

// The editable list with a drop-down mark of our own drawn over the styled box.
class CRvPresetCombo : public QComboBox {
 public:
  using QComboBox::QComboBox;

 protected:
  void paintEvent(QPaintEvent* event) override {
    QComboBox::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xD8, 0xDC, 0xE2));
    const QPointF c(width() - 8.0, height() / 2.0 + 1.0);
    p.drawPolygon(
        QPolygonF({c + QPointF(-3.5, -2.0), c + QPointF(3.5, -2.0), c + QPointF(0, 2.0)}));
  }
};

QString FromText(const std::string& text) { return QString::fromUtf8(text); }
std::string ToText(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace

CRvSpecifierPanel::CRvSpecifierPanel(CRvMainDlg* dlg, const char* presetFile, const char* defaults,
                                     QWidget* parent)
    : QWidget(parent), m_dlg(dlg), m_presetFile(presetFile) {
  // The shipped presets go to the settings folder once; a file that is there (even one the
  // user emptied) is never replaced.
  RvInstallPresetFile(strSettingsPath(), presetFile, defaults);
  RvStylePanel(this);
}

std::string CRvSpecifierPanel::PresetPath() const { return strSettingsPath() + m_presetFile; }

void CRvSpecifierPanel::Build(int toggleId, RvPanelGlyph glyph, const char* toggleTip, int listId,
                              int listX, int listWidth) {
  m_toggle = RvMakePanelButton(this, toggleId, glyph, toggleTip);
  m_toggle->move(kToggleX, kButtonY);
  connect(m_toggle, &QAbstractButton::clicked, this, [this] { Toggle(); });

  m_list = new CRvPresetCombo(this);
  m_list->setProperty("controlId", listId);
  m_list->setEditable(true);
  m_list->setFocusPolicy(Qt::ClickFocus);  // keys stay the command table's until clicked
  // Confirmed text is applied, not collected as a new entry.
  m_list->setInsertPolicy(QComboBox::NoInsert);
  m_list->setGeometry(listX, kListY, listWidth, kListHeight);
  m_list->setContextMenuPolicy(Qt::CustomContextMenu);
  m_list->lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(m_list->lineEdit(), &QLineEdit::returnPressed, this, [this] { Apply(); });
  connect(m_list, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
    m_list->setEditText(m_list->itemText(index));
    Apply();
  });
  const auto menuAt = [this](QWidget* from) {
    return [this, from](const QPoint& pos) { ShowPresetMenu(from->mapToGlobal(pos)); };
  };
  connect(m_list, &QWidget::customContextMenuRequested, this, menuAt(m_list));
  connect(m_list->lineEdit(), &QWidget::customContextMenuRequested, this,
          menuAt(m_list->lineEdit()));
  resize(listX + listWidth + 4, kHeight);
  LoadPresets();
}

void CRvSpecifierPanel::LoadPresets() {
  m_presets.Read(PresetPath());
  const QString text = m_list->currentText();
  m_list->clear();
  for (const CRvPreset& preset : m_presets.Items()) m_list->addItem(FromText(preset.Display()));
  m_list->setEditText(text);
}

void CRvSpecifierPanel::Apply() {
  CKaDrawThread* engine = m_dlg->Engine();
  std::string text = ToText(m_list->currentText());
  if (text.find_first_not_of(" \t") == std::string::npos) {
    if (engine) SetOnEngine(engine, false);
    Refresh();
    return;
  }
  std::string command;
  if (m_presets.FindCommand(text, &command)) {
    text = command;
    // The error selection below refers to the command line, so show it.
    m_list->setEditText(FromText(text));
  }
  std::string error;
  int count = 0;
  if (!ParseInto(text, &error, &count)) {
    // The reason is the command line's to show; here the failing part is selected.
    QLineEdit* edit = m_list->lineEdit();
    const int from = std::clamp(count, 0, int(edit->text().size()));
    edit->setSelection(from, int(edit->text().size()) - from);
    edit->setFocus();
    QApplication::beep();
    return;
  }
  m_list->setEditText(FromText(FormatSpec()));
  if (engine) SetOnEngine(engine, true);
  Refresh();
  m_dlg->setFocus();
}

void CRvSpecifierPanel::Toggle() {
  if (CKaDrawThread* engine = m_dlg->Engine()) SetOnEngine(engine, !IsSetOnEngine(*engine));
  Refresh();
  m_dlg->setFocus();
}

void CRvSpecifierPanel::Refresh() {
  CKaDrawThread* engine = m_dlg->Engine();
  m_toggle->SetChecked(engine && IsSetOnEngine(*engine));
  m_list->setEditText(FromText(FormatSpec()));
}

bool CRvSpecifierPanel::AddPreset(const std::string& name) {
  if (SpecEmpty()) {
    QMessageBox::warning(this, m_dlg->windowTitle(),
                         QStringLiteral("There is no specifier to save: apply one first."));
    return false;
  }
  if (!m_presets.Put(name, FormatSpec())) {
    QMessageBox::warning(this, m_dlg->windowTitle(),
                         QStringLiteral("A preset name must not be empty or hold a tab."));
    return false;
  }
  return SavePresets();
}

bool CRvSpecifierPanel::DeletePreset(int index) {
  if (index < 0 || std::size_t(index) >= m_presets.Items().size()) return false;
  m_presets.Remove(index);
  return SavePresets();
}

bool CRvSpecifierPanel::SavePresets() {
  std::string error;
  const bool saved = m_presets.Write(PresetPath(), &error);
  if (!saved)
    QMessageBox::warning(this, m_dlg->windowTitle(),
                         FromText("Failed to save presets\n\n" + error));
  LoadPresets();  // the list shows what the file holds, saved or not
  return saved;
}

QMenu* CRvSpecifierPanel::CreatePresetMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  QAction* save = menu->addAction(QStringLiteral("Save Current as Preset..."));
  save->setEnabled(!SpecEmpty());
  connect(save, &QAction::triggered, this, [this] { AskAndAddPreset(); });
  QMenu* remove = menu->addMenu(QStringLiteral("Delete Preset"));
  remove->setEnabled(!m_presets.Empty());
  for (std::size_t i = 0; i < m_presets.Items().size(); ++i) {
    QAction* item = remove->addAction(FromText(m_presets.Items()[i].Display()));
    connect(item, &QAction::triggered, this, [this, i] { DeletePreset(int(i)); });
  }
  return menu;
}

void CRvSpecifierPanel::ShowPresetMenu(const QPoint& globalPos) {
  QMenu* menu = CreatePresetMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(globalPos);
}

void CRvSpecifierPanel::AskAndAddPreset() {
  bool ok = false;
  const QString name = QInputDialog::getText(
      this, QStringLiteral("Save Preset"),
      QStringLiteral("Name of the preset for \"%1\":").arg(FromText(FormatSpec()).trimmed()),
      QLineEdit::Normal, QString(), &ok);
  if (ok) AddPreset(ToText(name.trimmed()));
}
