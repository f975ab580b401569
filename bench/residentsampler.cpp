// SPDX-License-Identifier: MIT
#include "residentsampler.h"

#include "residentmemory.h"

#include <algorithm>

ResidentSampler::ResidentSampler(std::chrono::milliseconds interval)
    : m_interval(interval)
    , m_thread([this] { run(); })
{
}

ResidentSampler::~ResidentSampler()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

qint64 ResidentSampler::peakKiB(Clock::time_point from, Clock::time_point to) const
{
    std::lock_guard lock(m_mutex);
    qint64 peak = 0;
    for (const Sample &sample : m_samples) {
        if (sample.at >= from && sample.at <= to)
            peak = std::max(peak, sample.kiB);
    }
    return peak;
}

qsizetype ResidentSampler::count() const
{
    std::lock_guard lock(m_mutex);
    return qsizetype(m_samples.size());
}

void ResidentSampler::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        m_samples.push_back({Clock::now(), residentKiB()});
        m_wake.wait_for(lock, m_interval, [this] { return m_stop; });
    }
}
