#include "reconnection.h"

#include <QFileInfo>

#include <utility>

Reconnection::Reconnection(Opener opener, QObject *parent) : QObject(parent), open(std::move(opener))
{
    timer.setInterval(kCheckMs);
    connect(&timer, SIGNAL(timeout()), this, SLOT(check()));
}

void Reconnection::watch(const QString &name, int speed)
{
    portName = name;
    portSpeed = speed;
    timer.start();
}

void Reconnection::cancel()
{
    timer.stop();
}

// A name that is not there costs one stat; a symlink to a device not yet back
// (the /dev/serial/by-id/ names) does not exist either.
void Reconnection::check()
{
    if (!QFileInfo::exists(portName))
        return;
    if (open(portName, portSpeed))
        timer.stop();
}
