#pragma once

#include "serialdevicebase.h"

#include <windows.h>

#include <QReadWriteLock>

#include <memory>

class WinSerialEventThread;

// A serial port over the Win32 communications functions. In polling mode
// reads and writes are synchronous and bounded by the port's time-out; in
// event-driven mode I/O is overlapped and an event thread reports arrivals
// (readyRead), finished writes (bytesWritten) and DSR changes (dsrChanged).
class WinSerialDevice : public SerialDeviceBase {
    Q_OBJECT
public:
    // The COMMCONFIG size the drivers are given.
    static constexpr DWORD kCommConfigSize = 52;

    WinSerialDevice();
    WinSerialDevice(const QString& name, int mode);
    WinSerialDevice(const LineSettings& settings, int mode);
    WinSerialDevice(const QString& name, const LineSettings& settings, int mode);
    ~WinSerialDevice() override;

    bool isSequential() const override;
    bool open(OpenMode mode) override;
    void close() override;
    qint64 size() const override;
    bool atEnd() const override;
    qint64 bytesToWrite() const override;
    bool waitForReadyRead(int msecs) override;

    void setBaudRate(int code) override;
    void setDataBits(int code) override;
    void setParity(int code) override;
    void setStopBits(int code) override;
    void setFlowControl(int code) override;
    void setTimeout(long ms) override;
    // Time-outs in any form the driver knows, beyond the two setTimeout
    // makes; applied at once, also in event-driven mode (then the caller's
    // reads may be left pending and are waited for).
    void setCommTimeouts(const COMMTIMEOUTS& wanted);
    void flush() override;
    qint64 bytesAvailable() override;
    void ungetChar(char c) override;
    qint64 readLine(char* data, qint64 maxSize) override;
    void translateError(unsigned long flags) override;
    void setDtr(bool on) override;
    void setRts(bool on) override;
    unsigned long lineStatus() override;

    // One pass of the event thread: waits for the next comm event and
    // reports it. Runs on the event thread only.
    void monitorCommEvent();

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    void applySettings(const LineSettings& wanted);
    // Each writes one setting into the DCB (with its warnings) and says
    // whether the configuration should be written to the driver.
    void applyBaudRate(int code);
    bool applyDataBits(int code);
    bool applyStopBits(int code);
    void applyParity(int code);
    bool applyFlowControl(int code);
    void writeConfig();
    // Frees the event of the last event-driven write, first waiting for that
    // write to finish when the line is still open. Write lock held.
    void releaseWriteEvent(bool waitForWrite);

    HANDLE handle = INVALID_HANDLE_VALUE;
    OVERLAPPED eventOverlap {};
    OVERLAPPED writeOverlap {};
    COMMCONFIG config {};
    COMMTIMEOUTS timeouts {};
    std::unique_ptr<QReadWriteLock> bytesToWriteLock;
    qint64 pendingWrites = 0;
    std::unique_ptr<WinSerialEventThread> eventThread;
    DWORD eventMask = 0; // filled by the pending WaitCommEvent
    bool waitFailing = false; // event thread's own: WaitCommEvent keeps failing
};
