// SPDX-License-Identifier: MIT
#include "serial/readpacer.h"

ReadPacer::Clock::duration ReadPacer::took(Clock::time_point now)
{
    m_resume = now + m_period;
    return m_period;
}
