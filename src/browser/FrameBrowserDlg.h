// The "FrameBrowser" folder dialog: a folder tree, a path edit and OK/Cancel. The OK button reads
// "Open" once the user has typed a path, and then opens the tree there instead of ending the
// dialog; a selection in the tree turns it back into "OK".
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "browser/DirTreeItem.h"

class QLineEdit;
class QPushButton;

class CKaFrameBrowserDlg : public QDialog, public CKaDirTreeOwner {
  Q_OBJECT

 public:
  static constexpr const char* kTitle = "FrameBrowser";

  CKaFrameBrowserDlg(const std::string& initialFolder, QWidget* parent = nullptr,
                     std::shared_ptr<CKaNetProvider> provider = nullptr);
  ~CKaFrameBrowserDlg() override;

  // The chosen folder once the dialog ended with OK.
  const std::string& GetResult() const { return m_result; }
  bool IsTyped() const { return m_typed; }
  CKaDirTreeItem* Tree() const { return m_tree; }
  QLineEdit* PathEdit() const { return m_edit; }
  QPushButton* OkButton() const { return m_ok; }

  void OnFolderSelected(const std::string& path) override;

 public slots:
  void accept() override;

 private:
  void OnEdited();

  std::string m_initialFolder;
  std::string m_result;
  bool m_busy = false;
  bool m_typed = false;
  CKaDirTreeItem* m_tree = nullptr;
  QLineEdit* m_edit = nullptr;
  QPushButton* m_ok = nullptr;
  QPushButton* m_cancel = nullptr;
};
