// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

struct SerialDevice;

// Writes, replaces and removes the com<n> links of a port dir, so that port
// number n opens a device. A failure changes nothing and keeps its reason.
class PortAssignment
{
public:
    explicit PortAssignment(QString portDir);

    // Links com<port> to the device's stable name when it has one, so the
    // number survives a replug and a renumbered ttyUSB.
    [[nodiscard]] bool assign(int port, const SerialDevice &device);
    // target is a device, or a network address (rfc2217:// or socket://).
    [[nodiscard]] bool assign(int port, const QString &target);
    // Port number port falls back to /dev/ttyS<port-1>; no link is no failure.
    [[nodiscard]] bool release(int port);

    QString errorString() const { return m_errorString; }

private:
    bool checkPort(int port);
    bool fail(int error);
    QString linkPath(int port) const;

    QString m_portDir;
    QString m_errorString;
};
