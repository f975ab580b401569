// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT, SIGTERM and SIGHUP into a signal delivered by the event
// loop, so that Ctrl+C, kill, a logout or a shutdown end the work the way a
// cancel or a close does, with every byte read so far kept. Qt has no
// portable hook for POSIX signals; this is the self-pipe its documentation
// describes.
class InterruptWatch : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatch(QObject *parent = nullptr);
    ~InterruptWatch() override;

    bool wasInterrupted() const { return m_signal != 0; }
    // The signal that came first; 0 before any.
    int signalNumber() const { return m_signal; }
    // 128 + the signal, as a shell reports a process the signal ended.
    int exitStatus() const { return 128 + m_signal; }

signals:
    void interrupted();

private:
    void onReadable();

    QSocketNotifier *m_notifier = nullptr;
    int m_signal = 0;
};
