// SPDX-License-Identifier: MIT
#include "serial/linepacer.h"

using namespace std::chrono;

nanoseconds LinePacer::byteTime(qint64 bytes) const
{
    return nanoseconds(bytes * 1'000'000'000 / m_bytesPerSecond);
}

nanoseconds LinePacer::aheadTime(Clock::time_point now) const
{
    return m_lineFreeAt > now ? duration_cast<nanoseconds>(m_lineFreeAt - now) : nanoseconds(0);
}

qint64 LinePacer::ahead(Clock::time_point now) const
{
    // Rounded up: a byte partly on the line has not left it.
    const qint64 nanos = aheadTime(now).count();
    return (nanos * m_bytesPerSecond + 999'999'999) / 1'000'000'000;
}

qint64 LinePacer::room(Clock::time_point now) const
{
    const qint64 most = m_bytesPerSecond * kCountedAhead.count() / 1000;
    return qMax<qint64>(0, most - ahead(now));
}

void LinePacer::sent(qint64 bytes, Clock::time_point now)
{
    m_lineFreeAt = qMax(m_lineFreeAt, now) + duration_cast<Clock::duration>(byteTime(bytes));
}

nanoseconds LinePacer::untilRoom(Clock::time_point now, qint64 bytes) const
{
    if (room(now) >= bytes)
        return nanoseconds(0);
    // The time of those bytes past the point where the ahead time falls below the bound.
    return qMax(nanoseconds(0), aheadTime(now) - duration_cast<nanoseconds>(kCountedAhead) + byteTime(bytes));
}
