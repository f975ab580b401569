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

bool DownloadEngine::reopenPort()
{
    if (MSCom.resetPort())
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
    if (!reopenPort())
        return Outcome::Failed;
    MSCom.setOutBufferCount(0);
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
