// SPDX-License-Identifier: MIT
#pragma once

#include "serial/linepacer.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

// A network port's output queue: what output() took waits here and goes to
// the network at the far line's rate, no more than the pacer's bound ahead,
// so that a cancel stops the far line at once and the progress shown is
// what the far line has carried.
class PacedOutput : public QObject
{
    Q_OBJECT

public:
    using Send = std::function<void(const QByteArray &)>;

    explicit PacedOutput(Send send, QObject *parent = nullptr);

    void setBytesPerSecond(qint64 bytesPerSecond) { m_pacer.setBytesPerSecond(bytesPerSecond); }
    void write(const QByteArray &bytes);
    // Sends what the pace allows, waiting up to wait for room; true when it sent.
    bool push(std::chrono::milliseconds wait);
    // Unsent bytes plus those sent ahead of the far line.
    qint64 bytesToWrite() const;
    // The line time the far line still needs for what was sent.
    std::chrono::nanoseconds aheadTime() const { return m_pacer.aheadTime(LinePacer::Clock::now()); }
    // Sends every queued byte at once, unpaced.
    void sendAll();
    // Drops what is unsent; what was sent stays counted.
    void drop();
    // Drops what is unsent and forgets what was sent: the line starts idle.
    void clear();

signals:
    void bytesWritten(qint64 bytes);

private:
    void release();

    Send m_send;
    LinePacer m_pacer;
    QByteArray m_pending;
    QTimer m_pump;
};
