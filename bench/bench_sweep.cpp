// The frequency-response sweep as labbench-cli runs it, against zor-sim's
// circuits, whose exact responses are known: for each circuit the largest
// gain and phase errors against the exact response where the circuit's gain
// is at least -40 dB (and the phase error over every step), each -3 dB
// frequency's error, and the sweep's wall time. Then the speed sweep (31 points, 100 Hz .. 100 kHz) at
// 2,500,000 and 115200 bit/s, against the sum of its frames' own
// acquisition and transfer times (one frame per step at its time base, the
// least the device can take).
//
//   bench-sweep [--quick]
#include "figures.h"
#include "frametiming.h"
#include "simprocess.h"
#include "sweeptable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <cmath>
#include <complex>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Circuit {
    QString name; // zor-sim's --circuit text
    QString kind;
    double f0 = 0;
    double q = 0;

    std::complex<double> response(double hz) const
    {
        const std::complex<double> s(0, hz / f0);
        if (kind == QLatin1String("lowpass"))
            return 1.0 / (1.0 + s);
        if (kind == QLatin1String("highpass"))
            return s / (1.0 + s);
        return (s / q) / (1.0 + s / q + s * s);
    }
    std::vector<double> corners() const
    {
        if (kind != QLatin1String("bandpass"))
            return { f0 };
        const double root = std::sqrt(1 + 1 / (4 * q * q));
        return { f0 * (root - 1 / (2 * q)), f0 * (root + 1 / (2 * q)) };
    }
};

struct Row {
    double hz = 0;
    bool measured = false;
    double gainDb = 0;
    double phaseDeg = 0;
    int timeBase = 0;
};

struct Sweep {
    bool ok = false;
    double seconds = 0;
    std::vector<Row> rows;
    std::vector<double> corners;
};

int timeBaseCode(const QString &text)
{
    for (int code = 0; code <= frametiming::kSlowestCode; ++code)
        if (sweeptable::timeBaseText(code) == text)
            return code;
    return -1;
}

