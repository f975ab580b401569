// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT into a signal delivered by the event loop, so that Ctrl+C
// stops a transfer the way its cancel button does. Qt has no portable hook
// for POSIX signals; this is the self-pipe its documentation describes.
class InterruptWatch : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatch(QObject *parent = nullptr);
    ~InterruptWatch() override;

    bool wasInterrupted() const { return m_interrupted; }

signals:
    void interrupted();

private:
    void onReadable();

    QSocketNotifier *m_notifier = nullptr;
    bool m_interrupted = false;
};
