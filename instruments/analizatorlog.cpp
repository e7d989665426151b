#include "analizatorlog.h"

#include <QComboBox>
#include <QLabel>
#include <QStringList>

namespace {

constexpr int kInitialRow = 7; // "2kHz/dz"

} // namespace

AnalizatorLog::AnalizatorLog(QWidget *w)
    : window(w)
{
    const QStringList times { "10Hz/dz", "25Hz/dz", "50Hz/dz", "100Hz/dz", "250Hz/dz", "500Hz/dz",
        "1kHz/dz", "2kHz/dz", "5kHz/dz", "10kHz/dz", "25kHz/dz", "50kHz/dz", "62.5kHz/dz" };
    timeBox = new QComboBox(window);
    timeBox->setObjectName(QStringLiteral("timeBox"));
    timeBox->setGeometry(100, 580, 110, 20);
    timeBox->insertItems(timeBox->count(), times);
    timeBox->setCurrentIndex(kInitialRow);
    timeBox->setEnabled(false);
    timeBox->hide();
    connect(timeBox, SIGNAL(activated(int)), this, SLOT(tlSlot()));

    valueLabel = new QLabel(QStringLiteral("Value: 0"), window);
    valueLabel->setObjectName(QStringLiteral("valueLabel"));
    valueLabel->setGeometry(838, 100, 200, 20);
    valueLabel->setEnabled(false);
    valueLabel->hide();
}

void AnalizatorLog::show()
{
    timeBox->show();
    valueLabel->show();
}

void AnalizatorLog::hide()
{
    timeBox->hide();
    valueLabel->hide();
}

void AnalizatorLog::enable()
{
    timeBox->setEnabled(true);
    valueLabel->setEnabled(true);
}

// The tab is a front only: there is nothing to send.
void AnalizatorLog::start() { }

void AnalizatorLog::tlSlot()
{
    valueLabel->setText(QStringLiteral("Value: 2"));
}
