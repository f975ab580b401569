#include "cli/portlist.h"

#include "serial/portlocator.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

namespace {

constexpr int kLastPort = 16;

QString stableNameOf(const QString &device)
{
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &link : byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (link.canonicalFilePath() == device)
            return link.absoluteFilePath();
    }
    return {};
}

PortEntry &entryFor(QList<PortEntry> &entries, const QString &device)
{
    for (PortEntry &entry : entries) {
        if (entry.device == device)
            return entry;
    }
    entries.append(PortEntry{device, stableNameOf(device), {}, {}, {}});
    return entries.last();
}

} // namespace

QList<PortEntry> listPorts()
{
    QList<PortEntry> entries;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        PortEntry &entry = entryFor(entries, info.systemLocation());
        entry.description = info.description();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            entry.vidPid = QStringLiteral("%1:%2").arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                               .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
        }
    }
    for (int port = 1; port <= kLastPort; ++port) {
        const QString device = portlocator::devicePathForPort(port);
        if (QFileInfo::exists(device))
            entryFor(entries, QFileInfo(device).canonicalFilePath()).portNumbers.append(port);
    }
    return entries;
}
