#pragma once

#include <QByteArray>
#include <QString>

// A scripted ZOR on the master side of a pseudo-terminal: the test plays the
// device byte by byte and sees exactly what the program wrote. The line
// starts at the flags a new serial adapter has (see the constructor), unless
// the test asks for a raw one because it talks over the line itself.
class FakeDevice {
public:
    // The quiet that ends a worker's first hunt while a FakeDevice exists.
    static constexpr int kScriptedQuietMs = 600000;

    enum class Line { Adapter, Raw };

    explicit FakeDevice(Line line = Line::Adapter);
    ~FakeDevice();
    FakeDevice(const FakeDevice &) = delete;
    FakeDevice &operator=(const FakeDevice &) = delete;

    bool ok() const { return master != -1; }
    QString slavePath() const { return path; }

    void send(const QByteArray &bytes);
    // Reads exactly n bytes, or fewer if nothing more comes within timeoutMs.
    QByteArray read(int n, int timeoutMs = 3000);
    // Reads n bytes no faster than a serial line at `speed` carries them (10
    // bits a byte), or fewer if nothing more comes within timeoutMs. Until
    // the device has taken them they wait on the line: unread() counts them.
    QByteArray readPaced(int n, int speed, int timeoutMs = 3000);
    // The bytes the program wrote that the device has not read yet, and
    // dropping them: the output queue of a real port's driver, which a
    // pseudo-terminal does not have.
    int unread() const;
    void dropUnread();
    // Everything that arrives until the line has been quiet for quietMs.
    QByteArray drain(int quietMs);
    // Reads n bytes and tells whether they are the expected ones.
    bool expect(const QByteArray &bytes, int timeoutMs = 3000);
    // Sends one frame of zero samples to release the worker from its wait for
    // a frame, takes its "g", then plays the device for the requests the
    // worker serves before it waits for the next frame: echoes every byte but
    // "g" until the line goes quiet. Returns those requests' bytes ("qa",
    // "s7qg", "u00qg", ...), or nothing when none was pending.
    QByteArray serveRequests(int quietMs = 300);
    // Plays the device in generator mode for the requests the worker serves
    // until the line goes quiet: echoes mode and clock bytes, takes each
    // table upload whole. Returns the number of tables received, or -1 when
    // an exchange broke off.
    int serveGenerator(int quietMs = 300);
    // The device stops taking bytes: the line's buffer towards it is filled
    // up, so the program's next writes block. drain() takes the filler back.
    void stopReading();
    // Closes the master: the program sees the line hang up.
    void hangUp();

    // A frame as the device sends it: "S", the samples little-endian, "E".
    static QByteArray frame(const QVector<int> &samples);

private:
    int master = -1;
    QString path;
};
