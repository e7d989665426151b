// labbench-cli: the ZOR from a script. The same link, worker and arithmetic as
// the window, without a window: results on stdout, messages on stderr.

#include "commands.h"
#include "interrupt.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace {

constexpr const char *kUsage = R"(Usage: labbench-cli COMMAND [options]

Commands:
  ports      the serial ports present, /dev/serial/by-id/ names first
  capture    take frames from the oscilloscope's acquisition as CSV or JSON
  measure    the oscilloscope's and analyzer's readouts per frame, as JSON lines
  generate   play a sine, square or triangle wave on the device's generator
  log        record the multimeter's readings, one line per interval, for hours
  sweep      a circuit's frequency response (gain and phase), as CSV or JSON

labbench-cli COMMAND --help (or -h) shows a command's options; labbench-cli
--version the version. The port and speed come from ./settings.txt, as in the
window, unless --port and --speed are given.
)";

} // namespace

namespace commands {

int usageError(const char *command, const QString &message)
{
    complain(QStringLiteral("%1 (see labbench-cli %2%3--help)")
                 .arg(message, QLatin1String(command),
                     *command ? QStringLiteral(" ") : QString()));
    return kBadArguments;
}

int help(const QByteArray &usage)
{
    std::fputs(usage.constData(), stdout);
    std::fputs("\n", stdout);
    std::fputs(kExitCodes, stdout);
    return kOk;
}

void complain(const QString &message)
{
    std::fprintf(stderr, "labbench-cli: %s\n", qPrintable(message));
}

} // namespace commands

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    interrupt::install();
    QStringList args = app.arguments().mid(1);
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h")
        || command == QLatin1String("help"))
        return commands::help(kUsage);
    if (command == QLatin1String("--version")) {
        std::fputs("labbench-cli " LABBENCH_VERSION "\n", stdout);
        return commands::kOk;
    }
    if (command == QLatin1String("ports"))
        return commands::ports(args);
    if (command == QLatin1String("capture"))
        return commands::capture(args);
    if (command == QLatin1String("measure"))
        return commands::measure(args);
    if (command == QLatin1String("generate"))
        return commands::generate(args);
    if (command == QLatin1String("log"))
        return commands::log(args);
    if (command == QLatin1String("sweep"))
        return commands::sweep(args);
    return commands::usageError("",
        command.isEmpty()
            ? QStringLiteral("a command is needed: ports, capture, measure, generate, log or sweep")
            : QStringLiteral("unknown command \"%1\"; valid: ports capture measure generate log sweep")
                  .arg(command));
}
