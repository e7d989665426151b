#pragma once

#include <QMainWindow>
#include <QString>

#include <array>

class QComboBox;
class QPlainTextEdit;

// The "&Ustawienia" tab: serial port name and line speed, kept in
// settings.txt in the working directory.
class Ustawienia : public QMainWindow {
    Q_OBJECT
public:
    static constexpr std::array<int, 10> portSpeed{19200,  38400,  57600,   115200,  230400,
                                                   460800, 921600, 1152000, 1500000, 2500000};
    static constexpr const char *kFileName = "settings.txt";
    static constexpr const char *kDefaultContent = "#/dev/ttyS0#115200#3#ZOR";

    explicit Ustawienia(QWidget *window);
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

private:
    QWidget *window;
    QComboBox *speedBox;
    QPlainTextEdit *nameEdit;
    int speed = 115200;
    QString portName;
};
