// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <chrono>

// When a line that is read as data arrives may be read again. Bytes after a
// quiet spell are taken at once; after a take, reading rests for one period,
// so that a steady trickle is taken once a frame, not once a write. No byte
// waits longer than the period: it arrived after the last take, and the
// next take comes at most one period after that. Bytes that came faster
// than a serial line brings them do not rest: a flood is read as fast as it
// comes, and the kernel's buffer (64 KiB a tty) need hold no more than one
// period of a rate below the limit.
class ReadPacer
{
public:
    using Clock = std::chrono::steady_clock;

    explicit ReadPacer(std::chrono::milliseconds period = {}) : m_period(period) {}

    std::chrono::milliseconds period() const { return m_period; }
    void setPeriod(std::chrono::milliseconds period) { m_period = period; }
    // Bytes per second since the last take above which reading does not rest.
    static constexpr qint64 kMostRestedRate = 2'000'000;
    // A take this large does not rest either, whatever the rate: a pseudo-
    // terminal holds only about 18 KiB, so a flood through one never shows
    // more than 1.3 MB/s across a rest, and resting would cap it there.
    static constexpr qint64 kFloodTake = 16 * 1024;

    // count bytes were taken at now; returns how long reading is to rest.
    Clock::duration took(Clock::time_point now, qint64 count);
    // Whether bytes that wait at now may be taken.
    bool mayTake(Clock::time_point now) const { return now >= m_resume; }

private:
    std::chrono::milliseconds m_period;
    Clock::time_point m_resume{};
    Clock::time_point m_lastTake{};
};
