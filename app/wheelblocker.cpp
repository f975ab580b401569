// SPDX-License-Identifier: MIT
#include "app/wheelblocker.h"

#include <QEvent>

bool WheelBlocker::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Wheel)
        return true;
    return QObject::eventFilter(watched, event);
}
