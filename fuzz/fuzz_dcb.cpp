// The Windows serial library's mapping from setting codes to the DCB the
// driver gets, driven with arbitrary sequences of codes (in range and not),
// opens and closes, over the library's POSIX stand-in on a pseudo-terminal.
// A model of the codes checks after every step:
//  - the stored codes (substitutes for the unsupported rates; data and stop
//    bits never stored as a pair the line cannot take);
//  - every field of the last DCB written, and how many were written: rate,
//    size, stop bits, parity and its flag, the flow-control flags, and the
//    fields the library must leave as the driver reported them;
//  - the time-outs written for each time-out.
#include "driverlog.h"
#include "serialdevice.h"

#include <QtGlobal>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

constexpr std::array<DWORD, 28> kRates { 110, 110, 110, 110, 110, 110, 300, 600, 1200, 1200, 2400,
    4800, 9600, 14400, 19200, 38400, 56000, 57600, 57600, 115200, 128000, 256000, 230400, 460800,
    921600, 1152000, 1500000, 2500000 };

int substitute(int code)
{
    switch (code) {
    case 0:
    case 1:
    case 3:
    case 4:
    case 5:
        return 2;
    case 9:
        return 8;
    case 18:
        return 17;
    default:
        return code;
    }
}

// 5 data bits (code 0) never with two stop bits; 1.5 stop bits only with 5.
bool validPair(int data, int stop)
{
    return !(data == 0 && stop == 2) && !(stop == 1 && data != 0);
}

// What the library should have stored and written.
struct Model {
    int baud = 19, data = 3, parity = 0, stop = 0, flow = 1;
    long timeout = 500;
    long timeoutWritten = 0; // the time-out of the last SetCommTimeouts on a live line
    bool open = false;
    DCB dcb {};
    int configWrites = 0;
    int timeoutWrites = 0;

    void write() { ++configWrites; }

    void applyBaud(int code)
    {
        if (code >= 0 && code < static_cast<int>(kRates.size()))
            dcb.BaudRate = kRates[static_cast<std::size_t>(code)];
    }
    bool applyData(int code)
    {
        if (!validPair(code, stop))
            return false;
        dcb.ByteSize = static_cast<BYTE>(5 + code);
        return true;
    }
    bool applyStop(int code)
    {
        if (!validPair(data, code))
            return false;
        dcb.StopBits = static_cast<BYTE>(code == 0 ? ONESTOPBIT
                : code == 1                        ? ONE5STOPBITS
                                                   : TWOSTOPBITS);
        return true;
    }
    void applyParity(int code)
    {
        dcb.Parity = static_cast<BYTE>(code);
        if (code == 0)
            dcb.fParity = FALSE;
        else if (code >= 1 && code <= 4)
            dcb.fParity = TRUE;
    }
    bool applyFlow(int code)
    {
        if (code < 0 || code > 2)
            return false;
        dcb.fOutxCtsFlow = code == 1;
        dcb.fRtsControl = code == 1 ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
        dcb.fInX = code == 2;
        dcb.fOutX = code == 2;
        return true;
    }

    void setBaud(int code)
    {
        if (code != baud)
            baud = substitute(code);
        if (open) {
            applyBaud(code);
            write();
        }
    }
    void setData(int code)
    {
        if (code < 0 || code > 3)
            return;
        if (code != data && validPair(code, stop))
            data = code;
        if (open && applyData(code))
            write();
    }
    void setStop(int code)
    {
        if (code < 0 || code > 2)
            return;
        if (code != stop && validPair(data, code))
            stop = code;
        if (open && applyStop(code))
            write();
    }
    void setParity(int code)
    {
        parity = code;
        if (open) {
            applyParity(code);
            write();
        }
    }
    void setFlow(int code)
    {
        flow = code;
        if (open && applyFlow(code))
            write();
    }
    void setTimeout(long ms)
    {
        timeout = ms;
        if (open) {
            ++timeoutWrites; // polling mode: applied at once, counted on a live line
            timeoutWritten = ms;
        }
    }
    void opened(const DCB &driver)
    {
        open = true;
        dcb = driver;
        dcb.fBinary = TRUE;
        dcb.fInX = FALSE;
        dcb.fOutX = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;
        applyBaud(baud);
        applyData(data);
        applyStop(stop);
        applyParity(parity);
        applyFlow(flow);
        ++timeoutWrites;
        timeoutWritten = timeout;
        write();
    }
};

