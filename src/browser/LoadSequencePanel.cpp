#include "browser/LoadSequencePanel.h"

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <climits>
#include <cstdlib>

#include "browser/BrowserArt.h"
#include "browser/FolderListing.h"
#include "browser/RecentFolders.h"
#include "sequence/PlayList.h"
#include "sequence/SequenceList.h"
#include "support/NesCommon55.h"

namespace {

constexpr const char* kAllFiles = "*.*";

QString ToQt(const std::string& text) { return QString::fromLocal8Bit(text); }
std::string FromQt(const QString& text) { return text.toLocal8Bit().toStdString(); }

QTreeView* MakeSequenceView(QWidget* parent, int controlId, QAbstractItemModel* model) {
  auto* view = new QTreeView(parent);
  view->setProperty("controlId", controlId);
  view->setRootIsDecorated(false);
  view->setUniformRowHeights(true);
  view->setAllColumnsShowFocus(true);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setIconSize(QSize(16, 16));
  view->setModel(model);
  view->header()->setStretchLastSection(false);
  view->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  view->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  view->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
  return view;
}

// The panel sits in the black main window: a dark palette keeps it from glaring.
QPalette DarkPalette(QPalette palette) {
  palette.setColor(QPalette::Window, QColor(0x1E, 0x20, 0x24));
  palette.setColor(QPalette::WindowText, QColor(0xD8, 0xDC, 0xE2));
  palette.setColor(QPalette::Base, QColor(0x12, 0x14, 0x17));
  palette.setColor(QPalette::AlternateBase, QColor(0x1A, 0x1C, 0x20));
  palette.setColor(QPalette::Text, QColor(0xD8, 0xDC, 0xE2));
  palette.setColor(QPalette::Button, QColor(0x33, 0x37, 0x3D));
  palette.setColor(QPalette::ButtonText, QColor(0xD8, 0xDC, 0xE2));
  palette.setColor(QPalette::Highlight, QColor(0x2F, 0x5F, 0xA8));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xE1));
  palette.setColor(QPalette::ToolTipText, Qt::black);
  palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x70, 0x74, 0x7A));
  palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x70, 0x74, 0x7A));
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x70, 0x74, 0x7A));
  return palette;
}

// "~" at the start of a typed path is the home folder, as in a shell.
std::string ExpandHome(std::string path) {
  const char* home = std::getenv("HOME");
  if (home && !path.empty() && path[0] == '~' && (path.size() == 1 || path[1] == '/'))
    path.replace(0, 1, home);
  return path;
}

}  // namespace

CKaLoadSequencePanel::CKaLoadSequencePanel(const std::string& iniPath, QWidget* parent,
                                           std::shared_ptr<CKaNetProvider> provider)
    : QWidget(parent), m_iniPath(iniPath), m_provider(std::move(provider)) {
  setObjectName(QStringLiteral("loadSequencePanel"));
  setAutoFillBackground(true);
  setPalette(DarkPalette(palette()));
  CreateControls();
  ConnectControls();
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
  UpdateButtons();
}

CKaLoadSequencePanel::~CKaLoadSequencePanel() {
  if (m_opened) SaveBrowserState();
  m_tree->SetOwner(nullptr);
}

