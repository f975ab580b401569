// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// Reads the program's resident size at a fixed interval on a thread of its
// own, so that a busy event loop does not space the samples out.
class ResidentSampler
{
public:
    using Clock = std::chrono::steady_clock;

    explicit ResidentSampler(std::chrono::milliseconds interval);
    ~ResidentSampler();
    ResidentSampler(const ResidentSampler &) = delete;
    ResidentSampler &operator=(const ResidentSampler &) = delete;

    // The highest sample taken in the time span, 0 when none was.
    qint64 peakKiB(Clock::time_point from, Clock::time_point to) const;
    qsizetype count() const;

private:
    struct Sample
    {
        Clock::time_point at;
        qint64 kiB;
    };

    void run();

    std::chrono::milliseconds m_interval;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::vector<Sample> m_samples;
    std::thread m_thread;
};
