// A settings sheet over a real engine without a worker, with the dialogs replaced by
// answers the test chooses and the messages it would show collected.
#pragma once

#include <QApplication>
#include <QList>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "../sequence/FakeDecoder.h"
#include "AppTestSupport.h"
#include "engine/DrawThread.h"
#include "settings/SettingsSheet.h"
#include "support/NesCommon55.h"

namespace settingstest {

using apptest::App;
using apptest::Control;

struct Harness {
  Harness() {
    App();
    std::remove(Ini().c_str());
    KaDrawThreadOptions options;
    options.startWorker = false;
    options.frameDecoder = &decoder;
    engine = std::make_unique<CKaDrawThread>(nullptr, nullptr, nullptr, nullptr, options);
  }
  static std::string Ini() { return strSettingsPath() + "settings.ini"; }

  CRvSettingsContext Context() {
    CRvSettingsContext c;
    c.engine = engine.get();
    c.frameDecoder = &decoder;
    c.iniPath = Ini();
    c.productName = QStringLiteral("Reelvane");
    c.chooseColor = [this](QWidget*, QColor) { return colorAnswer; };
    c.chooseOpenFile = [this](QWidget*, const QString& folder, const QString&) {
      lastFolder = folder;
      return QString::fromStdString(fileAnswer);
    };
    c.chooseSaveFile = c.chooseOpenFile;
    c.displayModes = [this](QScreen*, std::vector<KaDisplayMode>* out, std::string* error) {
      *out = modes;
      *error = modesError;
      return modesError.empty();
    };
    c.openUrl = [](const QUrl&) { return false; };
    c.showMessage = [this](QWidget*, const QString& text) {
      messages.push_back(text.toStdString());
    };
    return c;
  }
  std::unique_ptr<CRvSettingsSheet> Open(int page = 0) {
    return std::make_unique<CRvSettingsSheet>(Context(), page);
  }

  CFakeFrameDecoder decoder;
  std::unique_ptr<CKaDrawThread> engine;
  std::optional<QColor> colorAnswer;
  std::string fileAnswer;
  QString lastFolder;
  std::vector<KaDisplayMode> modes;
  std::string modesError;
  std::vector<std::string> messages;
};

}  // namespace settingstest
