// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <vector>

// Writes a stream into a pseudo-terminal at a fixed rate, as a board on a
// serial line would: whole pieces at fixed times, or as fast as the line
// takes them.
class LineFeeder
{
public:
    using Clock = std::chrono::steady_clock;

    struct Pace
    {
        // Bytes per second; 0 writes as fast as the reader takes them.
        double rate = 0;
        // Each write is one piece of this size, or what is due every
        // interval when it is 0.
        qsizetype piece = 0;
        std::chrono::microseconds interval{1000};
    };

    LineFeeder(int fd, QByteArray cycle) : m_fd(fd), m_cycle(std::move(cycle)) {}

    // Feeds for the given time; notes when each write began.
    void feed(const Pace &pace, std::chrono::milliseconds duration);
    // Writes one byte of the stream now and returns when.
    Clock::time_point writeOne();

    qint64 written() const { return m_offset - m_startOffset; }
    const std::vector<Clock::time_point> &writeTimes() const { return m_times; }

private:
    bool writeNext(qint64 count);

    int m_fd;
    QByteArray m_cycle;
    qint64 m_offset = 0;
    qint64 m_startOffset = 0;
    std::vector<Clock::time_point> m_times;
};
