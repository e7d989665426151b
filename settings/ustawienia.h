#pragma once

#include "settingsfile.h"
#include "settingsstore.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <functional>
#include <vector>

class QComboBox;
class QPlainTextEdit;

// A port offered in the list: what goes into the editor, and for a stable
// name the device it points to, shown beside it.
struct OfferedPort {
    QString path;
    QString target;
};

// The "&Ustawienia" tab: serial port name and line speed, kept in
// settings.txt in the working directory, and a list of the ports this
// machine has to take the name from.
class Ustawienia : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const std::array<int, 10> &portSpeed = settingsfile::kSpeeds;
    static constexpr const char *kFileName = settingsstore::kFileName;
    static constexpr const char *kDefaultContent = settingsstore::kDefaultContent;

    using PortLister = std::function<std::vector<OfferedPort>()>;

    // ports gives the list offered beside the editor, asked each time the tab
    // is shown; the main window hands over the machine's list.
    Ustawienia(QWidget *window, PortLister ports);
    ~Ustawienia() override;

    QString getPortName() const { return portName; }
    int getPortSpeed() const { return speed; }

    void show();
    void hide();
    void readSettings();
    void writeSettings();

private slots:
    void rsSpeedSlot();
    void rsNameSlot();
    void portSlot();

private:
    QWidget *window;
    QComboBox *speedBox;
    QPlainTextEdit *nameEdit;
    int speed = 115200;
    QString portName;
    QComboBox *portBox;
    PortLister ports;

    void refreshPorts();
};
