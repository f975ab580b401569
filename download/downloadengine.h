// SPDX-License-Identifier: MIT
#pragma once

#include "download/blockplan.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <optional>

class BlockStreamer;
class SerialChannel;

// A configuration file's way to the board, without widgets: the plan of
// blocks, the paced transfer, cancel and the final reset of the port. The
// window and the command line only show what it reports.
class DownloadEngine : public QObject
{
    Q_OBJECT

public:
    enum class Outcome { Sent, Cancelled, Failed, ShortFile };
    enum class Failure { None, FileTooLarge, FileOpen, FileRead, PortGone, Reopen };

    explicit DownloadEngine(SerialChannel &channel, QObject *parent = nullptr);

    // Closes and reopens the port; false (Reopen) when it stays closed.
    [[nodiscard]] bool reopenPort(bool keepInput = false);
    // Whether what arrives after the last block was handed to the channel
    // stays there to be read (a caller waiting for the board's answer) or the
    // final reset discards it, as it does what came during the transfer.
    void setKeepAnswer(bool keep) { m_keepAnswer = keep; }
    // The blocks for the file at path, or nothing (FileTooLarge) from 2 GiB on.
    std::optional<BlockPlan> plan(const QString &path, std::uint8_t nByte);
    // Sends the plan's bytes and resets the port; returns when done. A file
    // shorter than nByte sends nothing and leaves the port as it is.
    Outcome transfer(const QString &path, const BlockPlan &plan);
    void cancel();

    // From the start of transfer() to the end of the final reset.
    bool isTransferring() const { return m_transferring; }
    Failure failure() const { return m_failure; }
    // The system's words for a failure; empty when a file merely ended early.
    QString failureDetail() const { return m_failureDetail; }

signals:
    void progressed(qint64 bytesSent);
    void finished(DownloadEngine::Outcome outcome);

private:
    Outcome fail(Failure failure, const QString &detail = {});
    Outcome stream(const QString &path, const BlockPlan &plan);

    SerialChannel &MSCom;
    QPointer<BlockStreamer> m_streamer;
    bool m_transferring = false;
    bool m_cancelled = false;
    bool m_keepAnswer = false;
    Failure m_failure = Failure::None;
    QString m_failureDetail;
};
