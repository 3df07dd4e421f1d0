#include "output/dialog/RvFolderPicker.h"

#include "browser/FrameBrowserDlg.h"

bool RvBrowseForFolder(QWidget* parent, const QString& initial, QString* chosen) {
  CKaFrameBrowserDlg dialog(initial.toStdString(), parent);
  dialog.setObjectName(QStringLiteral("folderPicker"));
  if (dialog.exec() != QDialog::Accepted || dialog.GetResult().empty()) return false;
  *chosen = QString::fromStdString(dialog.GetResult());
  return true;
}
