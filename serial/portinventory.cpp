// SPDX-License-Identifier: MIT
#include "serial/portinventory.h"

#include "serial/networkaddress.h"
#include "serial/portlocator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace {

SerialDevice *findNode(QList<SerialDevice> &devices, const QString &node)
{
    const auto found = std::find_if(devices.begin(), devices.end(),
                                    [&](const SerialDevice &device) { return device.node == node; });
    return found == devices.end() ? nullptr : &*found;
}

SerialDevice &nodeEntry(QList<SerialDevice> &devices, const QString &node, bool present)
{
    if (SerialDevice *device = findNode(devices, node))
        return *device;
    devices.append(SerialDevice{.node = node, .present = present});
    return devices.last();
}

QString canonicalOr(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

SerialDevice fromInfo(const QSerialPortInfo &info)
{
    SerialDevice device{.node = canonicalOr(info.systemLocation()),
                        .description = info.description(),
                        .manufacturer = info.manufacturer(),
                        .serialNumber = info.serialNumber()};
    if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
        device.vidPid = QStringLiteral("%1:%2")
                            .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                            .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
    }
    return device;
}

} // namespace

QString networkDescription(const NetworkAddress &address)
{
    return address.bytesOnly() ? QStringLiteral("network port, raw TCP: bytes only, no line setting")
                               : QStringLiteral("network port, RFC 2217");
}

InventorySources InventorySources::fromEnvironment()
{
    QString serialDir = qEnvironmentVariable("TOLVANE_SERIAL_DIR");
    if (serialDir.isEmpty())
        serialDir = QStringLiteral("/dev/serial");
    InventorySources sources;
    sources.byIdDir = serialDir + QStringLiteral("/by-id");
    sources.byPathDir = serialDir + QStringLiteral("/by-path");
    sources.portDir = portlocator::portDirectory();
    sources.systemPorts = qEnvironmentVariable("TOLVANE_SYSTEM_PORTS") != QLatin1String("0");
    return sources;
}

PortInventory::PortInventory(InventorySources sources)
    : m_sources(std::move(sources))
{
}

QList<SerialDevice> PortInventory::devices() const
{
    QList<SerialDevice> devices = systemDevices();
    // by-id last, so that it wins over by-path as the stable name.
    addStableNames(devices, m_sources.byPathDir);
    addStableNames(devices, m_sources.byIdDir);
    addPorts(devices);
    std::sort(devices.begin(), devices.end(),
              [](const SerialDevice &a, const SerialDevice &b) { return a.node < b.node; });
    return devices;
}

QList<SerialDevice> PortInventory::systemDevices() const
{
    QList<SerialDevice> devices;
    if (!m_sources.systemPorts)
        return devices;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        // Qt drops 8250 placeholders only where the driver still calls itself serial8250.
        if (hasUart(m_sources.ttyClassDir, info.systemLocation()))
            devices.append(fromInfo(info));
    }
    return devices;
}

void PortInventory::addStableNames(QList<SerialDevice> &devices, const QString &dir) const
{
    const QFileInfoList links = QDir(dir).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                                                        QDir::Name);
    for (const QFileInfo &link : links) {
        const QString node = link.canonicalFilePath();
        if (node.isEmpty())
            continue;
        nodeEntry(devices, node, true).stableName = link.absoluteFilePath();
    }
}

void PortInventory::addPorts(QList<SerialDevice> &devices) const
{
    for (const PortLink &link : portLinks()) {
        if (const std::optional<NetworkAddress> address = NetworkAddress::parse(link.target)) {
            SerialDevice &device = nodeEntry(devices, link.target, true);
            device.description = networkDescription(*address);
            device.ports.append(link.port);
        } else if (link.present) {
            // The default ttyS of an unlinked number counts only when it is a known device.
            SerialDevice *device = link.linked ? &nodeEntry(devices, link.node, true) : findNode(devices, link.node);
            if (device)
                device->ports.append(link.port);
        } else if (link.linked) {
            nodeEntry(devices, link.target, false).ports.append(link.port);
        }
    }
}

PortLink PortInventory::portLink(int port) const
{
    const QFileInfo entry(QDir(m_sources.portDir).filePath(QStringLiteral("com%1").arg(port)));
    // A network port is never unplugged: whether it answers is known only by opening it.
    if (const QString text = portlocator::linkText(entry.filePath()); NetworkAddress::hasScheme(text))
        return {port, text, text, true, true};
    if (entry.isSymLink())
        return {port, entry.symLinkTarget(), entry.canonicalFilePath(), true, entry.exists()};
    if (entry.exists())
        return {port, entry.absoluteFilePath(), entry.canonicalFilePath(), true, true};
    const QString fallback = QStringLiteral("/dev/ttyS%1").arg(port - 1);
    const bool present = QFileInfo::exists(fallback) && hasUart(m_sources.ttyClassDir, fallback);
    return {port, fallback, present ? canonicalOr(fallback) : QString(), false, present};
}

QList<PortLink> PortInventory::portLinks() const
{
    QList<PortLink> links;
    for (int port = kFirstPort; port <= kLastPort; ++port)
        links.append(portLink(port));
    return links;
}

QString deviceLine(const SerialDevice &device)
{
    const QString name = device.name();
    QString line = name == device.node ? device.node : QStringLiteral("%1 → %2").arg(name, device.node);
    if (!device.description.isEmpty())
        line += QStringLiteral(" (%1)").arg(device.description);
    return line;
}

bool hasUart(const QString &ttyClassDir, const QString &node)
{
    QFile type(QStringLiteral("%1/%2/type").arg(ttyClassDir, QFileInfo(node).fileName()));
    if (!type.open(QIODevice::ReadOnly))
        return true;
    return type.readAll().trimmed() != "0";
}
