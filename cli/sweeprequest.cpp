#include "sweeprequest.h"

#include "sweeptable.h"

QStringList SweepRequest::valued()
{
    return { QStringLiteral("port"), QStringLiteral("speed"), QStringLiteral("from"),
        QStringLiteral("to"), QStringLiteral("per-decade"), QStringLiteral("points"),
        QStringLiteral("amplitude"), QStringLiteral("format"), QStringLiteral("output") };
}

bool SweepRequest::parse(const Options &o, QString &error)
{
    if (!lineFromOptions(o, line, error))
        return false;
    const auto frequency = [&](const char *name, const char *fallback, double &hz) {
        const QString text = o.value(QLatin1String(name), QLatin1String(fallback));
        const std::optional<double> given = sweeptable::hertzFromText(text);
        hz = given.value_or(0);
        if (given && hz >= synthesis::kLowestHz && hz <= synthesis::kHighestHz)
            return true;
        error = QStringLiteral("--%1 takes 1 Hz .. 500 kHz, as 100, 2.5k or 100k, not \"%2\"")
                    .arg(QLatin1String(name), text);
        return false;
    };
    if (!frequency("from", "100", plan.fromHz) || !frequency("to", "100k", plan.toHz))
        return false;
    const auto count = [&](const char *name, int low, int high, int &value) {
        const QString text = o.value(QLatin1String(name));
        bool ok = false;
        value = text.toInt(&ok);
        if (ok && value >= low && value <= high)
            return true;
        error = QStringLiteral("--%1 takes %2 .. %3, not \"%4\"")
                    .arg(QLatin1String(name)).arg(low).arg(high).arg(text);
        return false;
    };
    if (o.has(QStringLiteral("per-decade")) && !count("per-decade", 1, 100, plan.perDecade))
        return false;
    if (o.has(QStringLiteral("points")) && !count("points", 2, sweep::kMaxPoints, plan.points))
        return false;
    const QString amplitude = o.value(QStringLiteral("amplitude"), QStringLiteral("1V"));
    plan.amplitudeMv = sweeptable::millivoltsFromText(amplitude, false).value_or(0);
    if (plan.amplitudeMv < 1
        || plan.amplitudeMv > 1250) {
        error = QStringLiteral("--amplitude takes 1mV .. 1.25V with its unit, as 1V or 500mV, not \"%1\"")
                    .arg(amplitude);
        return false;
    }
    if (!formatAndOutput(o, json, output, error))
        return false;
    if (const std::optional<QString> wrong = sweep::problem(plan)) {
        error = *wrong;
        return false;
    }
    return true;
}
