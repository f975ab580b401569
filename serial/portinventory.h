// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>

// A serial device the system has, or the device a com<n> link names that is
// not there now.
struct SerialDevice
{
    QString node = {};         // /dev/ttyUSB0, or a dangling link's target
    QString stableName = {};   // its /dev/serial/by-id link (else by-path), when there is one
    QString description = {};
    QString manufacturer = {};
    QString serialNumber = {};
    QString vidPid = {};       // "0403:6001" when the bus tells
    QList<int> ports = {};     // the port numbers that reach it now
    bool present = true;

    // What a link should point at so that it survives a replug.
    QString name() const { return stableName.isEmpty() ? node : stableName; }
    bool operator==(const SerialDevice &) const = default;
};

// Where port number n leads: a com<n> link's target, or the /dev/ttyS<n-1>
// default when there is no link.
struct PortLink
{
    int port = 0;
    QString target;
    QString node;        // the device the target resolves to, when present
    bool linked = false;
    bool present = false;
    bool operator==(const PortLink &) const = default;
};

// Where the inventory looks. fromEnvironment() gives the real places;
// $TOLVANE_SERIAL_DIR stands in for /dev/serial and TOLVANE_SYSTEM_PORTS=0
// leaves out Qt's list, so that a test sees only a tree of its own.
struct InventorySources
{
    QString byIdDir;
    QString byPathDir;
    QString portDir;
    QString ttyClassDir = QStringLiteral("/sys/class/tty");
    bool systemPorts = true;

    static InventorySources fromEnvironment();
};

// Every serial device of the system and the port numbers that reach each,
// read afresh by each call. Needs no widgets, so the window and the command
// line share it.
class PortInventory
{
public:
    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = 16;

    explicit PortInventory(InventorySources sources = InventorySources::fromEnvironment());

    const InventorySources &sources() const { return m_sources; }
    // Sorted by node; dangling links' devices come with present false.
    QList<SerialDevice> devices() const;
    PortLink portLink(int port) const;
    QList<PortLink> portLinks() const;

private:
    QList<SerialDevice> systemDevices() const;
    void addStableNames(QList<SerialDevice> &devices, const QString &dir) const;
    void addPorts(QList<SerialDevice> &devices) const;

    InventorySources m_sources;
};

// "stable name → node (description)", the shape every list of devices uses,
// in the window's boxes and on the command line alike.
QString deviceLine(const SerialDevice &device);

struct NetworkAddress;
// What the inventory and the tooltips say of a network port.
QString networkDescription(const NetworkAddress &address);

// False for a /dev/ttyS<k> whose UART the kernel did not find: the serial
// core keeps such nodes with type 0 ("unknown"), and opening them fails.
bool hasUart(const QString &ttyClassDir, const QString &node);
