#include "serialdevicebase.h"

#include <QMutexLocker>

namespace {

constexpr int kBaud115200 = 19;
constexpr int kEightDataBits = 3;
constexpr int kNoParity = 0;
constexpr int kOneStopBit = 0;
constexpr int kHardwareFlow = 1;
constexpr long kDefaultTimeoutMs = 500;

} // namespace

SerialDeviceBase::SerialDeviceBase()
    : SerialDeviceBase(QStringLiteral("COM1"))
{
}

SerialDeviceBase::SerialDeviceBase(const QString& portName)
    : name(portName)
{
    SerialDeviceBase::construct();
}

SerialDeviceBase::~SerialDeviceBase() = default;

void SerialDeviceBase::construct()
{
    mutex = std::make_unique<QRecursiveMutex>();
    settings
        = { kBaud115200, kEightDataBits, kNoParity, kOneStopBit, kHardwareFlow, kDefaultTimeoutMs };
    lastErr = kNoError;
    query = kPolling;
    setOpenMode(NotOpen);
}

void SerialDeviceBase::setPortName(const QString& portName)
{
    QMutexLocker lock(mutex.get());
    name = portName;
}

QString SerialDeviceBase::portName() const
{
    QMutexLocker lock(mutex.get());
    return name;
}

void SerialDeviceBase::setQueryMode(int mode)
{
    QMutexLocker lock(mutex.get());
    query = mode;
}

int SerialDeviceBase::baudRate() const
{
    QMutexLocker lock(mutex.get());
    return settings.baudRate;
}

int SerialDeviceBase::dataBits() const
{
    QMutexLocker lock(mutex.get());
    return settings.dataBits;
}

int SerialDeviceBase::parity() const
{
    QMutexLocker lock(mutex.get());
    return settings.parity;
}

int SerialDeviceBase::stopBits() const
{
    QMutexLocker lock(mutex.get());
    return settings.stopBits;
}

int SerialDeviceBase::flowControl() const
{
    QMutexLocker lock(mutex.get());
    return settings.flowControl;
}

int SerialDeviceBase::lastError() const
{
    QMutexLocker lock(mutex.get());
    return lastErr;
}
