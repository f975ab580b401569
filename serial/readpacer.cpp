// SPDX-License-Identifier: MIT
#include "serial/readpacer.h"

ReadPacer::Clock::duration ReadPacer::took(Clock::time_point now, qint64 count)
{
    const double seconds = std::chrono::duration<double>(now - m_lastTake).count();
    m_lastTake = now;
    const bool flood = count >= kFloodTake || double(count) > double(kMostRestedRate) * seconds;
    const Clock::duration rest = flood ? Clock::duration::zero() : Clock::duration(m_period);
    m_resume = now + rest;
    return rest;
}