void CKaLoadSequencePanel::CreateControls() {
  m_tree = new CKaDirTreeItem(this, m_provider);
  m_tree->SetOwner(this);
  m_pathEdit = new QLineEdit(this);
  m_pathEdit->setProperty("controlId", 1094);
  m_jump = new QPushButton(QStringLiteral("Jump To"), this);
  m_jump->setProperty("controlId", 1095);
  m_jump->setToolTip(QStringLiteral("Open directory tree at this position"));
  m_jump->setAutoDefault(false);

  m_listingView = MakeSequenceView(this, 1029, &m_listingModel);
  m_playListView = MakeSequenceView(this, 1028, &m_playListModel);
  m_recentView = new QTreeWidget(this);
  m_recentView->setProperty("controlId", 1031);
  m_recentView->setColumnCount(1);
  m_recentView->setHeaderLabels({QStringLiteral("Recent Folders")});
  m_recentView->setRootIsDecorated(false);
  m_recentView->setUniformRowHeights(true);

  m_add = new CKaPanelButton(QStringLiteral("+"), 1053, QStringLiteral("Add sequence to play list"),
                             this);
  m_remove = new CKaPanelButton(QStringLiteral("-"), 1054,
                                QStringLiteral("Remove sequence from play list"), this);
  m_clear = new CKaPanelButton(QStringLiteral("X"), 1055, QStringLiteral("Clear play list"), this);
  m_up = new CKaPanelButton(QStringLiteral("Up"), 1114,
                            QStringLiteral("Move sequence up in play list"), this);
  m_down = new CKaPanelButton(QStringLiteral("Dn"), 1115,
                              QStringLiteral("Move sequence down in play list"), this);
  m_load = new CKaPanelButton(QStringLiteral("Load"), 1116, QStringLiteral("Load play list"), this);
  m_save = new CKaPanelButton(QStringLiteral("Save"), 1117,
                              QStringLiteral("Save current play list"), this);
  m_reversed = new QCheckBox(QStringLiteral("&Reversed"), this);
  m_reversed->setProperty("controlId", 1135);
  m_rangeLabel = new QLabel(QStringLiteral("Frame Range"), this);
  m_toLabel = new QLabel(QStringLiteral("to"), this);
  m_rangeStart = new QLineEdit(this);
  m_rangeStart->setProperty("controlId", 1049);
  m_rangeEnd = new QLineEdit(this);
  m_rangeEnd->setProperty("controlId", 1138);
  for (QLineEdit* edit : {m_rangeStart, m_rangeEnd}) edit->setMaximumWidth(70);
  // The entry controls come and go with the selection; the rows around them stay in place.
  for (QWidget* w : std::initializer_list<QWidget*>{
           m_remove, m_up, m_down, m_reversed, m_rangeLabel, m_toLabel, m_rangeStart, m_rangeEnd}) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
  }

  auto* right = new QWidget(this);
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->addWidget(m_listingView, 3);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(m_recentView, 2);
  auto* playColumn = new QVBoxLayout;
  playColumn->addWidget(m_playListView, 1);
  auto* buttons = new QHBoxLayout;
  for (CKaPanelButton* button : {m_add, m_remove, m_up, m_down, m_clear, m_load, m_save})
    buttons->addWidget(button);
  buttons->addStretch(1);
  playColumn->addLayout(buttons);
  auto* entryRow = new QHBoxLayout;
  entryRow->addWidget(m_reversed);
  entryRow->addSpacing(8);
  entryRow->addWidget(m_rangeLabel);
  entryRow->addWidget(m_rangeStart);
  entryRow->addWidget(m_toLabel);
  entryRow->addWidget(m_rangeEnd);
  entryRow->addStretch(1);
  playColumn->addLayout(entryRow);
  bottom->addLayout(playColumn, 3);
  rightLayout->addLayout(bottom, 2);

  auto* splitter = new QSplitter(Qt::Horizontal, this);
  splitter->addWidget(m_tree);
  splitter->addWidget(right);
  splitter->setStretchFactor(0, 2);
  splitter->setStretchFactor(1, 3);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(splitter, 1);
  // The path row runs the whole width: typed paths are long.
  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(m_pathEdit, 1);
  pathRow->addWidget(m_jump);
  layout->addLayout(pathRow);
}

void CKaLoadSequencePanel::ConnectControls() {
  connect(m_jump, &QPushButton::clicked, this, [this] { JumpTo(); });
  connect(m_listingView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            m_selected = m_listingModel.SequenceAt(current.row());
            UpdateButtons();
          });
  connect(m_listingView, &QTreeView::doubleClicked, this, [this] { AddSelectedSequence(); });
  connect(m_playListView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            m_entry = m_playListModel.SequenceAt(current.row());
            ShowEntry();
            UpdateButtons();
          });
  connect(m_recentView, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item) m_pathEdit->setText(item->text(0));
  });
  connect(m_recentView, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    m_pathEdit->setText(item->text(0));
    JumpTo();
  });
  connect(m_add, &QAbstractButton::clicked, this, [this] { AddSelectedSequence(); });
  connect(m_remove, &QAbstractButton::clicked, this, [this] { RemoveEntry(); });
  connect(m_up, &QAbstractButton::clicked, this, [this] { MoveEntryUp(); });
  connect(m_down, &QAbstractButton::clicked, this, [this] { MoveEntryDown(); });
  connect(m_clear, &QAbstractButton::clicked, this, [this] { ClearPlayList(); });
  connect(m_load, &QAbstractButton::clicked, this, [this] { LoadPlayList(); });
  connect(m_save, &QAbstractButton::clicked, this, [this] { SavePlayList(); });
  connect(m_reversed, &QCheckBox::toggled, this, [this](bool on) { OnReversedToggled(on); });
  connect(m_rangeStart, &QLineEdit::textEdited, this, [this] { OnRangeEdited(true); });
  connect(m_rangeEnd, &QLineEdit::textEdited, this, [this] { OnRangeEdited(false); });
}

