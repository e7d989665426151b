#include "zorcom.h"

#include "linerules.h"
#include "serialport.h"
#include "shared.h"
#include "thread.h"

#include <QFile>

ZORCom::ZORCom(FrameBuffer *b, GenTable *g)
    : port(std::make_unique<SerialPort>())
    , buf(b)
    , genBuf(g)
{
}

ZORCom::~ZORCom()
{
    if (thread)
        Close();
}

bool ZORCom::Open(const QString &name, int speed)
{
    failure = {};
    if (thread) {
        failure = { OpenFailure::Kind::InUse, {} };
        return false;
    }
    if (name.trimmed().isEmpty()) {
        failure = { OpenFailure::Kind::NoName, {} };
        return false;
    }
    // A port name is a file name: encoded as the system encodes file names.
    if (!port->Open(QFile::encodeName(name).constData())) {
        failure = port->failure();
        return false;
    }
    sts.set(QStringLiteral("opened"));
    port->Set(speed);
    if (chosenTimes)
        port->line().setTimeoutMs(chosenTimes->lineTimeoutMs);
    thread = std::make_unique<Thread>(
        port.get(), buf, genBuf, chosenTimes ? *chosenTimes : Thread::timesFor(speed));
    return true;
}

bool ZORCom::Start()
{
    if (thread) {
        thread->start(QThread::InheritPriority);
        thread->waitUntilRunning();
    }
    return true;
}

bool ZORCom::Close()
{
    if (linerules::closePortFirst())
        port->Close();
    thread.reset(); // stops the worker and waits for it
    port->Close();
    sts.set(QStringLiteral("closed"));
    return true;
}

bool ZORCom::isOpen() const
{
    return thread && !thread->lineLost();
}

bool ZORCom::lineLost() const
{
    return thread && thread->lineLost();
}

bool ZORCom::waitServed(int timeoutMs, const std::function<bool()> &cancelled)
{
    return thread && thread->waitServed(timeoutMs, cancelled);
}

bool ZORCom::osc1chStart()
{
    if (thread)
        thread->requestChannel(false);
    return true;
}

bool ZORCom::disable2channel()
{
    return osc1chStart();
}

bool ZORCom::osc2chStart()
{
    if (thread)
        thread->requestChannel(true);
    return true;
}

bool ZORCom::enable2channel()
{
    return osc2chStart();
}

bool ZORCom::genStart()
{
    if (thread)
        thread->requestGenerator();
    return true;
}

bool ZORCom::setGain(int gain1, int gain2)
{
    if (thread)
        thread->requestGain(gain1, gain2);
    return true;
}

bool ZORCom::setTimeBase(int timeBase)
{
    if (thread)
        thread->requestTimeBase(timeBase);
    return true;
}

bool ZORCom::sendGenChannel()
{
    if (thread)
        thread->requestSend();
    return true;
}

bool ZORCom::setFreq(int period, int tab)
{
    if (thread)
        thread->requestFreq(period, tab);
    return true;
}
