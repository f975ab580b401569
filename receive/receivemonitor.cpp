#include "receive/receivemonitor.h"

ReceiveMonitor::ReceiveMonitor(SerialChannel &channel, QTabBar *tabs, ReceiveView *view, QWidget *window,
                               QObject *parent)
    : QObject(parent)
    , MSCom(channel)
    , TabStrip1(tabs)
    , rtxtAscRcv(view)
    , m_window(window)
{
}

void ReceiveMonitor::onComm()
{
}

void ReceiveMonitor::onTabClicked()
{
}
