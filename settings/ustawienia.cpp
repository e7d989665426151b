#include "ustawienia.h"

#include "portnameedit.h"
#include "settingsfile.h"
#include "settingsstore.h"

#include <QComboBox>
#include <QPlainTextEdit>

Ustawienia::Ustawienia(QWidget *w, PortLister lister)
    : QMainWindow(nullptr), window(w), ports(std::move(lister))
{
    // The defaults are those a new settings.txt gets.
    const settingsfile::Fields defaults = *settingsfile::parse(QLatin1String(kDefaultContent));

    speedBox = new QComboBox(window);
    speedBox->setGeometry(100, 100, 200, 20);
    for (const int s : portSpeed)
        speedBox->addItem(QString::number(s));
    speedBox->setCurrentIndex(defaults.index);
    connect(speedBox, SIGNAL(activated(int)), this, SLOT(rsSpeedSlot()));

    nameEdit = new PortNameEdit(defaults.portName, window);
    nameEdit->setGeometry(100, 130, 200, 30);
    nameEdit->document()->setMaximumBlockCount(1);

    portName = defaults.portName;
    speed = defaults.speed;
    readSettings();

    // With the one-paragraph limit the appended name replaces the initial text.
    nameEdit->appendPlainText(portName);
    connect(nameEdit, SIGNAL(textChanged()), this, SLOT(rsNameSlot()));

    // Below the editor; filled when the tab is shown, so start-up reads no
    // device folders. Choosing an entry only fills the editor, which saves it.
    portBox = new QComboBox(window);
    portBox->setObjectName(QStringLiteral("portBox"));
    portBox->setGeometry(100, 170, 500, 20);
    connect(portBox, SIGNAL(activated(int)), this, SLOT(portSlot()));
}

Ustawienia::~Ustawienia() = default;

void Ustawienia::show()
{
    speedBox->setVisible(true);
    nameEdit->setVisible(true);
    refreshPorts();
    portBox->setVisible(true);
}

void Ustawienia::hide()
{
    speedBox->setVisible(false);
    nameEdit->setVisible(false);
    portBox->setVisible(false);
}

// Adapters come and go while the program runs, so the list is taken afresh.
// The port in the editor is shown as chosen when it is among them.
void Ustawienia::refreshPorts()
{
    portBox->clear();
    for (const OfferedPort &port : ports()) {
        const QString text = port.target.isEmpty()
            ? port.path
            : port.path + QStringLiteral("  \u2192  ") + port.target;
        portBox->addItem(text, port.path);
    }
    portBox->setPlaceholderText(portBox->count() == 0 ? QStringLiteral("No serial port found")
                                                      : QStringLiteral("Serial ports on this computer"));
    portBox->setCurrentIndex(portBox->findData(portName));
}

// The fields are read as far as they go, not only the first word, so that a
// port name with spaces survives a restart, and however long the file is.
// Text before the first "#" is ignored; a file with no "#" keeps its content
// and gets the default appended, once.
void Ustawienia::readSettings()
{
    const QString path = QString::fromLatin1(kFileName);
    settingsstore::removeLeftovers(path);
    const settingsstore::Contents file = settingsstore::read(path);
    if (file.found == settingsstore::Found::Unusable)
        return; // unreadable, a directory or special file: keep the defaults, touch nothing
    const QString content = settingsstore::text(file);

    if (!content.contains(QLatin1Char('#'))) {
        // The old content is kept byte for byte, whatever its encoding.
        settingsstore::save(path, file.bytes + kDefaultContent);
        return;
    }

    const auto fields = settingsfile::parse(content);
    if (!fields)
        return;
    portName = fields->portName;
    speed = fields->speed;
    speedBox->setCurrentIndex(fields->index);
}

void Ustawienia::writeSettings()
{
    settingsstore::save(QString::fromLatin1(kFileName),
                        settingsfile::format({portName, speed, speedBox->currentIndex()}).toUtf8());
}

void Ustawienia::rsSpeedSlot()
{
    const int index = speedBox->currentIndex();
    if (index >= 0 && index < static_cast<int>(portSpeed.size()))
        speed = portSpeed[static_cast<std::size_t>(index)];
    writeSettings();
}

void Ustawienia::portSlot()
{
    const QString path = portBox->currentData().toString();
    if (!path.isEmpty() && path != nameEdit->toPlainText())
        nameEdit->setPlainText(path);
}

void Ustawienia::rsNameSlot()
{
    portName = nameEdit->toPlainText();
    // The list marks the port typed, or none.
    portBox->setCurrentIndex(portBox->findData(portName));
    writeSettings();
}
