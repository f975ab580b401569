// SPDX-License-Identifier: MIT
#include "download/blockstreamer.h"

#include "serial/serialchannel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <chrono>

namespace {

// The kernel's share of the queue drains without a signal; look this often.
constexpr std::chrono::milliseconds kPollInterval{5};
constexpr std::chrono::milliseconds kRefreshInterval{100};
// The longest the event loop waits while the line takes bytes; a turn for
// every write would cost more than the write itself.
constexpr qint64 kEventSliceMs = 10;

} // namespace

BlockStreamer::BlockStreamer(SerialChannel &channel, QFile &file, const BlockPlan &plan, QObject *parent)
    : QObject(parent)
    , MSCom(channel)
    , m_file(file)
    , m_plan(plan)
{
    connect(&MSCom, &SerialChannel::disconnected, this, &BlockStreamer::feed);
    connect(&m_poll, &QTimer::timeout, this, &BlockStreamer::feed);
    connect(&m_refresh, &QTimer::timeout, this, &BlockStreamer::reportProgress);
}

BlockStreamer::Outcome BlockStreamer::run()
{
    m_poll.start(kPollInterval);
    m_refresh.start(kRefreshInterval);
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    for (feed(); !m_finished; feed()) {
        const qint64 left = kEventSliceMs - sinceEvents.elapsed();
        if (left > 0 && MSCom.pushOutput(std::chrono::milliseconds(left)))
            continue;
        // Time is up, or the line gave no room: paint, take a cancel, see a
        // port that went away, or wait for the kernel's queue to drain.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        sinceEvents.restart();
    }
    m_poll.stop();
    m_refresh.stop();
    return m_outcome;
}

void BlockStreamer::cancel()
{
    if (!m_finished)
        finish(Outcome::Cancelled);
}

qint64 BlockStreamer::bytesSent() const
{
    return qMax<qint64>(0, m_handedOver - MSCom.outBufferCount());
}

void BlockStreamer::feed()
{
    if (m_finished)
        return;
    if (!MSCom.portOpen())
        return finish(Outcome::Failed, Failure::PortGone);
    // Every block is taken whole, but only while the queue has room for it:
    // a file of any size then costs no more memory than the bound.
    qint64 room = kQueueBound - MSCom.outBufferCount();
    while (m_nextBlock < m_plan.blockCount() && m_plan.blockSize(m_nextBlock) <= room) {
        const qint32 size = m_plan.blockSize(m_nextBlock);
        if (!sendBlock(size))
            return;
        room -= size;
    }
    if (m_nextBlock == m_plan.blockCount() && MSCom.outBufferCount() == 0)
        finish(Outcome::Sent);
}

bool BlockStreamer::sendBlock(qint32 size)
{
    // One buffer for every block: output() copies what it takes.
    m_block.resize(size);
    if (m_file.read(m_block.data(), size) != size) {
        finish(Outcome::Failed, Failure::FileRead,
               m_file.error() != QFileDevice::NoError ? m_file.errorString() : QString());
        return false;
    }
    MSCom.output(m_block);
    m_handedOver += size;
    if (++m_nextBlock == m_plan.blockCount())
        emit lastBlockHanded();
    return true;
}

void BlockStreamer::finish(Outcome outcome, Failure failure, const QString &detail)
{
    m_finished = true;
    m_outcome = outcome;
    m_failure = failure;
    m_failureDetail = detail;
}

void BlockStreamer::reportProgress()
{
    emit progressed(bytesSent());
}
