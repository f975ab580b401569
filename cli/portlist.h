#pragma once

#include <QList>
#include <QString>

// One serial device the system has, and the port numbers that reach it.
struct PortEntry
{
    QString device;     // /dev/ttyUSB0
    QString stableName; // its /dev/serial/by-id link, when there is one
    QString description;
    QString vidPid;     // "0403:6001", empty when unknown
    QList<int> portNumbers;
};

// The system's serial devices and those the port dir's com<n> links name.
// Kept to this one function so a fuller inventory can take its place.
QList<PortEntry> listPorts();
