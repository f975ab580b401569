// SPDX-License-Identifier: MIT
#include "serial/portreconnector.h"

#include "serial/portinventory.h"
#include "serial/serialchannel.h"

#include <QDir>
#include <QFileInfo>

PortReconnector::PortReconnector(SerialChannel &channel, QObject *parent)
    : QObject(parent)
    , MSCom(channel)
{
    connect(&MSCom, &SerialChannel::portOpenChanged, this, &PortReconnector::onPortOpenChanged);
    connect(&MSCom, &SerialChannel::disconnected, this, &PortReconnector::onDisconnected);
    connect(&m_watch, &DeviceWatch::changed, this, &PortReconnector::onWatchChanged);
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
    m_watch.watch(m_device);
    setWaiting(true);
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
