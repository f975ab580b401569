// SPDX-License-Identifier: MIT
#include "benchstream.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <poll.h>
#include <unistd.h>

namespace benchstream {

namespace {

quint64 nextRandom(quint64 &state)
{
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

QByteArray japaneseCycle()
{
    QByteArray cycle;
    cycle.reserve(kPeriod);
    quint64 state = 0x2545F4914F6CDD1Dull;
    while (cycle.size() < kPeriod) {
        for (int column = 0; column < 78;) {
            const quint64 pick = nextRandom(state);
            if (pick % 3 == 0 || column == 77) {
                cycle.append(char(0x20 + (pick >> 8) % 95));
                ++column;
                continue;
            }
            // Lead bytes 0x89-0x9F: kanji, but for a few codes left unassigned.
            const int trail = 0x40 + int((pick >> 16) % 188);
            cycle.append(char(0x89 + (pick >> 8) % 23));
            cycle.append(char(trail >= 0x7F ? trail + 1 : trail));
            column += 2;
        }
        cycle.append("\r\n");
    }
    return cycle;
}

} // namespace

QByteArray makeCycle(Content content)
{
    if (content == Content::Cp932Lines)
        return japaneseCycle();
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
        case Content::RandomText:
            cycle[at] = char(nextRandom(state) >> 56);
            break;
        case Content::Cp932Lines:
            break;
        }
    }
    if (content == Content::RandomText) {
        std::replace(cycle.begin(), cycle.end(), '\0', '\x01');
        cycle.back() = '\n';
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

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).trimmed() : QStringLiteral("?");
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