Sweep run(const QString &circuit, int speed, const QStringList &plan)
{
    Sweep result;
    SimProcess sim(circuit.isEmpty() ? QStringList {} : QStringList { QStringLiteral("--circuit"), circuit });
    if (!sim.start())
        return result;
    QProcess cli;
    cli.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer wall;
    wall.start();
    cli.start(QStringLiteral(LABBENCH_CLI),
        QStringList { QStringLiteral("sweep"), QStringLiteral("--port"), sim.portPath(),
            QStringLiteral("--speed"), QString::number(speed) }
            + plan);
    if (!cli.waitForFinished(600000) || cli.exitCode() != 0)
        return result;
    result.seconds = wall.elapsed() / 1000.0;
    sim.stop();
    for (const QByteArray &line : cli.readAllStandardOutput().split('\n')) {
        if (line.startsWith("# f_3dB_Hz: ") && !line.endsWith("none"))
            result.corners.push_back(line.mid(12).toDouble());
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> cells = line.split(',');
        if (cells.size() < 9)
            continue;
        Row row;
        row.hz = cells[0].toDouble();
        row.measured = !cells[1].isEmpty();
        row.gainDb = cells[1].toDouble();
        row.phaseDeg = cells[2].toDouble();
        row.timeBase = timeBaseCode(QString::fromUtf8(cells[7]));
        result.rows.push_back(row);
    }
    result.ok = !result.rows.empty();
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const QStringList accuracyPlan { QStringLiteral("--from"), QStringLiteral("10"),
        QStringLiteral("--to"), QStringLiteral("100k"), QStringLiteral("--per-decade"),
        QStringLiteral("10") };
    const std::vector<Circuit> circuits = quick
        ? std::vector<Circuit> { { QStringLiteral("lowpass:1k"), QStringLiteral("lowpass"), 1000, 0 } }
        : std::vector<Circuit> {
              { QStringLiteral("lowpass:1k"), QStringLiteral("lowpass"), 1000, 0 },
              { QStringLiteral("lowpass:3.3k"), QStringLiteral("lowpass"), 3300, 0 },
              { QStringLiteral("highpass:470"), QStringLiteral("highpass"), 470, 0 },
              { QStringLiteral("bandpass:5k:0.7"), QStringLiteral("bandpass"), 5000, 0.7 },
              { QStringLiteral("bandpass:2k:2"), QStringLiteral("bandpass"), 2000, 2 },
          };
    int failures = 0;
    for (const Circuit &c : circuits) {
        const Sweep s = run(c.name, 2500000, accuracyPlan);
        const QString name = QStringLiteral("sweep.") + QString(c.name).replace(QLatin1Char(':'), QLatin1Char('_'));
        if (!s.ok) {
            std::fprintf(stderr, "bench-sweep: the sweep over %s failed\n", qPrintable(c.name));
            ++failures;
            continue;
        }
        double gainError = 0, phaseError = 0, phaseErrorAll = 0;
        int notMeasured = 0;
        for (const Row &r : s.rows) {
            if (!r.measured) {
                ++notMeasured;
                continue;
            }
            const std::complex<double> h = c.response(r.hz);
            const double exactDb = 20 * std::log10(std::abs(h));
            double dp = r.phaseDeg - std::arg(h) * 180 / kPi;
            dp -= 360 * std::round(dp / 360);
            if (exactDb >= -40) {
                gainError = std::max(gainError, std::abs(r.gainDb - exactDb));
                phaseError = std::max(phaseError, std::abs(dp));
            }
            phaseErrorAll = std::max(phaseErrorAll, std::abs(dp));
        }
        bench::print(name + QStringLiteral(".steps"), double(s.rows.size()), QString());
        bench::print(name + QStringLiteral(".not_measured"), notMeasured, QString());
        bench::print(name + QStringLiteral(".gain_error_max"), gainError, QStringLiteral("dB"));
        bench::print(name + QStringLiteral(".phase_error_max"), phaseError, QStringLiteral("deg"));
        bench::print(name + QStringLiteral(".phase_error_max_all_steps"), phaseErrorAll, QStringLiteral("deg"));
        const std::vector<double> exact = c.corners();
        for (std::size_t i = 0; i < exact.size(); ++i) {
            const double found = i < s.corners.size() ? s.corners[i] : 0.0;
            bench::print(name + QStringLiteral(".f3dB_%1").arg(i + 1), found, QStringLiteral("Hz"));
            bench::print(name + QStringLiteral(".f3dB_%1_error").arg(i + 1),
                100 * (found / exact[i] - 1), QStringLiteral("%"));
        }
        bench::print(name + QStringLiteral(".seconds"), s.seconds, QStringLiteral("s"));
    }

    const QStringList speedPlan { QStringLiteral("--from"), QStringLiteral("100"),
        QStringLiteral("--to"), QStringLiteral("100k"), QStringLiteral("--per-decade"),
        QStringLiteral("10") };
    for (const int speed : { 2500000, 115200 }) {
        const Sweep s = run(QStringLiteral("lowpass:1k"), speed, speedPlan);
        const QString name = QStringLiteral("sweep.speed_%1").arg(speed);
        if (!s.ok) {
            std::fprintf(stderr, "bench-sweep: the speed sweep at %d bit/s failed\n", speed);
            ++failures;
            continue;
        }
        double frames = 0;
        for (const Row &r : s.rows)
            frames += frametiming::frameMs(r.timeBase, speed) / 1000.0;
        bench::print(name + QStringLiteral(".steps"), double(s.rows.size()), QString());
        bench::print(name + QStringLiteral(".seconds"), s.seconds, QStringLiteral("s"));
        bench::print(name + QStringLiteral(".frames_own_seconds"), frames, QStringLiteral("s"));
        bench::print(name + QStringLiteral(".ratio"), frames > 0 ? s.seconds / frames : 0.0, QString());
    }
    return failures == 0 ? 0 : 1;
}
