#include "app/RvApp.h"

#include "app/KeyState.h"
#include "app/RvMainDlg.h"

CRvApp::CRvApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Reelvane"));
  setApplicationVersion(QStringLiteral("2.10"));
  m_keyState = std::make_unique<CRvKeyStateFilter>();
}

CRvApp::~CRvApp() = default;

int CRvApp::Run(const std::string& commandLine) {
  auto mainDlg = std::make_unique<CRvMainDlg>(commandLine);
  mainDlg->InitDialog();
  mainDlg->exec();
  mainDlg.reset();
  return 0;
}
