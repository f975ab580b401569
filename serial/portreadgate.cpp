// SPDX-License-Identifier: MIT
#include "serial/portreadgate.h"

#include <QSerialPort>
#include <QSocketNotifier>

PortReadGate::PortReadGate(QSerialPort &port)
    : m_port(port)
{
    m_resume.setSingleShot(true);
    m_resume.setTimerType(Qt::PreciseTimer);
    connect(&m_resume, &QTimer::timeout, this, &PortReadGate::resume);
}

void PortReadGate::rest(qint64 count)
{
    if (m_pacer.period().count() <= 0 || !m_port.isOpen())
        return;
    const auto pause = m_pacer.took(ReadPacer::Clock::now(), count);
    if (pause <= ReadPacer::Clock::duration::zero())
        return;
    m_resume.start(std::chrono::ceil<std::chrono::milliseconds>(pause));
    keepResting();
}

void PortReadGate::keepResting()
{
    if (!m_resume.isActive() && !m_held)
        return;
    if (QSocketNotifier *readNotifier = notifier())
        readNotifier->setEnabled(false);
}

void PortReadGate::stop()
{
    m_resume.stop();
    m_held = false;
}

void PortReadGate::hold(bool held)
{
    m_held = held;
    if (held)
        keepResting();
    else if (!m_resume.isActive())
        resume();
}

void PortReadGate::resume()
{
    if (m_held)
        return;
    // Bytes that came meanwhile wake the notifier at once.
    if (QSocketNotifier *readNotifier = notifier(); readNotifier && m_port.isOpen())
        readNotifier->setEnabled(true);
}

QSocketNotifier *PortReadGate::notifier()
{
    // Made afresh with each opening of the port.
    if (!m_notifier) {
        for (QSocketNotifier *child : m_port.findChildren<QSocketNotifier *>(Qt::FindDirectChildrenOnly)) {
            if (child->type() == QSocketNotifier::Read)
                m_notifier = child;
        }
    }
    return m_notifier;
}
