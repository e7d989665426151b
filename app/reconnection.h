#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// Waits for a lost port to come back: a few times a second it tries to open
// the port by its name again. A port that shows up before it can be opened
// (udev still setting permissions) is simply tried again on the next check.
class Reconnection : public QObject {
    Q_OBJECT
public:
    // Checks per second are 1000 / kCheckMs: idle enough for a laptop on
    // battery, quick enough that frames flow again well within 2 s.
    static constexpr int kCheckMs = 250;

    // open is called with the port name and speed; true when the port is open.
    using Opener = std::function<bool(const QString &name, int speed)>;

    Reconnection(Opener open, QObject *parent);

    void watch(const QString &name, int speed);
    void cancel();
    bool waiting() const { return timer.isActive(); }

private slots:
    void check();

private:
    Opener open;
    QTimer timer;
    QString portName;
    int portSpeed = 0;
};
