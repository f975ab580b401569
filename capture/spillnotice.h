// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

#include <atomic>

// Says once that received data cannot go to disk and stays in memory, and
// once that some of it cannot be read back; each speaks again only after
// every store it spoke of has been emptied.
class SpillNotice : public QObject
{
    Q_OBJECT

public:
    static SpillNotice &instance();

    void report(const QString &reason);
    void rearm();
    void reportUnreadable(const QString &reason);
    void rearmUnreadable();

signals:
    // Emitted inside an append: connect it queued.
    void refused(const QString &reason);
    // Emitted inside a read, perhaps while drawing: connect it queued.
    void unreadable(const QString &reason);

private:
    SpillNotice() = default;

    std::atomic<int> m_refusing{0};
    std::atomic<int> m_unreadable{0};
};
