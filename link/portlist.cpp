#include "portlist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

// Names of one family ("ttyUSB" …) in dev, in the order of their numbers:
// ttyUSB2 before ttyUSB10.
QStringList numbered(const QDir &dev, const QString &family)
{
    const QRegularExpression name(
        QRegularExpression::anchoredPattern(family + QStringLiteral("(\\d+)")));
    std::vector<std::pair<qulonglong, QString>> found;
    const QStringList entries
        = dev.entryList({ family + u'*' }, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        const auto match = name.match(entry);
        if (match.hasMatch() && !QFileInfo(dev.filePath(entry)).isDir())
            found.emplace_back(match.captured(1).toULongLong(), entry);
    }
    std::sort(found.begin(), found.end());
    QStringList names;
    for (const auto &[number, entry] : found)
        names.append(entry);
    return names;
}

// The kernel makes ttyS0 to ttyS31 (or as many as it was told) whether or not
// a UART is there; sysfs gives each port's UART type as the serial driver
// found it, 0 (PORT_UNKNOWN) for none, without opening the port. Kernels
// without that attribute: the ports of the legacy probe's placeholder device
// are taken as empty.
bool hasHardware(const QDir &sys, const QString &name)
{
    const QString port = sys.filePath(QStringLiteral("class/tty/") + name);
    QFile type(port + QStringLiteral("/type"));
    if (type.open(QIODevice::ReadOnly)) {
        bool number = false;
        const int value = type.readAll().trimmed().toInt(&number);
        return number && value != 0;
    }
    const QFileInfo device(port + QStringLiteral("/device"));
    return device.exists()
        && QFileInfo(device.canonicalFilePath()).fileName() != QLatin1String("serial8250");
}

} // namespace

std::vector<PortEntry> listPorts(const QString &root)
{
    const QDir top(root);
    const QDir dev(top.filePath(QStringLiteral("dev")));
    const QDir sys(top.filePath(QStringLiteral("sys")));
    std::vector<PortEntry> ports;

    // udev's stable names: the same whichever socket the adapter is in. A link
    // whose device has gone (unplugged a moment ago) is no port.
    const QDir byId(dev.filePath(QStringLiteral("serial/by-id")));
    const QStringList links
        = byId.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &link : links) {
        const QFileInfo info(byId.filePath(link));
        if (info.exists())
            ports.push_back(
                { info.filePath(), info.isSymLink() ? info.canonicalFilePath() : QString() });
    }

    for (const char *family : { "ttyUSB", "ttyACM" }) {
        for (const QString &name : numbered(dev, QLatin1String(family)))
            ports.push_back({ dev.filePath(name), {} });
    }
    for (const QString &name : numbered(dev, QStringLiteral("ttyS"))) {
        if (hasHardware(sys, name))
            ports.push_back({ dev.filePath(name), {} });
    }
    return ports;
}
