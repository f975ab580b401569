// SPDX-License-Identifier: MIT
#pragma once

#include "serial/readpacer.h"

#include <QIODevice>
#include <QPointer>
#include <QTimer>

class QSocketNotifier;

// Lets a port's reads rest as a ReadPacer says: the port's read notifier is
// off while reading rests, so bytes that come meanwhile wake nobody and are
// taken together when it ends. Neither QSerialPort nor QTcpSocket has a way
// to pause its reads; the read notifier is their own descendant, found by
// type, and both turn it on again whenever they are read from.
class PortReadGate : public QObject
{
public:
    PortReadGate();
    // The device whose reads rest; nullptr when there is none (a connection
    // that ended; the next one comes with a device of its own).
    void setDevice(QIODevice *device);

    void setPeriod(std::chrono::milliseconds period) { m_pacer.setPeriod(period); }
    std::chrono::milliseconds period() const { return m_pacer.period(); }
    // count bytes were just taken: rest for a period, if the pacer says so.
    void rest(qint64 count);
    // The device turns its notifier on again whenever it is read from.
    void keepResting();
    // The port closes: no rest outlives it.
    void stop();
    // While held the port's notifier stays off, whatever rests end: another reader has the tty.
    void hold(bool held);

private:
    void resume();
    QSocketNotifier *notifier();

    QPointer<QIODevice> m_device;
    ReadPacer m_pacer;
    QTimer m_resume;
    QPointer<QSocketNotifier> m_notifier;
    bool m_held = false;
};
