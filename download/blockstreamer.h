// SPDX-License-Identifier: MIT
#pragma once

#include "download/blockplan.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QFile;
class SerialChannel;

// Hands the blocks of a plan to the channel's output, one call per block,
// while keeping the channel's queue under a fixed bound, and waits until
// every byte has left the program. It writes as soon as the line has room
// and turns the event loop in between, at least every few milliseconds, so
// the window keeps painting and a cancel can arrive.
class BlockStreamer : public QObject
{
    Q_OBJECT

public:
    enum class Outcome { Sent, Cancelled, Failed };
    enum class Failure { None, FileRead, PortGone };

    // Bytes the channel and the kernel may hold before output waits for room.
    static constexpr qint64 kQueueBound = 64 * 1024;

    BlockStreamer(SerialChannel &channel, QFile &file, const BlockPlan &plan, QObject *parent = nullptr);

    // Returns once every block has left the program, or on cancel or failure.
    Outcome run();
    void cancel();
    Failure failure() const { return m_failure; }
    // The file's own error text; empty when the file merely ended early.
    QString failureDetail() const { return m_failureDetail; }
    // Bytes handed to output minus those still waiting in the queues.
    qint64 bytesSent() const;

signals:
    void progressed(qint64 bytesSent);
    // The last block was handed to the channel; the board may answer from now on.
    void lastBlockHanded();

private:
    void feed();
    [[nodiscard]] bool sendBlock(qint32 size);
    void finish(Outcome outcome, Failure failure = Failure::None, const QString &detail = {});
    void reportProgress();

    SerialChannel &MSCom;
    QFile &m_file;
    const BlockPlan m_plan;
    QByteArray m_block;
    qint32 m_nextBlock = 0;
    qint64 m_handedOver = 0;
    bool m_finished = false;
    Outcome m_outcome = Outcome::Sent;
    Failure m_failure = Failure::None;
    QString m_failureDetail;
    QTimer m_poll;
    QTimer m_refresh;
};
