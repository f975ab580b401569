// SPDX-License-Identifier: MIT
#include "app/reconnectcontrol.h"

#include "serial/portreconnector.h"

#include <QAction>
#include <QSettings>
#include <QStandardPaths>

namespace {

const QString kKey = QStringLiteral("port/autoReconnect");

QString optionsFile()
{
    // GenericConfigLocation honours XDG_CONFIG_HOME, as the port links do.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/tolvane/tolvane.conf");
}

} // namespace

ReconnectControl::ReconnectControl(SerialChannel &channel, QObject *parent)
    : QObject(parent)
    , m_reconnector(new PortReconnector(channel, this))
    , m_action(new QAction(QStringLiteral("自動再接続"), this))
{
    m_action->setObjectName(QStringLiteral("actAutoReconnect"));
    m_action->setCheckable(true);
    const bool on = QSettings(optionsFile(), QSettings::IniFormat).value(kKey, false).toBool();
    m_action->setChecked(on);
    m_reconnector->setEnabled(on);
    connect(m_action, &QAction::toggled, this, &ReconnectControl::onToggled);
}

void ReconnectControl::onToggled(bool on)
{
    m_reconnector->setEnabled(on);
    QSettings(optionsFile(), QSettings::IniFormat).setValue(kKey, on);
}
