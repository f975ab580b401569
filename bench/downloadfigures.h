// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <chrono>

class QTemporaryDir;

// What the download benchmarks share: the line's pace, the test file and the table rows.
namespace downloadfigures {

using Clock = std::chrono::steady_clock;

constexpr qint64 kLineRate = 11520; // bytes a second at 115200,n,8,1
constexpr int kDropCount = 14;

double secondsBetween(Clock::time_point from, Clock::time_point to);
void printRow(const QString &what, double figure, const char *unit, const QString &against);
QString sizeName(qint64 bytes);
// A file of size bytes in dir, written back to the disk before any clock starts.
QString makeFile(const QTemporaryDir &dir, qint64 size);

} // namespace downloadfigures
