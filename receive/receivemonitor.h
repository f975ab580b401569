// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

class QTabBar;
class QWidget;
class ReceiveView;
class SerialChannel;

// Reacts to every serial event and to the tab strip: shows received data
// as text or hex and reports line errors.
class ReceiveMonitor : public QObject
{
    Q_OBJECT

public:
    ReceiveMonitor(SerialChannel &MSCom, QTabBar *TabStrip1, ReceiveView *rtxtAscRcv, QWidget *window,
                   QObject *parent = nullptr);

    void onComm();
    // Tab strip click notification; index is -1 for a click beside the tabs.
    void onTabClicked(int index);

private:
    void onSpillRefused(const QString &reason);
    void onSpillUnreadable(const QString &reason);
    void receiveText();
    void receiveHex();

    SerialChannel &MSCom;
    QTabBar *TabStrip1;
    ReceiveView *rtxtAscRcv;
    QWidget *m_window;
};
