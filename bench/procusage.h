// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <map>

#include <sys/types.h>

// What a process (all its threads) or one thread has cost so far, read from
// /proc: CPU time and how often it gave up or lost the processor.
namespace procusage {

struct Switches
{
    qint64 voluntary = 0;
    qint64 involuntary = 0;
};

struct Usage
{
    double cpuSeconds = 0;
    // By thread: a thread that ends takes its count with it.
    std::map<QString, Switches> threads;
};

// tid 0: the whole process, its threads' switches summed.
Usage read(pid_t pid, pid_t tid = 0);
// Per second of wall time between two readings.
struct Rates
{
    double cpuPercent = 0;
    double voluntary = 0;
    double involuntary = 0;
};
Rates ratesBetween(const Usage &before, const Usage &after, double seconds);

} // namespace procusage
