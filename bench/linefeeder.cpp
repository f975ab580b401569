// SPDX-License-Identifier: MIT
#include "linefeeder.h"

#include <cerrno>
#include <cmath>
#include <thread>

#include <poll.h>
#include <unistd.h>

void LineFeeder::feed(const Pace &pace, std::chrono::milliseconds duration)
{
    m_times.clear();
    m_startOffset = m_offset;
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + duration;
    if (pace.rate <= 0) {
        while (Clock::now() < end) {
            m_times.push_back(Clock::now());
            if (!writeNext(4096))
                return;
        }
        return;
    }
    const auto interval = pace.piece > 0 ? std::chrono::duration<double>(pace.piece / pace.rate)
                                         : std::chrono::duration<double>(pace.interval);
    for (qint64 k = 1;; ++k) {
        const auto due = start + std::chrono::duration_cast<Clock::duration>(interval * double(k));
        if (due >= end)
            return;
        // Absolute times: a late write does not push the ones after it.
        std::this_thread::sleep_until(due);
        const qint64 count = pace.piece > 0
                                 ? pace.piece
                                 : qint64(std::floor(pace.rate * std::chrono::duration<double>(due - start).count()))
                                       - written();
        m_times.push_back(Clock::now());
        if (count > 0 && !writeNext(count))
            return;
    }
}

LineFeeder::Clock::time_point LineFeeder::writeOne()
{
    const Clock::time_point at = Clock::now();
    writeNext(1);
    return at;
}

bool LineFeeder::writeNext(qint64 count)
{
    while (count > 0) {
        const qint64 at = m_offset % m_cycle.size();
        const ssize_t done = ::write(m_fd, m_cycle.constData() + at, size_t(std::min(count, m_cycle.size() - at)));
        if (done > 0) {
            m_offset += done;
            count -= done;
        } else if (errno == EAGAIN) {
            pollfd room{m_fd, POLLOUT, 0};
            ::poll(&room, 1, 100);
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}
