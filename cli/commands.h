#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// labbench-cli's commands; each takes the arguments after its name and
// returns the process's exit code.
namespace commands {

// Exit codes a script can rely on.
constexpr int kOk = 0;
constexpr int kFailed = 1; // the output file could not be written
constexpr int kBadArguments = 2;
constexpr int kCannotOpen = 3;
constexpr int kLineLost = 4;
constexpr int kInterrupted = 130; // as a shell reports Ctrl+C

int ports(const QStringList &args);
int capture(const QStringList &args);
int measure(const QStringList &args);
int generate(const QStringList &args);

// "labbench-cli: message", then the command's usage, on stderr; kBadArguments.
int usageError(const QByteArray &usage, const QString &message);
// "labbench-cli: message" on stderr.
void complain(const QString &message);

} // namespace commands
