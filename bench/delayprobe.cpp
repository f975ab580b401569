// SPDX-License-Identifier: MIT
#include "delayprobe.h"

#include <algorithm>

namespace {

constexpr int kTickMs = 10;

} // namespace

DelayProbe::DelayProbe()
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &DelayProbe::onTick);
}

void DelayProbe::start()
{
    m_sinceTick.start();
    m_timer.start(kTickMs);
}

void DelayProbe::onTick()
{
    m_worstMs = std::max(m_worstMs, m_sinceTick.nsecsElapsed() / 1e6 - kTickMs);
    m_sinceTick.restart();
}
