// The folder picker behind the "..." buttons of the output dialogs: the browser's
// "FrameBrowser" folder dialog.
#pragma once

#include <QString>

class QWidget;

// Shows a modal folder dialog starting at initial; true with the folder in *chosen when the
// user confirms.
bool RvBrowseForFolder(QWidget* parent, const QString& initial, QString* chosen);
