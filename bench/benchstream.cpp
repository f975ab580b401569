// SPDX-License-Identifier: MIT
#include "benchstream.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <poll.h>
#include <unistd.h>

namespace benchstream {

QByteArray makeCycle(Content content)
{
    QByteArray cycle(kPeriod, Qt::Uninitialized);
    quint64 state = 0x9E3779B97F4A7C15ull;
    for (qint64 at = 0; at < kPeriod; ++at) {
        switch (content) {
        case Content::Lines: {
            const qint64 column = at % 80;
            cycle[at] = column == 78 ? '\r' : column == 79 ? '\n' : char(0x21 + (at / 80 + column) % 94);
            break;
        }
        case Content::Unbroken:
            cycle[at] = char(0x20 + (at * 7 + at / 101) % 95);
            break;
        case Content::Random:
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            cycle[at] = char(state >> 56);
            break;
        }
    }
    return cycle;
}

qint64 writeCycle(int fd, const QByteArray &cycle, qint64 from, qint64 to, const std::atomic<bool> &stop)
{
    qint64 offset = from;
    while (offset < to && !stop.load(std::memory_order_relaxed)) {
        const qint64 at = offset % kPeriod;
        const ssize_t written = ::write(fd, cycle.constData() + at, size_t(std::min(kPeriod - at, to - offset)));
        if (written > 0) {
            offset += written;
        } else if (errno == EAGAIN) {
            // Short, so that a stop is seen soon even when the reader stalls.
            pollfd room{fd, POLLOUT, 0};
            ::poll(&room, 1, 20);
        } else if (errno != EINTR) {
            break;
        }
    }
    return offset;
}

qint64 procStatusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

} // namespace benchstream
