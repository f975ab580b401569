// SPDX-License-Identifier: MIT
#include "serial/pacedoutput.h"

#include <QDeadlineTimer>
#include <QThread>

#include <utility>

using namespace std::chrono;

namespace {

constexpr milliseconds kPumpInterval{5};
// The least a paced write sends (about 5.6 ms of line): a byte a write
// would cost the server and us a wake-up per byte.
constexpr qint64 kLeastPiece = 64;
constexpr microseconds kShortestSleep{100};

} // namespace

PacedOutput::PacedOutput(Send send, QObject *parent)
    : QObject(parent)
    , m_send(std::move(send))
{
    m_pump.setInterval(kPumpInterval);
    connect(&m_pump, &QTimer::timeout, this, &PacedOutput::release);
}

void PacedOutput::write(const QByteArray &bytes)
{
    m_pending += bytes;
    release();
}

// Hands the network what the far line can take within the pace; the pump
// goes on from the event loop while bytes wait.
void PacedOutput::release()
{
    const auto now = LinePacer::Clock::now();
    const qint64 size = qMin<qint64>(m_pending.size(), m_pacer.room(now));
    if (size > 0 && size >= qMin<qint64>(m_pending.size(), kLeastPiece)) {
        const QByteArray piece = m_pending.first(size);
        m_pending.remove(0, size);
        m_pacer.sent(size, now);
        m_send(piece);
        emit bytesWritten(size);
    }
    if (m_pending.isEmpty())
        m_pump.stop();
    else if (!m_pump.isActive())
        m_pump.start();
}

bool PacedOutput::push(milliseconds wait)
{
    const QDeadlineTimer deadline(wait);
    bool sent = false;
    while (!m_pending.isEmpty()) {
        const qint64 before = m_pending.size();
        release();
        sent = sent || m_pending.size() < before;
        if (m_pending.isEmpty() || deadline.hasExpired())
            break;
        const auto until = m_pacer.untilRoom(LinePacer::Clock::now(), qMin<qint64>(m_pending.size(), kLeastPiece));
        if (deadline.remainingTimeAsDuration() < until)
            break;
        QThread::usleep(static_cast<unsigned long>(qMax(kShortestSleep, duration_cast<microseconds>(until)).count()));
    }
    return sent;
}

qint64 PacedOutput::bytesToWrite() const
{
    return m_pending.size() + m_pacer.ahead(LinePacer::Clock::now());
}

void PacedOutput::sendAll()
{
    m_pacer.sent(m_pending.size(), LinePacer::Clock::now());
    if (!m_pending.isEmpty())
        m_send(std::exchange(m_pending, {}));
    m_pump.stop();
}

void PacedOutput::drop()
{
    m_pending.clear();
    m_pump.stop();
}

void PacedOutput::clear()
{
    drop();
    m_pacer.reset();
}
