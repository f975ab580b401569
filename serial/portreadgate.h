// SPDX-License-Identifier: MIT
#pragma once

#include "serial/readpacer.h"

#include <QPointer>
#include <QTimer>

class QSerialPort;
class QSocketNotifier;

// Lets a port's reads rest as a ReadPacer says: the port's read notifier is
// off while reading rests, so bytes that come meanwhile wake nobody and are
// taken together when it ends. QSerialPort has no way to pause its reads;
// its read notifier is its own child, found by type.
class PortReadGate : public QObject
{
public:
    explicit PortReadGate(QSerialPort &port);

    void setPeriod(std::chrono::milliseconds period) { m_pacer.setPeriod(period); }
    // count bytes were just taken: rest for a period, if the pacer says so.
    void rest(qint64 count);
    // QSerialPort turns its notifier on again whenever it is read from.
    void keepResting();
    // The port closes: no rest outlives it.
    void stop();
    // While held the port's notifier stays off, whatever rests end: another reader has the tty.
    void hold(bool held);

private:
    void resume();
    QSocketNotifier *notifier();

    QSerialPort &m_port;
    ReadPacer m_pacer;
    QTimer m_resume;
    QPointer<QSocketNotifier> m_notifier;
    bool m_held = false;
};
