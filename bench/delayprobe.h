// SPDX-License-Identifier: MIT
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// A 10 ms timer that notes how late its worst tick came: how long the
// event loop was kept from turning while the box received.
class DelayProbe : public QObject
{
public:
    DelayProbe();

    void start();
    double worstDelayMs() const { return m_worstMs; }

private:
    void onTick();

    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    double m_worstMs = 0;
};