void CKaLoadSequencePanel::Open() {
  if (m_opened) return;
  m_opened = true;
  std::string active = strReadFromIniFile(m_iniPath, kKaSectionLoad, kKaKeyActiveDirectory, "");
  if (active.empty()) {
    // First start: the folder the program was started in.
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) active = cwd;
  }
  if (!active.empty()) m_tree->SelectPath(active);
  FillRecentList(KaReadRecentFolders(m_iniPath));
  m_pathEdit->setFocus();
}

// --- folder ------------------------------------------------------------------------------------

void CKaLoadSequencePanel::OnFolderSelected(const std::string& path) {
  if (m_busy) return;
  m_listingView->setUpdatesEnabled(false);
  m_selected = nullptr;
  m_listingModel.Clear();
  m_listing.reset();
  if (chdir(path.c_str()) != 0) {
    // A folder that cannot be entered lists nothing; the listing below says so.
  }
  std::unique_ptr<CRvSequenceList> listing;
  // A network folder may take long to list: the window keeps painting meanwhile.
  KaRunOffUiThread([&] { listing = std::make_unique<CRvSequenceList>(path, kAllFiles); });
  m_listing = std::move(listing);
  m_listingModel.SetSequences(RvBrowserOrder(*m_listing));
  // The first sequence is selected, so that Enter opens it at once.
  if (m_listingModel.rowCount() > 0) SelectSequenceRow(0);
  m_listingView->setUpdatesEnabled(true);
  m_currentFolder = path;
  m_pathEdit->setText(ToQt(path));
  m_pathEdit->selectAll();
  m_pathEdit->setCursorPosition(int(m_pathEdit->text().size()));
  m_pathEdit->selectAll();
  UpdateButtons();
}

void CKaLoadSequencePanel::JumpTo() {
  int followed = 0;
  if (!m_tree->SelectPath(ExpandHome(FromQt(m_pathEdit->text())), &followed)) QApplication::beep();
}

void CKaLoadSequencePanel::Refresh() {
  const std::string folder = m_currentFolder;
  m_busy = true;
  m_tree->RebuildRoots();
  m_busy = false;
  if (!folder.empty()) {
    m_tree->SelectPath(folder);
    OnFolderSelected(m_tree->CurrentFolder().empty() ? folder : m_tree->CurrentFolder());
  }
}

bool CKaLoadSequencePanel::HandleEnter() {
  if (!m_pathEdit->hasFocus() || FromQt(m_pathEdit->text()) == m_currentFolder) return false;
  JumpTo();
  return true;
}

void CKaLoadSequencePanel::SelectSequenceRow(int row) {
  m_listingView->setCurrentIndex(m_listingModel.index(row, 0));
}

void CKaLoadSequencePanel::SelectEntryRow(int row) {
  m_playListView->setCurrentIndex(m_playListModel.index(row, 0));
}

// --- recent folders ------------------------------------------------------------------------------

void CKaLoadSequencePanel::FillRecentList(const std::vector<std::string>& stored) {
  m_recentView->clear();
  for (const std::string& folder : KaShownRecentFolders(stored, KaProjectFolder()))
    m_recentView->addTopLevelItem(new QTreeWidgetItem(QStringList(ToQt(folder))));
}

std::vector<std::string> CKaLoadSequencePanel::ShownRecentFolders() const {
  std::vector<std::string> shown;
  for (int i = 0; i < m_recentView->topLevelItemCount(); ++i)
    shown.push_back(FromQt(m_recentView->topLevelItem(i)->text(0)));
  return shown;
}

void CKaLoadSequencePanel::SaveBrowserState() {
  bWriteToIniFile(m_iniPath, kKaSectionLoad, kKaKeyActiveDirectory, m_currentFolder);
  const std::vector<std::string> updated =
      KaUpdateRecentFolders(ShownRecentFolders(), m_currentFolder, KaProjectFolder());
  FillRecentList(updated);
  KaWriteRecentFolders(m_iniPath, updated);
}

// --- play list
// -------------------------------------------------------------------------------------

CRvSequence* CKaLoadSequencePanel::MutableEntry() const {
  if (!m_playList || !m_entry) return nullptr;
  for (const auto& sequence : m_playList->GetSequences())
    if (sequence.get() == m_entry) return sequence.get();
  return nullptr;
}

void CKaLoadSequencePanel::MarkChanged() {
  m_changed = true;
  UpdateButtons();
}

void CKaLoadSequencePanel::AddSelectedSequence() {
  if (!m_selected) {
    QApplication::beep();
    return;
  }
  if (!m_playList) m_playList = std::make_unique<CRvPlayList>();
  m_playList->AddSequence(std::make_unique<CRvSequence>(*m_selected));
  FillListControl(m_playList.get(), &m_playListModel);
  SelectEntryRow(m_playListModel.rowCount() - 1);
  MarkChanged();
}

