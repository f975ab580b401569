// SPDX-License-Identifier: MIT
#include "settings/portassignlauncher.h"

#include "common/menuaccessibility.h"
#include "common/messagebox.h"
#include "common/porttexts.h"
#include "serial/networkaddress.h"
#include "serial/portinventory.h"
#include "serial/serialchannel.h"
#include "settings/portassigndialog.h"

#include <QEvent>
#include <QLabel>
#include <QMenu>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

QList<SerialDevice> presentDevices()
{
    QList<SerialDevice> devices = PortInventory().devices();
    devices.removeIf([](const SerialDevice &device) { return !device.present; });
    return devices;
}

} // namespace

PortAssignLauncher::PortAssignLauncher(SerialChannel &channel, QLabel *portLabel, QWidget *window,
                                       QObject *parent)
    : QObject(parent)
    , MSCom(channel)
    , Label4(portLabel)
    , m_window(window)
{
    Label4->installEventFilter(this);
}

void PortAssignLauncher::open()
{
    PortAssignDialog dialog(MSCom.commPort(), InventorySources::fromEnvironment(), m_window);
    connect(&dialog, &PortAssignDialog::assigned, this, &PortAssignLauncher::onAssigned);
    dialog.exec();
}

void PortAssignLauncher::onAssigned(int port)
{
    if (port == MSCom.commPort())
        emit assignmentChanged();
}

void PortAssignLauncher::showMenu(const QPoint &globalPosition)
{
    QMenu menu(Label4);
    menu.setObjectName(QStringLiteral("mnuPort"));
    keepMenuItemsAccessible(&menu);
    QAction *assign = menu.addAction(porttexts::menuItem());
    if (!m_menuActions.isEmpty()) {
        menu.addSeparator();
        menu.addActions(m_menuActions);
    }
    // Run after the menu has gone, not from inside its own event loop.
    if (menu.exec(globalPosition) == assign)
        open();
}

void PortAssignLauncher::tellOpenFailure()
{
    const QString device = MSCom.devicePath();
    const QList<SerialDevice> devices = presentDevices();
    // Devices elsewhere help when this one is not there, is a UART placeholder,
    // or does not answer; strerror, as QSerialPort reports it, in any locale.
    const bool missing = std::none_of(devices.begin(), devices.end(),
                                      [&](const SerialDevice &found) { return found.node == device; })
                         || MSCom.errorString().contains(QString::fromLocal8Bit(std::strerror(EIO)));
    QStringList lines;
    for (const SerialDevice &found : missing ? devices : QList<SerialDevice>())
        lines.append(deviceLine(found));
    if (showMessage(m_window, messages::cannotOpenPort(device, MSCom.errorString(), lines, !devices.isEmpty())))
        open();
}

bool PortAssignLauncher::eventFilter(QObject *watched, QEvent *event)
{
    // Read when asked for, so that it names whatever is plugged in now.
    if (watched == Label4 && event->type() == QEvent::ToolTip)
        Label4->setToolTip(portToolTip(MSCom.devicePath()));
    return QObject::eventFilter(watched, event);
}

QString portToolTip(const QString &devicePath)
{
    if (const std::optional<NetworkAddress> address = NetworkAddress::parse(devicePath))
        return porttexts::toolTip(devicePath, {}, networkDescription(*address), {});
    const QList<SerialDevice> devices = presentDevices();
    const auto found = std::find_if(devices.begin(), devices.end(),
                                    [&](const SerialDevice &device) { return device.node == devicePath; });
    if (found == devices.end())
        return devicePath;
    return porttexts::toolTip(devicePath, found->stableName, found->description, found->serialNumber);
}
