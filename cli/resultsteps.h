#pragma once

#include <QString>

class Output;
class Session;
struct LineChoice;

// The steps every command that writes results shares, with the same
// messages and exit codes.
namespace commands {

// Opens the output, then the line: false after saying why, with the exit
// code (kFailed for the output, kCannotOpen for the line) in code.
bool openOutputAndLine(Output &output, const QString &path, Session &session,
    const LineChoice &line, int &code);
// Ends the output (a file appears whole under its name); the exit code: the
// command's own, or kFailed when only the output failed.
int finishOutput(Output &output, const QString &path, int code);

} // namespace commands