void CKaLoadSequencePanel::RemoveEntry() {
  CRvSequence* entry = MutableEntry();
  if (!entry) {
    QApplication::beep();
    return;
  }
  m_entry = nullptr;
  m_playList->RemoveSequence(entry);
  FillListControl(m_playList.get(), &m_playListModel);
  MarkChanged();
}

void CKaLoadSequencePanel::MoveEntryUp() {
  CRvSequence* entry = MutableEntry();
  if (!entry) return;
  m_playList->MoveSequenceUp(entry);
  FillListControl(m_playList.get(), &m_playListModel);
  SelectEntryRow(m_playListModel.RowOf(entry));
  MarkChanged();
}

void CKaLoadSequencePanel::MoveEntryDown() {
  CRvSequence* entry = MutableEntry();
  if (!entry) return;
  m_playList->MoveSequenceDown(entry);
  FillListControl(m_playList.get(), &m_playListModel);
  SelectEntryRow(m_playListModel.RowOf(entry));
  MarkChanged();
}

void CKaLoadSequencePanel::ResetPlayList() {
  m_entry = nullptr;
  m_playListModel.Clear();
  m_playList.reset();
  m_changed = false;
}

void CKaLoadSequencePanel::ClearPlayList() {
  if (!m_playList) return;
  // A changed play list is not thrown away without asking.
  if (!ConfirmDiscard()) return;
  ResetPlayList();
  m_fileName.clear();
  UpdateButtons();
}

void CKaLoadSequencePanel::ShowEntry() {
  const CRvSequence* entry = MutableEntry();
  m_showingEntry = true;
  m_reversed->setChecked(entry && entry->IsReverse());
  m_rangeStart->setText(entry ? QString::number(entry->GetRangeStart()) : QString());
  m_rangeEnd->setText(entry ? QString::number(entry->GetRangeEnd()) : QString());
  m_showingEntry = false;
}

void CKaLoadSequencePanel::OnReversedToggled(bool checked) {
  CRvSequence* entry = MutableEntry();
  if (m_showingEntry || !entry) return;
  entry->SetReverse(checked);
  MarkChanged();
}

void CKaLoadSequencePanel::OnRangeEdited(bool start) {
  CRvSequence* entry = MutableEntry();
  if (m_showingEntry || !entry) return;
  long value = 0;
  const std::string text = FromQt((start ? m_rangeStart : m_rangeEnd)->text());
  if (!bString2Long(text, &value, nullptr, 10)) return;
  const auto number = std::uint32_t(std::clamp<long>(value, 0, long(UINT32_MAX) - 1));
  if (start) {
    entry->SetRangeStart(number);
  } else {
    entry->SetRangeEnd(number);
  }
  MarkChanged();
}

// --- state
// -----------------------------------------------------------------------------------------

bool CKaLoadSequencePanel::IsAcceptEnabled() const {
  return m_selected || (m_playList && !m_playList->GetSequences().empty());
}

std::unique_ptr<CRvPlayList> CKaLoadSequencePanel::CommitSelection() const {
  if (m_playList && !m_playList->GetSequences().empty())
    return std::make_unique<CRvPlayList>(*m_playList);
  if (!m_selected) return nullptr;
  auto list = std::make_unique<CRvPlayList>();
  list->AddSequence(std::make_unique<CRvSequence>(*m_selected));
  return list;
}

void CKaLoadSequencePanel::UpdateButtons() {
  m_add->setEnabled(m_selected != nullptr);
  const bool entry = MutableEntry() != nullptr;
  for (QWidget* w : std::initializer_list<QWidget*>{
           m_remove, m_up, m_down, m_reversed, m_rangeLabel, m_toLabel, m_rangeStart, m_rangeEnd}) {
    w->setEnabled(entry);
    w->setVisible(entry);
  }
  m_save->setEnabled(m_playList != nullptr);
  m_clear->setEnabled(m_playList != nullptr);
  const bool accept = IsAcceptEnabled();
  if (accept != m_lastAcceptEnabled) {
    m_lastAcceptEnabled = accept;
    emit acceptEnabledChanged(accept);
  }
}

// --- keys and wheel
// -------------------------------------------------------------------------------

void CKaLoadSequencePanel::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F5) {
    Refresh();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool CKaLoadSequencePanel::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Wheel) {
    auto* wheel = static_cast<QWheelEvent*>(event);
    // Alt+wheel belongs to the main window (it turns the options bar); the lists scroll without.
    if ((wheel->modifiers() & Qt::AltModifier) && window() != this) {
      QApplication::sendEvent(window(), wheel);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}
