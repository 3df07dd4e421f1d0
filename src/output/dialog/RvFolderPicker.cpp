#include "output/dialog/RvFolderPicker.h"

#include <QFileDialog>

bool RvBrowseForFolder(QWidget* parent, const QString& initial, QString* chosen) {
  QFileDialog dialog(parent, QStringLiteral("Browse for Folder"), initial);
  dialog.setObjectName(QStringLiteral("folderPicker"));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  *chosen = dialog.selectedFiles().first();
  return true;
}
