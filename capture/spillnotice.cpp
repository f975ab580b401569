// SPDX-License-Identifier: MIT
#include "capture/spillnotice.h"

SpillNotice &SpillNotice::instance()
{
    static SpillNotice notice;
    return notice;
}

void SpillNotice::report(const QString &reason)
{
    if (m_refusing++ == 0)
        emit refused(reason);
}

void SpillNotice::rearm()
{
    if (m_refusing > 0)
        --m_refusing;
}

void SpillNotice::reportUnreadable(const QString &reason)
{
    if (m_unreadable++ == 0)
        emit unreadable(reason);
}

void SpillNotice::rearmUnreadable()
{
    if (m_unreadable > 0)
        --m_unreadable;
}
