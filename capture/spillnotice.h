// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

#include <atomic>

// Says once that received data cannot go to disk and stays in memory; it
// speaks again only after every refusing store has been emptied.
class SpillNotice : public QObject
{
    Q_OBJECT

public:
    static SpillNotice &instance();

    void report(const QString &reason);
    void rearm();

signals:
    // Emitted inside an append: connect it queued.
    void refused(const QString &reason);

private:
    SpillNotice() = default;

    std::atomic<int> m_refusing{0};
};
