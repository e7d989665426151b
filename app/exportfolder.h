#pragma once

#include <QString>
#include <QStringList>

// The folder the export dialog opens in: the last one the user saved into;
// else the working folder, unless that is the program's own settings folder
// (where the menu entry starts it, and no file manager shows); else the
// user's Documents folder.
namespace exportfolder {

QString choose(const QString &lastUsed, const QString &working, const QStringList &settingsFolders,
    const QString &documents);

// The folders the menu entries start the program in: $XDG_CONFIG_HOME/labbench
// (~/.config/labbench) on Linux, %APPDATA%\labbench on Windows.
QStringList settingsFolders();

} // namespace exportfolder
