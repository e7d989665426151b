#include "wobuloskop.h"

#include "plotgeometry.h"
#include "sweepplot.h"
#include "sweeptable.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <cmath>

namespace {

QLabel *label(QWidget *window, const QString &text, const QRect &place, const char *name = nullptr)
{
    auto *l = new QLabel(text, window);
    l->setGeometry(place);
    if (name)
        l->setObjectName(QLatin1String(name));
    return l;
}

} // namespace

Wobuloskop::Wobuloskop(QWidget *w, FrameBuffer *f, GenTable *t)
    : window(w)
    , frames(f)
    , table(t)
{
    plot = new SweepPlot(window);
    plot->setObjectName(QStringLiteral("sweepPlot"));
    plot->setGeometry(plot::kLeft, plot::kTop, plot::kRight - plot::kLeft, plot::kBottom - plot::kTop);
    connect(plot, SIGNAL(hovered(int)), this, SLOT(hoverSlot(int)));
    connect(plot, SIGNAL(left()), this, SLOT(leaveSlot()));

    labels.push_back(label(window, QStringLiteral("from"), QRect(100, 558, 70, 18)));
    fromEdit = new QLineEdit(QStringLiteral("100"), window);
    fromEdit->setObjectName(QStringLiteral("sweepFromEdit"));
    fromEdit->setGeometry(100, 580, 70, 20);
    labels.push_back(label(window, QStringLiteral("to"), QRect(180, 558, 70, 18)));
    toEdit = new QLineEdit(QStringLiteral("100k"), window);
    toEdit->setObjectName(QStringLiteral("sweepToEdit"));
    toEdit->setGeometry(180, 580, 70, 20);
    labels.push_back(label(window, QStringLiteral("per decade"), QRect(260, 558, 70, 18)));
    perDecadeBox = new QSpinBox(window);
    perDecadeBox->setObjectName(QStringLiteral("sweepPerDecadeBox"));
    perDecadeBox->setRange(1, 100);
    perDecadeBox->setValue(sweep::kDefaultPerDecade);
    perDecadeBox->setGeometry(260, 580, 70, 20);
    labels.push_back(label(window, QStringLiteral("amplitude"), QRect(340, 558, 70, 18)));
    amplitudeEdit = new QLineEdit(QStringLiteral("1V"), window);
    amplitudeEdit->setObjectName(QStringLiteral("sweepAmplitudeEdit"));
    amplitudeEdit->setGeometry(340, 580, 70, 20);
    startButton = new QPushButton(QStringLiteral("Start"), window);
    startButton->setObjectName(QStringLiteral("sweepStartButton"));
    startButton->setGeometry(792, 555, 80, 20);
    connect(startButton, SIGNAL(clicked()), this, SLOT(startSlot()));

    // Below the oscilloscope's position labels, which every tab shows.
    cornerLabel = label(window, QString(), QRect(838, 80, 200, 36), "sweepCornerLabel");
    cornerLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    passbandLabel = label(window, QString(), QRect(838, 120, 200, 20), "sweepPassbandLabel");
    progressLabel = label(window, QString(), QRect(838, 140, 200, 20), "sweepProgressLabel");
    hoverLabel = label(window, QString(), QRect(838, 180, 200, 70), "sweepHoverLabel");
    hoverLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    labels.push_back(label(window,
        QStringLiteral("generator → circuit in and CH2\ncircuit out → CH1"), QRect(838, 420, 200, 36)));

    for (QWidget *widget : { static_cast<QWidget *>(fromEdit), static_cast<QWidget *>(toEdit),
             static_cast<QWidget *>(perDecadeBox), static_cast<QWidget *>(amplitudeEdit),
             static_cast<QWidget *>(startButton) })
        widget->setEnabled(false);
    hide();
}

Wobuloskop::~Wobuloskop()
{
    job.abort();
}

std::vector<QWidget *> Wobuloskop::widgets() const
{
    std::vector<QWidget *> all = labels;
    for (QWidget *widget : std::initializer_list<QWidget *> { plot, fromEdit, toEdit, perDecadeBox,
             amplitudeEdit, startButton, cornerLabel, passbandLabel, progressLabel, hoverLabel })
        all.push_back(widget);
    return all;
}

void Wobuloskop::show()
{
    for (QWidget *widget : widgets())
        widget->show();
}

void Wobuloskop::hide()
{
    job.stop();
    for (QWidget *widget : widgets())
        widget->hide();
}

void Wobuloskop::enable()
{
    for (QWidget *widget : std::initializer_list<QWidget *> { fromEdit, toEdit, perDecadeBox,
             amplitudeEdit, startButton })
        widget->setEnabled(true);
}

