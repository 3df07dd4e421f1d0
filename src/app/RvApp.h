// The application object: runs the main window modally; the process ends when it closes.
#pragma once

#include <QApplication>
#include <memory>
#include <string>

class CRvKeyStateFilter;

class CRvApp : public QApplication {
  Q_OBJECT

 public:
  CRvApp(int& argc, char** argv);
  ~CRvApp() override;

  // Builds, initialises and runs the main window with the process command line; returns the
  // process exit code.
  int Run(const std::string& commandLine);

 private:
  std::unique_ptr<CRvKeyStateFilter> m_keyState;
};
