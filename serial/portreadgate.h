// SPDX-License-Identifier: MIT
#pragma once

#include "serial/readpacer.h"

#include <QIODevice>
#include <QPointer>
#include <QTimer>

#include <functional>

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
    // Asked when a rest ends, before the notifier goes on: takes the bytes
    // that came meanwhile and says whether there were any. They are then
    // handled in this turn of the event loop, not in the next one, which
    // the notifier would take to report them. Not asked when a hold ends:
    // that comes inside the owner's own calls (a close, a drop of input).
    void setTakeWaiting(std::function<bool()> take) { m_takeWaiting = std::move(take); }
    // The port closes: no rest outlives it.
    void stop();
    // While held the port's notifier stays off, whatever rests end: another reader has the tty.
    void hold(bool held);

private:
    // A rest ended.
    void resume();
    void listen();
    QSocketNotifier *notifier();

    QPointer<QIODevice> m_device;
    ReadPacer m_pacer;
    QTimer m_resume;
    QPointer<QSocketNotifier> m_notifier;
    std::function<bool()> m_takeWaiting;
    bool m_held = false;
};
