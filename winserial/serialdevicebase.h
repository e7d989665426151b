#pragma once

#include "linesettings.h"

#include <QIODevice>
#include <QRecursiveMutex>
#include <QString>

#include <memory>

// A serial port as a QIODevice: the state every port has (name, line
// settings as codes, last error, query mode) and the operations that only
// store or return it. The platform class below it talks to the system.
//
// Codes: baud rate 0..27 (19 = 115200); data bits 0..3 = 5..8 bits; parity
// 0 none, 1 odd, 2 even, 3 mark, 4 space; stop bits 0 one, 1 one and a half,
// 2 two; flow control 0 off, 1 CTS/RTS, 2 XON/XOFF.
class SerialDeviceBase : public QIODevice {
    Q_OBJECT
public:
    // Query modes.
    static constexpr int kPolling = 0; // synchronous reads and writes, no event thread
    static constexpr int kEventDriven = 1; // overlapped I/O, an event thread reports arrivals

    // Last error codes.
    static constexpr int kNoError = 0;
    static constexpr int kModeError = 1;
    static constexpr int kBreak = 6;
    static constexpr int kFramingError = 7;
    static constexpr int kIoError = 8;
    static constexpr int kOverrun = 9;
    static constexpr int kReceiveOverflow = 10;
    static constexpr int kParityError = 11;
    static constexpr int kTransmitFull = 12;
    static constexpr int kReadFailed = 13;
    static constexpr int kWriteFailed = 14;

    SerialDeviceBase();
    explicit SerialDeviceBase(const QString& name);
    ~SerialDeviceBase() override;

    // The toolkit's own overloads stay reachable beside the port's.
    using QIODevice::bytesAvailable;
    using QIODevice::readLine;

    // Sets the defaults: 115200 baud, 8 data bits, no parity, one stop bit,
    // hardware flow control, 500 ms time-out, polling.
    virtual void construct();
    virtual void setPortName(const QString& name);
    virtual QString portName() const;
    virtual void setQueryMode(int mode);
    virtual void setBaudRate(int code) = 0;
    virtual int baudRate() const;
    virtual void setDataBits(int code) = 0;
    virtual int dataBits() const;
    virtual void setParity(int code) = 0;
    virtual int parity() const;
    virtual void setStopBits(int code) = 0;
    virtual int stopBits() const;
    virtual void setFlowControl(int code) = 0;
    virtual int flowControl() const;
    virtual void setTimeout(long ms) = 0;
    virtual void flush() = 0;
    // Bytes waiting in the driver and the toolkit; -1 when the line fails.
    virtual qint64 bytesAvailable() = 0;
    virtual void ungetChar(char c) = 0;
    virtual qint64 readLine(char* data, qint64 maxSize) = 0;
    virtual int lastError() const;
    virtual void translateError(unsigned long flags) = 0;
    virtual void setDtr(bool on) = 0;
    virtual void setRts(bool on) = 0;
    // Modem lines: 1 CTS, 2 DSR, 4 DCD, 8 ring.
    virtual unsigned long lineStatus() = 0;

    static constexpr unsigned long kLineCts = 0x01;
    static constexpr unsigned long kLineDsr = 0x02;
    static constexpr unsigned long kLineDcd = 0x04;
    static constexpr unsigned long kLineRing = 0x08;

signals:
    void dsrChanged(bool status);

protected:
    // Held by every operation except size(), so one thread may configure the
    // port while another reads or writes.
    std::unique_ptr<QRecursiveMutex> mutex;
    QString name;
    LineSettings settings {};
    int lastErr = kNoError;
    int query = kPolling;
};
