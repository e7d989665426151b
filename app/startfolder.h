#pragma once

#include <QString>

// The folder the program works in, the one settings.txt is kept in. On
// Windows the Start-menu entry is one for every user of the computer, so it
// starts the program in the user's own application-data folder (%APPDATA%,
// which every user has, where a missing folder would not do: Windows would
// start the program in another one). That folder is shared by every program
// of the user, so the program works in a folder of its own there,
// %APPDATA%\labbench, made at its first start.
namespace startfolder {

// The folder to work in when started in `current`: `roaming`/labbench when
// `current` is the user's application-data folder `roaming`, else `current`.
// An empty `roaming` (a system without one) keeps `current`.
QString choose(const QString &current, const QString &roaming);

// The user's application-data folder the Start menu starts the program in
// (%APPDATA% on Windows); empty on a system without one. From
// roamingfolder_<system>.cpp.
QString roamingFolder();

// Moves the program into choose(the working folder, roaming), making the
// folder if it is not there. False, staying where it was started, when the
// folder can be neither made nor entered.
bool enter(const QString &roaming);

} // namespace startfolder
