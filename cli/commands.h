#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// labbench-cli's commands; each takes the arguments after its name and
// returns the process's exit code.
namespace commands {

// Exit codes a script can rely on; the usage and both READMEs give the same table.
constexpr int kOk = 0;
constexpr int kFailed = 1; // the output file could not be written
constexpr int kBadArguments = 2;
constexpr int kCannotOpen = 3;
constexpr int kNoAnswer = 4; // the device did not answer, the line was lost, no trigger came
constexpr int kInterrupted = 130; // Ctrl+C (or SIGTERM), as a shell reports Ctrl+C

// The table as the usage texts print it.
constexpr const char *kExitCodes = R"(Exit status:
  0    done
  1    the output file could not be written
  2    bad arguments
  3    the port cannot be opened
  4    the device did not answer, the line was lost, or no trigger came
       (what was taken before is written whole)
  130  interrupted (Ctrl+C)
)";

int ports(const QStringList &args);
int capture(const QStringList &args);
int measure(const QStringList &args);
int generate(const QStringList &args);
int log(const QStringList &args);
int sweep(const QStringList &args);

// "labbench-cli: message (see labbench-cli COMMAND --help)" on stderr, one
// line; kBadArguments. An empty command points at the overall help.
int usageError(const char *command, const QString &message);
// A command's help on stdout, with the exit-code table; kOk.
int help(const QByteArray &usage);
// "labbench-cli: message" on stderr.
void complain(const QString &message);

} // namespace commands
