// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

// The words of the port assignment dialog, its menu item and the port
// label's tooltip.
namespace porttexts {

QString dialogTitle();
QString menuItem();
QString portsCaption();
QString devicesCaption();
QStringList portHeaders();
QStringList deviceHeaders();
QString addressCaption();
QString assignButton();
QString releaseButton();
QString closeButton();

// What a port number reaches, as its row shows it.
QString portTarget(const QString &target, const QString &node, bool linked, bool present);
QString portNumber(int port, bool current);
// "stable name → node" first, as a list of devices shows it, when the device has one.
QString toolTip(const QString &devicePath, const QString &stableName, const QString &description,
                const QString &serialNumber);

} // namespace porttexts
