// SPDX-License-Identifier: MIT
#include "serial/portreconnector.h"

#include "serial/networkaddress.h"
#include "serial/portinventory.h"
#include "serial/serialchannel.h"

#include <QDir>
#include <QFileInfo>
#include <QTcpSocket>

#include <chrono>

namespace {

constexpr std::chrono::seconds kRetryInterval{1};
// Lets a server that takes one client at a time let go of the probe first.
constexpr std::chrono::milliseconds kAfterProbe{300};

} // namespace

PortReconnector::PortReconnector(SerialChannel &channel, QObject *parent)
    : QObject(parent)
    , MSCom(channel)
{
    m_probe = new QTcpSocket(this);
    connect(&MSCom, &SerialChannel::portOpenChanged, this, &PortReconnector::onPortOpenChanged);
    connect(&MSCom, &SerialChannel::disconnected, this, &PortReconnector::onDisconnected);
    connect(&m_watch, &DeviceWatch::changed, this, &PortReconnector::onWatchChanged);
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryInterval);
    connect(&m_retry, &QTimer::timeout, this, &PortReconnector::probeAddress);
    connect(m_probe, &QTcpSocket::connected, this, &PortReconnector::onProbeAnswered);
    connect(m_probe, &QTcpSocket::errorOccurred, &m_retry, qOverload<>(&QTimer::start));
}

void PortReconnector::setEnabled(bool enabled)
{
    m_enabled = enabled;
    cancel();
    if (enabled && MSCom.portOpen())
        m_watch.watch(m_device);
    else
        m_watch.stop();
}

void PortReconnector::cancel()
{
    if (!m_waiting)
        return;
    m_watch.stop();
    setWaiting(false);
}

void PortReconnector::onPortOpenChanged(bool open)
{
    if (!open) {
        m_watch.stop();
        return;
    }
    setWaiting(false);
    m_node = QFileInfo(MSCom.devicePath()).canonicalFilePath();
    m_device = resolvedDevice(m_node.isEmpty() ? MSCom.devicePath() : m_node,
                              InventorySources::fromEnvironment().byIdDir);
    if (m_enabled)
        m_watch.watch(m_device);
}

void PortReconnector::onDisconnected()
{
    if (!m_enabled || m_held || m_device.isEmpty())
        return;
    setWaiting(true);
    if (NetworkAddress::hasScheme(m_device))
        m_retry.start();
    else
        m_watch.watch(m_device);
}

void PortReconnector::probeAddress()
{
    const std::optional<NetworkAddress> address = NetworkAddress::parse(m_device);
    if (!m_waiting || !address)
        return;
    m_probe->abort();
    m_probe->connectToHost(address->host, address->port);
}

void PortReconnector::onProbeAnswered()
{
    m_probe->abort();
    QTimer::singleShot(kAfterProbe, this, [this] {
        if (!m_waiting || MSCom.portOpen())
            return;
        if (MSCom.devicePath() != m_device || !MSCom.reconnect(m_device))
            m_retry.start();
    });
}

void PortReconnector::onWatchChanged()
{
    if (MSCom.portOpen()) {
        if (!m_node.isEmpty() && !QFileInfo::exists(m_node))
            MSCom.dropVanishedDevice();
        return;
    }
    // A failed open (udev has not yet given the node its permissions) waits
    // for the next change, which that step brings.
    if (m_waiting && deviceBack()) {
        const QString device = m_device; // the open below resolves it again
        (void)MSCom.reconnect(device);
    }
}

void PortReconnector::setWaiting(bool waiting)
{
    if (!waiting) {
        m_retry.stop();
        m_probe->abort();
    }
    if (m_waiting == waiting)
        return;
    m_waiting = waiting;
    emit waitingChanged(waiting);
}

bool PortReconnector::deviceBack() const
{
    const QString node = QFileInfo(m_device).canonicalFilePath();
    return !node.isEmpty() && node == QFileInfo(MSCom.devicePath()).canonicalFilePath();
}

QString resolvedDevice(const QString &node, const QString &byIdDir)
{
    const QFileInfoList links = QDir(byIdDir).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                                                            QDir::Name);
    for (const QFileInfo &link : links) {
        if (link.isSymLink() && link.canonicalFilePath() == node)
            return link.absoluteFilePath();
    }
    return node;
}
