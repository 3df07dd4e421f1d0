// The load-sequence panel: the folder tree, the sequences of the selected folder, the recent
// folders and the play-list editor. It takes the view's place in the main window while open;
// the main window takes the edited play list or the selected sequence when it is accepted.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "browser/DirTreeItem.h"
#include "browser/SequenceModel.h"

class CRvSequence;
class CRvSequenceList;
class CRvPlayList;
class CKaPanelButton;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

class CKaLoadSequencePanel : public QWidget, public CKaDirTreeOwner {
  Q_OBJECT

 public:
  // The answers of the "save changes?" question.
  enum class SaveAnswer { Yes, No, Cancel };
  // Asks the question for the play-list file name; replaceable (tests answer without a box).
  using AskSaveChanges = std::function<SaveAnswer(const std::string& fileName)>;
  // Asks for a file to load (save: with the name preset); empty when cancelled.
  using AskFileName =
      std::function<std::string(const std::string& directory, const std::string& presetName)>;

  static constexpr const char* kUntitled = "Untitled";

  // iniPath: settings.ini. provider: the tree's network provider (null: the default one).
  explicit CKaLoadSequencePanel(const std::string& iniPath, QWidget* parent = nullptr,
                                std::shared_ptr<CKaNetProvider> provider = nullptr);
  ~CKaLoadSequencePanel() override;

  // Fills the panel the first time it is shown: the tree at "ActiveDirectory", the recent
  // folders. Later calls do nothing.
  void Open();

  // --- the main window's side ------------------------------------------------------------
  // A sequence is selected or the play list has an entry.
  bool IsAcceptEnabled() const;
  // What OK plays: a copy of the play list when it has entries, else a play list holding a copy
  // of the selected sequence; null when there is neither.
  std::unique_ptr<CRvPlayList> CommitSelection() const;
  // Enter while the panel is open: a path typed into the path edit opens the tree there (true,
  // the key is used up); otherwise false and the main window accepts.
  bool HandleEnter();
  // Writes "ActiveDirectory" and the recent folders.
  void SaveBrowserState();

  // --- CKaDirTreeOwner ----------------------------------------------------------------------
  void OnFolderSelected(const std::string& path) override;

  // --- commands (buttons) ---------------------------------------------------------------------
  void AddSelectedSequence();  // "+" and a double click on a sequence
  void RemoveEntry();          // "-"
  void MoveEntryUp();          // "Up"
  void MoveEntryDown();        // "Dn"
  void ClearPlayList();        // "X": asks first when the play list was changed
  void LoadPlayList();         // "Load"
  bool SavePlayList();         // "Save": false when the dialog was cancelled
  void JumpTo();               // "Jump To" and Enter in the path edit
  void Refresh();              // F5

  // The file commands without their dialogs.
  bool LoadPlayListFrom(const std::string& path, std::string* errors);
  bool SavePlayListTo(const std::string& path, std::string* errors);
  // "Save changed to playlist <name>": false when the user cancelled (or a save failed).
  bool ConfirmDiscard();

  void SetAskSaveChanges(AskSaveChanges ask) { m_askSaveChanges = std::move(ask); }
  void SetAskOpenFile(AskFileName ask) { m_askOpenFile = std::move(ask); }
  void SetAskSaveFile(AskFileName ask) { m_askSaveFile = std::move(ask); }

  // --- state, for the window and tests ---------------------------------------------------------
  CKaDirTreeItem* Tree() const { return m_tree; }
  const std::string& CurrentFolder() const { return m_currentFolder; }
  const CKaSequenceModel& Listing() const { return m_listingModel; }
  const CKaSequenceModel& PlayListRows() const { return m_playListModel; }
  const CRvPlayList* PlayList() const { return m_playList.get(); }
  const CRvSequence* SelectedSequence() const { return m_selected; }
  const CRvSequence* SelectedEntry() const { return m_entry; }
  bool IsPlayListChanged() const { return m_changed; }
  const std::string& PlayListFileName() const { return m_fileName; }
  std::vector<std::string> ShownRecentFolders() const;
  void SelectSequenceRow(int row);
  void SelectEntryRow(int row);

 signals:
  void acceptEnabledChanged(bool enabled);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void CreateControls();
  void ConnectControls();
  void UpdateButtons();
  void ShowEntry();
  void OnRangeEdited(bool start);
  void OnReversedToggled(bool checked);
  void FillRecentList(const std::vector<std::string>& stored);
  void MarkChanged();
  void ResetPlayList();
  CRvSequence* MutableEntry() const;

  std::string m_iniPath;
  std::shared_ptr<CKaNetProvider> m_provider;
  CKaDirTreeItem* m_tree = nullptr;
  QLineEdit* m_pathEdit = nullptr;
  QPushButton* m_jump = nullptr;
  QTreeView* m_listingView = nullptr;
  QTreeWidget* m_recentView = nullptr;
  QTreeView* m_playListView = nullptr;
  CKaPanelButton* m_add = nullptr;
  CKaPanelButton* m_remove = nullptr;
  CKaPanelButton* m_clear = nullptr;
  CKaPanelButton* m_up = nullptr;
  CKaPanelButton* m_down = nullptr;
  CKaPanelButton* m_load = nullptr;
  CKaPanelButton* m_save = nullptr;
  QCheckBox* m_reversed = nullptr;
  QLabel* m_rangeLabel = nullptr;
  QLabel* m_toLabel = nullptr;
  QLineEdit* m_rangeStart = nullptr;
  QLineEdit* m_rangeEnd = nullptr;

  CKaSequenceModel m_listingModel;
  CKaSequenceModel m_playListModel;
  std::unique_ptr<CRvSequenceList> m_listing;
  const CRvSequence* m_selected = nullptr;
  std::unique_ptr<CRvPlayList> m_playList;
  const CRvSequence* m_entry = nullptr;
  bool m_changed = false;
  std::string m_fileName = kUntitled;
  std::string m_currentFolder;
  bool m_busy = false;
  bool m_opened = false;
  bool m_showingEntry = false;
  bool m_lastAcceptEnabled = false;

  AskSaveChanges m_askSaveChanges;
  AskFileName m_askOpenFile;
  AskFileName m_askSaveFile;
};
