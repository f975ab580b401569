// SPDX-License-Identifier: MIT
#include "serial/portreadgate.h"

#include <QIODevice>
#include <QSocketNotifier>

PortReadGate::PortReadGate()
{
    m_resume.setSingleShot(true);
    m_resume.setTimerType(Qt::PreciseTimer);
    connect(&m_resume, &QTimer::timeout, this, &PortReadGate::resume);
}

void PortReadGate::setDevice(QIODevice *device)
{
    stop();
    m_device = device;
    m_notifier = nullptr;
}

void PortReadGate::rest(qint64 count)
{
    if (m_pacer.period().count() <= 0 || !m_device || !m_device->isOpen())
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
        listen();
}

void PortReadGate::resume()
{
    if (m_held || !m_device || !m_device->isOpen())
        return;
    // A take rests again, unless it met a flood.
    if (m_takeWaiting && m_takeWaiting() && (m_resume.isActive() || m_held))
        return;
    listen();
}

void PortReadGate::listen()
{
    // Bytes that came meanwhile wake the notifier at once.
    if (QSocketNotifier *readNotifier = notifier(); readNotifier && m_device && m_device->isOpen())
        readNotifier->setEnabled(true);
}

QSocketNotifier *PortReadGate::notifier()
{
    // Made afresh with each opening of the port; a socket's is its engine's child.
    if (!m_notifier && m_device) {
        for (QSocketNotifier *child : m_device->findChildren<QSocketNotifier *>()) {
            if (child->type() == QSocketNotifier::Read)
                m_notifier = child;
        }
    }
    return m_notifier;
}
