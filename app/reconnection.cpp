#include "reconnection.h"

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

// Opening is the look: a name that is not there fails at once, in one system
// call, on Linux (a /dev/serial/by-id/ link to a device not yet back
// included) as on Windows, where a COM name is no file to look for.
void Reconnection::check()
{
    if (open(portName, portSpeed))
        timer.stop();
}
