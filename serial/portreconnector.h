// SPDX-License-Identifier: MIT
#pragma once

#include "serial/devicewatch.h"

#include <QObject>
#include <QString>
#include <QTimer>

class QTcpSocket;
class SerialChannel;

// Reopens the channel's port by itself when the device it lost comes back:
// the same device (or network address), named as it was resolved at the
// open, and still the one the port number reaches. While the port is open it also notices the
// device's node going away, which a quiet line would not.
class PortReconnector : public QObject
{
    Q_OBJECT

public:
    explicit PortReconnector(SerialChannel &MSCom, QObject *parent = nullptr);

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    // While held, a loss starts no wait (a download tells its own failure).
    void setHeld(bool held) { m_held = held; }
    bool isWaiting() const { return m_waiting; }
    // What the port reached at its last open: its by-id name when it has one.
    QString device() const { return m_device; }
    // Ends a wait without reopening.
    void cancel();

signals:
    void waitingChanged(bool waiting);

private:
    void onPortOpenChanged(bool open);
    void onDisconnected();
    void onWatchChanged();
    void setWaiting(bool waiting);
    bool deviceBack() const;
    void probeAddress();
    void onProbeAnswered();

    // A network address cannot be watched: while waiting it is tried once a
    // second without blocking, and the port reopens only once it answers.
    QTimer m_retry;
    QTcpSocket *m_probe = nullptr;

    SerialChannel &MSCom;
    DeviceWatch m_watch;
    QString m_device;
    QString m_node;
    bool m_enabled = false;
    bool m_held = false;
    bool m_waiting = false;
};

// The by-id link in byIdDir that leads to node, or node itself when none does.
QString resolvedDevice(const QString &node, const QString &byIdDir);
