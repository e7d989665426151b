#include "options.h"

bool Options::parse(const QStringList &args, const QStringList &valued, const QStringList &flags)
{
    values.clear();
    problem.clear();
    for (int i = 0; i < args.size(); ++i) {
        QString name = args[i];
        QString value;
        bool inlineValue = false;
        if (name == QLatin1String("-o"))
            name = QStringLiteral("--output");
        else if (name == QLatin1String("-h"))
            name = QStringLiteral("--help");
        if (!name.startsWith(QLatin1String("--"))) {
            problem = QStringLiteral("unexpected argument \"%1\"").arg(name);
            return false;
        }
        name = name.mid(2);
        if (const int eq = name.indexOf(QLatin1Char('=')); eq >= 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            inlineValue = true;
        }
        if (flags.contains(name) && !inlineValue) {
            values.insert(name, QString());
            continue;
        }
        if (!valued.contains(name)) {
            problem = QStringLiteral("unknown option --%1").arg(name);
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                problem = QStringLiteral("--%1 needs a value").arg(name);
                return false;
            }
            value = args[++i];
        }
        values.insert(name, value);
    }
    return true;
}
