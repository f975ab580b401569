// SPDX-License-Identifier: MIT
#include "download/downloadengine.h"

#include "download/blockstreamer.h"
#include "serial/serialchannel.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <limits>

DownloadEngine::DownloadEngine(SerialChannel &channel, QObject *parent)
    : QObject(parent)
    , MSCom(channel)
{
}

bool DownloadEngine::reopenPort(bool keepInput)
{
    if (MSCom.resetPort(keepInput))
        return true;
    fail(Failure::Reopen, MSCom.errorString());
    return false;
}

std::optional<BlockPlan> DownloadEngine::plan(const QString &path, std::uint8_t nByte)
{
    const qint64 size = QFileInfo(path).size();
    // The counts are 32-bit; a longer file would wrap around instead of failing.
    if (size > std::numeric_limits<qint32>::max()) {
        fail(Failure::FileTooLarge);
        return std::nullopt;
    }
    return planBlocks(qint32(size), nByte);
}

DownloadEngine::Outcome DownloadEngine::transfer(const QString &path, const BlockPlan &plan)
{
    // Received data waits until the final reset discards it.
    m_transferring = true;
    m_cancelled = false;
    m_failure = Failure::None;
    m_failureDetail.clear();
    MSCom.holdEvents(true);
    const auto release = qScopeGuard([this] {
        MSCom.holdEvents(false);
        m_transferring = false;
    });
    const Outcome outcome = stream(path, plan);
    emit finished(outcome);
    return outcome;
}

DownloadEngine::Outcome DownloadEngine::stream(const QString &path, const BlockPlan &plan)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(Failure::FileOpen, file.errorString());
    BlockStreamer streamer(MSCom, file, plan);
    m_streamer = &streamer;
    connect(&streamer, &BlockStreamer::progressed, this, &DownloadEngine::progressed);
    // The answer may come before the queue is seen empty: what came before the
    // last block was handed over is not one, what comes after is kept.
    if (m_keepAnswer)
        connect(&streamer, &BlockStreamer::lastBlockHanded, this, [this] { MSCom.setInBufferCount(0); });
    const BlockStreamer::Outcome sent = streamer.run();
    file.close();

    if (sent == BlockStreamer::Outcome::Failed) {
        return fail(streamer.failure() == BlockStreamer::Failure::PortGone ? Failure::PortGone : Failure::FileRead,
                    streamer.failureDetail());
    }
    if (plan.remainder < 0)
        return Outcome::ShortFile;
    // Closing lets queued bytes go out; a cancelled transfer must not.
    if (sent == BlockStreamer::Outcome::Cancelled)
        MSCom.setOutBufferCount(0);
    const bool keep = m_keepAnswer && sent == BlockStreamer::Outcome::Sent;
    if (!reopenPort(keep))
        return Outcome::Failed;
    MSCom.setOutBufferCount(0);
    if (!keep)
        MSCom.setInBufferCount(0);
    return sent == BlockStreamer::Outcome::Cancelled ? Outcome::Cancelled : Outcome::Sent;
}

void DownloadEngine::cancel()
{
    m_cancelled = true;
    if (m_streamer)
        m_streamer->cancel();
}

DownloadEngine::Outcome DownloadEngine::fail(Failure failure, const QString &detail)
{
    m_failure = failure;
    m_failureDetail = detail;
    return Outcome::Failed;
}
