// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <chrono>

// Where the far end of a network port's line stands. Neither RFC 2217 nor
// raw TCP reports what has left the far UART, so the bytes handed to the
// network are counted as leaving it at line rate from when they were sent,
// and no more than a fixed time of line is let ahead.
class LinePacer
{
public:
    using Clock = std::chrono::steady_clock;
    // The most the far line may be behind what was sent.
    static constexpr std::chrono::milliseconds kMostAhead{100};
    // The far line starts later than the send: the network, the server's
    // wake-ups and a far reader that loses time when its machine is busy.
    // Measured through ser2net on a busy machine, the far line fell 4 to
    // 24 ms behind the count; the count keeps 30 ms of the bound for it.
    static constexpr std::chrono::milliseconds kPathMargin{30};
    static constexpr std::chrono::milliseconds kCountedAhead = kMostAhead - kPathMargin;

    void setBytesPerSecond(qint64 bytesPerSecond) { m_bytesPerSecond = qMax<qint64>(1, bytesPerSecond); }
    qint64 bytesPerSecond() const { return m_bytesPerSecond; }
    // Forgets what was sent; the line is idle.
    void reset() { m_lineFreeAt = {}; }

    // Bytes that may be sent now without going more than kCountedAhead ahead.
    qint64 room(Clock::time_point now) const;
    void sent(qint64 bytes, Clock::time_point now);
    // Bytes sent that the far line has not had the time to carry yet.
    qint64 ahead(Clock::time_point now) const;
    // The line time those bytes still need.
    std::chrono::nanoseconds aheadTime(Clock::time_point now) const;
    // How long until at least bytes may be sent.
    std::chrono::nanoseconds untilRoom(Clock::time_point now, qint64 bytes = 1) const;

private:
    std::chrono::nanoseconds byteTime(qint64 bytes) const;

    qint64 m_bytesPerSecond = 11520;
    Clock::time_point m_lineFreeAt{};
};
