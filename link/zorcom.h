#pragma once

#include "linkpolicy.h"
#include "openfailure.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class FrameBuffer;
class GenTable;
class SerialPort;
class Thread;

// The link to one ZOR: opens and configures the line, runs the worker, and
// takes the panels' requests. Requests never block and never touch the line:
// they store parameters for the worker and return at once. On a link without
// a live worker (not opened, failed to open, or closed) they do nothing.
class ZORCom {
public:
    ZORCom(FrameBuffer *buf, GenTable *genBuf);
    ~ZORCom();
    ZORCom(const ZORCom &) = delete;
    ZORCom &operator=(const ZORCom &) = delete;

    bool Open(const QString &name, int speed);
    // The limits the worker waits on the device with, in place of those the
    // line's speed gives; for a test that must not wait the real ones out.
    void setTimes(const LinkPolicy::Times &times) { chosenTimes = times; }
    // Why the last Open failed, in the words shown after "Unable to open".
    OpenFailure openFailure() const { return failure; }
    bool Start();
    bool Close();

    // True from a successful Open until Close, while the worker has not lost the line.
    bool isOpen() const;
    // True when the worker ended because the line failed.
    bool lineLost() const;
    // Blocks until every request made so far has been carried out on the line
    // (at most timeoutMs); false on time-out, without a live worker, or when
    // the device did not take one of the exchanges since the last call, or
    // when cancelled (asked every few milliseconds) says so.
    bool waitServed(int timeoutMs, const std::function<bool()> &cancelled = {});

    bool osc1chStart();
    bool disable2channel();
    bool osc2chStart();
    bool enable2channel();
    bool genStart();
    bool setGain(int gain1, int gain2);
    bool setTimeBase(int timeBase);
    bool sendGenChannel();
    bool setFreq(int period, int tab);

private:
    std::unique_ptr<SerialPort> port;
    std::unique_ptr<Thread> thread;
    FrameBuffer *buf;
    GenTable *genBuf;
    OpenFailure failure;
    std::optional<LinkPolicy::Times> chosenTimes;
};
