// SPDX-License-Identifier: MIT
#pragma once

#include <QProgressDialog>

// The modal window shown while a configuration file goes out: the bytes
// that have left the program out of the payload, the time the rest needs
// at the line's rate, and a button that stops the transfer.
class TransferProgress : public QProgressDialog
{
    Q_OBJECT

public:
    TransferProgress(qint64 total, qint64 bytesPerSecond, QWidget *parent);

    void showSent(qint64 sent);
    // The file's design, part and date above the counts; empty for none.
    void setHeaderLine(const QString &line);

private:
    qint64 m_total;
    qint64 m_bytesPerSecond;
    QString m_headerLine;
};

// "送信済み 1,200 / 65,522 バイト" over "残り時間 0:06", the time rounded up.
QString progressText(qint64 sent, qint64 total, qint64 bytesPerSecond);
