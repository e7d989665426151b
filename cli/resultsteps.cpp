#include "resultsteps.h"

#include "commands.h"
#include "output.h"
#include "scoperequest.h"
#include "session.h"

namespace commands {

bool openOutputAndLine(Output &output, const QString &path, Session &session,
    const LineChoice &line, int &code)
{
    QString reason;
    if (!output.open(path, reason)) {
        complain(QStringLiteral("cannot write %1: %2").arg(path, reason));
        code = kFailed;
        return false;
    }
    if (!session.open(line.port, line.speed, reason)) {
        complain(QStringLiteral("Unable to open %1: %2").arg(line.described(), reason));
        code = kCannotOpen;
        return false;
    }
    return true;
}

int finishOutput(Output &output, const QString &path, int code)
{
    QString reason;
    if (output.finish(reason))
        return code;
    complain(QStringLiteral("cannot write %1: %2")
                 .arg(path.isEmpty() ? QStringLiteral("the output") : path,
                     reason.isEmpty() ? QStringLiteral("write error") : reason));
    return code == kOk ? kFailed : code;
}

} // namespace commands
