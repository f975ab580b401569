// SPDX-License-Identifier: MIT
#pragma once

#include "capture/receivesearch.h"

#include <QObject>
#include <QTimer>

class ReceiveStore;

// Counts a search's matches in the receive store a slice at a time on the
// event loop, so that typing a pattern never waits for the whole count.
class MatchCounter : public QObject
{
    Q_OBJECT

public:
    explicit MatchCounter(const ReceiveStore &store, QObject *parent = nullptr);

    // Counts the matches in what the store holds now; a count under way is dropped.
    void start(const ReceiveSearch &search);
    void stop();
    bool isCounting() const { return m_slices.isActive(); }

signals:
    void counted(qint64 matches);

private:
    void restart();
    void countSlice();

    const ReceiveStore &m_store;
    ReceiveSearch m_search;
    QTimer m_slices;
    quint64 m_generation = 0;
    qint64 m_at = 0;
    qint64 m_end = 0;
    qint64 m_found = 0;
};
