// The play-list file commands of the load-sequence panel: "Load", "Save" and the question
// before a changed play list is thrown away.
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "browser/LoadSequencePanel.h"
#include "sequence/PlayList.h"
#include "support/NesCommon55.h"

namespace {

constexpr const char* kSectionPlaylist = "Playlist";
constexpr const char* kKeyDirectory = "Directory";
constexpr const char* kFilter = "Reelvane Play Lists (*.rvpl);;All Files (*)";
constexpr const char* kExtension = "rvpl";

QString ToQt(const std::string& text) { return QString::fromLocal8Bit(text); }
std::string FromQt(const QString& text) { return text.toLocal8Bit().toStdString(); }

std::string FileNameOf(const std::string& path) {
  std::string drive, directory, name, extension;
  SplitPath(path, &drive, &directory, &name, &extension);
  return name + extension;
}

std::string FolderOf(const std::string& path) {
  std::string drive, directory, name, extension;
  SplitPath(path, &drive, &directory, &name, &extension);
  return strCombinePath(drive, directory, "", "");
}

std::string RunFileDialog(QWidget* parent, bool save, const std::string& directory,
                          const std::string& presetName) {
  QFileDialog dialog(parent, QString::fromLatin1(save ? "Save As" : "Open"), ToQt(directory),
                     QString::fromLatin1(kFilter));
  dialog.setObjectName(QStringLiteral("playListFileDialog"));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  if (save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QString::fromLatin1(kExtension));
    if (!presetName.empty()) dialog.selectFile(ToQt(presetName));
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return FromQt(dialog.selectedFiles().first());
}

void ShowError(QWidget* parent, const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), ToQt(text),
                  QMessageBox::Ok, parent);
  box.setObjectName(QStringLiteral("playListError"));
  box.exec();
}

}  // namespace

bool CKaLoadSequencePanel::ConfirmDiscard() {
  if (!m_playList || !m_changed) return true;
  SaveAnswer answer = SaveAnswer::Cancel;
  if (m_askSaveChanges) {
    answer = m_askSaveChanges(m_fileName);
  } else {
    const auto button = QMessageBox::question(
        this, QApplication::applicationDisplayName(),
        ToQt("Save changed to playlist " + m_fileName),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    answer = button == QMessageBox::Yes  ? SaveAnswer::Yes
             : button == QMessageBox::No ? SaveAnswer::No
                                         : SaveAnswer::Cancel;
  }
  if (answer == SaveAnswer::Cancel) return false;
  // A save that was cancelled or failed keeps the play list: nothing is lost unasked.
  if (answer == SaveAnswer::Yes && !SavePlayList()) return false;
  ResetPlayList();
  UpdateButtons();
  return true;
}

void CKaLoadSequencePanel::LoadPlayList() {
  if (!ConfirmDiscard()) return;
  const std::string directory = strReadFromIniFile(m_iniPath, kSectionPlaylist, kKeyDirectory, "");
  const std::string path =
      m_askOpenFile ? m_askOpenFile(directory, {}) : RunFileDialog(this, false, directory, {});
  if (path.empty()) return;
  bWriteToIniFile(m_iniPath, kSectionPlaylist, kKeyDirectory, FolderOf(path));
  std::string errors;
  if (!LoadPlayListFrom(path, &errors)) ShowError(this, "Failed to load playlist\n\n" + errors);
}

bool CKaLoadSequencePanel::LoadPlayListFrom(const std::string& path, std::string* errors) {
  auto list = std::make_unique<CRvPlayList>();
  if (!list->LoadFromFile(path, errors)) return false;
  ResetPlayList();
  m_playList = std::move(list);
  m_fileName = FileNameOf(path);
  m_playList->SetName(m_fileName);
  FillListControl(m_playList.get(), &m_playListModel);
  ShowEntry();
  UpdateButtons();
  return true;
}

bool CKaLoadSequencePanel::SavePlayList() {
  if (!m_playList) {
    QApplication::beep();
    return true;
  }
  const std::string directory = strReadFromIniFile(m_iniPath, kSectionPlaylist, kKeyDirectory, "");
  const std::string path = m_askSaveFile ? m_askSaveFile(directory, m_fileName)
                                         : RunFileDialog(this, true, directory, m_fileName);
  if (path.empty()) return false;
  bWriteToIniFile(m_iniPath, kSectionPlaylist, kKeyDirectory, FolderOf(path));
  std::string errors;
  if (!SavePlayListTo(path, &errors)) {
    ShowError(this, "Failed to save playlist\n\n" + errors);
    return false;
  }
  return true;
}

bool CKaLoadSequencePanel::SavePlayListTo(const std::string& path, std::string* errors) {
  if (!m_playList) return false;
  if (!m_playList->SaveToFile(path, errors)) return false;
  m_changed = false;
  m_fileName = FileNameOf(path);
  m_playList->SetName(m_fileName);
  UpdateButtons();
  return true;
}
