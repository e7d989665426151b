#include "ustawienia.h"

#include "settingsfile.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QTextStream>

Ustawienia::Ustawienia(QWidget *w) : QMainWindow(nullptr), window(w)
{
    speedBox = new QComboBox(window);
    speedBox->setGeometry(100, 100, 200, 20);
    for (const int s : portSpeed)
        speedBox->addItem(QString::number(s));
    speedBox->setCurrentIndex(3);
    connect(speedBox, SIGNAL(activated(int)), this, SLOT(rsSpeedSlot()));

    nameEdit = new QPlainTextEdit(QStringLiteral("/dev/ttyS0"), window);
    nameEdit->setGeometry(100, 130, 200, 30);
    nameEdit->document()->setMaximumBlockCount(1);

    portName = QStringLiteral("/dev/ttyS0");
    speed = 115200;
    readSettings();

    // With the one-paragraph limit the appended name replaces the initial text.
    nameEdit->appendPlainText(portName);
    connect(nameEdit, SIGNAL(textChanged()), this, SLOT(rsNameSlot()));
}

Ustawienia::~Ustawienia() = default;

void Ustawienia::show()
{
    speedBox->setVisible(true);
    nameEdit->setVisible(true);
}

void Ustawienia::hide()
{
    speedBox->setVisible(false);
    nameEdit->setVisible(false);
}

// The whole file is read, not only its first word, so that a port name with
// spaces survives a restart. Text before the first "#" is ignored; a file with
// no "#" keeps its content and gets the default appended, once.
void Ustawienia::readSettings()
{
    const settingsfile::Stored stored = settingsfile::read(QString::fromLatin1(kFileName));
    if (!stored.readable)
        return; // unreadable, a directory or special file: keep the defaults, touch nothing
    const QByteArray &raw = stored.raw;
    const QString &content = stored.content;

    if (!content.contains(QLatin1Char('#'))) {
        // The old content is kept byte for byte, whatever its encoding.
        QSaveFile out(QString::fromLatin1(kFileName));
        if (!out.open(QIODevice::WriteOnly))
            return;
        out.write(raw);
        out.write(kDefaultContent);
        out.commit();
        return;
    }

    const auto fields = settingsfile::parse(content);
    if (!fields)
        return;
    portName = fields->portName;
    speed = fields->speed;
    speedBox->setCurrentIndex(fields->index);
}

// Written as a whole and swapped in, so an interrupted write never leaves an
// empty or half-written file behind.
void Ustawienia::writeSettings()
{
    QSaveFile out(QString::fromLatin1(kFileName));
    if (!out.open(QIODevice::WriteOnly))
        return;
    QTextStream stream(&out);
    stream << settingsfile::format({portName, speed, speedBox->currentIndex()});
    stream.flush();
    out.commit();
}

void Ustawienia::rsSpeedSlot()
{
    const int index = speedBox->currentIndex();
    if (index >= 0 && index < static_cast<int>(portSpeed.size()))
        speed = portSpeed[static_cast<std::size_t>(index)];
    writeSettings();
}

void Ustawienia::rsNameSlot()
{
    portName = nameEdit->toPlainText();
    writeSettings();
}
