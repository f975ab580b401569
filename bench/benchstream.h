// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>

// What the benchmarks send from the board's side of a pseudo-terminal and
// how they read the program's own memory figures.
namespace benchstream {

// Lines: ASCII, CR LF every 80 bytes. Cp932Lines: the same lines, two
// thirds of each double-byte kanji. RandomText: random bytes without NUL
// (which drops a chunk it begins on the text tab), a line feed last, so
// that the cycle decodes alike every time round.
enum class Content { Lines, Unbroken, Random, Cp932Lines, RandomText };

// The stream repeats with this period, a multiple of the 80-character line,
// so the writer only copies and neither side holds all of it.
constexpr qint64 kPeriod = 80 * 94 * 140;

QByteArray makeCycle(Content content);

// Writes the repeating cycle from stream offset from up to offset to, as
// fast as the line takes it; returns the offset reached, short of to only
// when stop was set or the line failed.
qint64 writeCycle(int fd, const QByteArray &cycle, qint64 from, qint64 to, const std::atomic<bool> &stop);

// The machine's load average, as /proc/loadavg gives it, for a table's head and foot.
QString loadAverage();

// A "Name:   value kB" figure of /proc/self/status, such as VmRSS or VmHWM.
qint64 procStatusKiB(const char *field);

} // namespace benchstream