void compare(const DCB &got, const DCB &want)
{
    check(got.BaudRate == want.BaudRate);
    check(got.ByteSize == want.ByteSize);
    check(got.StopBits == want.StopBits);
    check(got.Parity == want.Parity);
    check(got.fParity == want.fParity);
    check(got.fBinary == want.fBinary);
    check(got.fOutxCtsFlow == want.fOutxCtsFlow);
    check(got.fRtsControl == want.fRtsControl);
    check(got.fInX == want.fInX);
    check(got.fOutX == want.fOutX);
    check(got.fNull == want.fNull);
    check(got.fAbortOnError == want.fAbortOnError);
    // Left as the driver had them.
    check(got.fDtrControl == want.fDtrControl);
    check(got.fOutxDsrFlow == want.fOutxDsrFlow);
    check(got.fDsrSensitivity == want.fDsrSensitivity);
    check(got.fTXContinueOnXoff == want.fTXContinueOnXoff);
    check(got.fErrorChar == want.fErrorChar);
    check(got.XonLim == want.XonLim);
    check(got.XoffLim == want.XoffLim);
    check(got.XonChar == want.XonChar);
    check(got.XoffChar == want.XoffChar);
    check(got.ErrorChar == want.ErrorChar);
    check(got.EofChar == want.EofChar);
}

std::string slave;
int master = -1;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_LOGGING_RULES", "*=false"); // the library's portability warnings
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master == -1 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        std::abort();
    slave = ::ptsname(master);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    DriverLog::reset();
    // The driver's own settings of the fields the library leaves alone.
    DCB driver = DriverLog::driverDefaults();
    if (size >= 4) {
        driver.fDtrControl = data[0] & 3;
        driver.fOutxDsrFlow = (data[0] >> 2) & 1;
        driver.fDsrSensitivity = (data[0] >> 3) & 1;
        driver.fTXContinueOnXoff = (data[0] >> 4) & 1;
        driver.fErrorChar = (data[0] >> 5) & 1;
        driver.fNull = (data[0] >> 6) & 1;
        driver.fAbortOnError = (data[0] >> 7) & 1;
        driver.fRtsControl = data[1] & 3;
        driver.fOutxCtsFlow = (data[1] >> 2) & 1;
        driver.fInX = (data[1] >> 3) & 1;
        driver.fOutX = (data[1] >> 4) & 1;
        driver.XonChar = static_cast<char>(data[2]);
        driver.ErrorChar = static_cast<char>(data[3]);
        data += 4;
        size -= 4;
    }
    DriverLog::setDriverDefaults(driver);

    Model model;
    {
        SerialDevice port(QString::fromStdString(slave), SerialDeviceBase::kPolling);
        for (std::size_t i = 0; i + 1 < size; i += 2) {
            const int code = static_cast<std::int8_t>(data[i + 1]);
            switch (data[i] % 8) {
            case 0:
                port.setBaudRate(code);
                model.setBaud(code);
                break;
            case 1:
                port.setDataBits(code);
                model.setData(code);
                break;
            case 2:
                port.setParity(code);
                model.setParity(code);
                break;
            case 3:
                port.setStopBits(code);
                model.setStop(code);
                break;
            case 4:
                port.setFlowControl(code);
                model.setFlow(code);
                break;
            case 5:
                // -1 is the "return at once" time-out; others as they come.
                port.setTimeout(code == -128 ? -1 : code * 20);
                model.setTimeout(code == -128 ? -1 : code * 20);
                break;
            case 6: {
                const bool wasOpen = model.open;
                const bool ok = port.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
                check(ok != wasOpen); // an open port refuses a second open
                if (!wasOpen)
                    model.opened(DriverLog::driverDefaults());
                break;
            }
            default:
                port.close();
                model.open = false;
                break;
            }

            check(port.baudRate() == model.baud);
            check(port.dataBits() == model.data);
            check(port.parity() == model.parity);
            check(port.stopBits() == model.stop);
            check(port.flowControl() == model.flow);
            check(validPair(port.dataBits(), port.stopBits()));
            const DriverLog::Record record = DriverLog::record();
            check(record.configWrites == model.configWrites);
            check(record.timeoutWrites == model.timeoutWrites);
            if (model.configWrites > 0)
                compare(record.lastConfig, model.dcb);
            if (model.timeoutWrites > 0) {
                const COMMTIMEOUTS &t = record.lastTimeouts;
                const long ms = model.timeoutWritten;
                const DWORD limit = static_cast<DWORD>(ms);
                check(t.ReadIntervalTimeout == (ms == -1 ? MAXDWORD : limit));
                check(t.ReadTotalTimeoutConstant == (ms == -1 ? 0 : limit));
                check(t.ReadTotalTimeoutMultiplier == 0);
                check(t.WriteTotalTimeoutMultiplier == limit);
                check(t.WriteTotalTimeoutConstant == 0);
            }
        }
    }
    check(DriverLog::liveHandles() == 0); // the port gave its handle back
    return 0;
}
