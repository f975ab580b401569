// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

class PortReconnector;
class QAction;
class SerialChannel;

// "自動再接続": the checked item of the port label's menu, kept across
// starts, and the reconnector it turns on and off.
class ReconnectControl : public QObject
{
    Q_OBJECT

public:
    explicit ReconnectControl(SerialChannel &MSCom, QObject *parent = nullptr);

    QAction *action() const { return m_action; }
    PortReconnector &reconnector() const { return *m_reconnector; }

private:
    void onToggled(bool on);

    PortReconnector *m_reconnector;
    QAction *m_action;
};
