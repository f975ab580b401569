// SPDX-License-Identifier: MIT
#include "capture/matchcounter.h"

#include "capture/receivestore.h"

#include <QElapsedTimer>

namespace {

// A slice gives the event loop back after this long, so that a key, a
// frame or the line's data waits at most about this much for the count.
constexpr qint64 kSliceNs = 5'000'000;
// Positions searched between two looks at the clock.
constexpr qint64 kStep = qint64(1) << 18;

} // namespace

// Not a thread: the store is appended to on this thread, and a read of a
// spilled block fills a cache that every reader shares, so another thread
// could read it only under a lock taken on every access of the window's
// own drawing. Slices on the event loop need no lock at all.
MatchCounter::MatchCounter(const ReceiveStore &store, QObject *parent)
    : QObject(parent)
    , m_store(store)
{
    m_slices.setInterval(0);
    connect(&m_slices, &QTimer::timeout, this, &MatchCounter::countSlice);
}

void MatchCounter::start(const ReceiveSearch &search)
{
    m_search = search;
    restart();
    m_slices.start();
}

void MatchCounter::stop()
{
    m_slices.stop();
}

// The count covers what the store held when it began: data arriving
// meanwhile is not chased, as a count taken at once would not have had it.
void MatchCounter::restart()
{
    m_generation = m_store.generation();
    m_at = 0;
    m_end = m_store.length();
    m_found = 0;
}

void MatchCounter::countSlice()
{
    // Emptied or turned to the other mode meanwhile: what was counted is gone.
    if (m_generation != m_store.generation())
        restart();
    QElapsedTimer clock;
    clock.start();
    // Match by match, and never further than a step: dense matches and
    // long stretches without one both come back to the clock soon.
    while (m_at < m_end && clock.nsecsElapsed() < kSliceNs) {
        const qint64 stepEnd = qMin(m_end, m_at + kStep);
        const qint64 hit = m_search.next(m_store, m_at, stepEnd);
        if (hit < 0) {
            m_at = stepEnd;
        } else {
            ++m_found;
            m_at = hit + 1;
        }
    }
    if (m_at < m_end)
        return;
    m_slices.stop();
    emit counted(m_found);
}