void Wobuloskop::start()
{
}

void Wobuloskop::abort()
{
    job.abort();
    tick();
}

std::optional<sweep::Plan> Wobuloskop::planFromControls()
{
    sweep::Plan plan;
    const std::optional<double> from = sweeptable::hertzFromText(fromEdit->text());
    const std::optional<double> to = sweeptable::hertzFromText(toEdit->text());
    const std::optional<int> amplitude = sweeptable::millivoltsFromText(amplitudeEdit->text(), true);
    QString problem;
    if (!from || !to)
        problem = QStringLiteral("frequencies as 100, 2.5k, 100k");
    else if (!amplitude)
        problem = QStringLiteral("amplitude as 1V or 500mV");
    plan.fromHz = from.value_or(0);
    plan.toHz = to.value_or(0);
    plan.perDecade = perDecadeBox->value();
    plan.amplitudeMv = amplitude.value_or(0);
    if (problem.isEmpty())
        problem = sweep::problem(plan).value_or(QString());
    if (!problem.isEmpty()) {
        progressLabel->setText(problem);
        return std::nullopt;
    }
    return plan;
}

void Wobuloskop::startSlot()
{
    if (running) {
        job.stop();
        return;
    }
    if (!com || job.busy())
        return;
    const std::optional<sweep::Plan> plan = planFromControls();
    if (!plan)
        return;
    shown = Result { *plan, {}, QDateTime::currentDateTime() };
    planned = int(sweep::steps(*plan).size());
    plot->setSpan(plan->fromHz, plan->toHz);
    plot->setPoints({});
    job.start(*com, *frames, *table, lineSpeed, *plan, generator);
    setRunning(true);
    showReadouts();
}

void Wobuloskop::setRunning(bool on)
{
    running = on;
    startButton->setText(on ? QStringLiteral("Stop") : QStringLiteral("Start"));
    for (QWidget *widget : std::initializer_list<QWidget *> { fromEdit, toEdit, perDecadeBox,
             amplitudeEdit })
        widget->setEnabled(!on && startButton->isEnabled());
}

void Wobuloskop::tick()
{
    const unsigned changes = job.changes();
    if (changes == changesSeen)
        return;
    changesSeen = changes;
    const SweepJob::Progress progress = job.progress();
    shown.points = progress.points;
    plot->setPoints(shown.points);
    if (running && progress.end)
        setRunning(false);
    showReadouts();
    if (!progress.end)
        return;
    switch (*progress.end) {
    case SweepRun::End::Done:
        break;
    case SweepRun::End::Stopped:
        progressLabel->setText(progressLabel->text() + QStringLiteral(", stopped"));
        break;
    case SweepRun::End::Lost:
        progressLabel->setText(progressLabel->text() + QStringLiteral(", line lost"));
        break;
    case SweepRun::End::NotTaken:
    case SweepRun::End::Silent:
        progressLabel->setText(progressLabel->text() + QStringLiteral(", the device did not answer"));
        break;
    }
}

void Wobuloskop::showReadouts()
{
    const std::vector<double> corners = sweep::cornersHz(shown.points);
    QStringList lines;
    for (const double f : corners)
        lines << QStringLiteral("f -3 dB: %1").arg(sweeptable::hertz(f));
    cornerLabel->setText(lines.join(QLatin1Char('\n')));
    const std::optional<double> passband = sweep::passbandDb(shown.points);
    // A passband of -0.001 dB reads 0.00, not -0.00.
    passbandLabel->setText(passband
            ? QStringLiteral("passband: %1 dB").arg(std::abs(*passband) < 0.005 ? 0.0 : *passband, 0, 'f', 2)
            : QString());
    progressLabel->setText(planned > 0
            ? QStringLiteral("step %1 of %2").arg(shown.points.size()).arg(planned)
            : QString());
}

void Wobuloskop::hoverSlot(int x)
{
    const std::optional<sweep::Point> p = plot->nearest(x);
    plot->mark(p ? std::optional<double>(p->hz) : std::nullopt);
    if (!p) {
        hoverLabel->clear();
        return;
    }
    QString text = QStringLiteral("f: %1\n").arg(sweeptable::hertz(p->hz));
    if (p->measured())
        text += QStringLiteral("gain: %1 dB\nphase: %2°")
                    .arg(p->gainDb(), 0, 'f', 2)
                    .arg(p->phaseDeg(), 0, 'f', 1);
    else
        text += sweep::reasonText(p->reason);
    hoverLabel->setText(text);
}

void Wobuloskop::leaveSlot()
{
    plot->mark(std::nullopt);
    hoverLabel->clear();
}
