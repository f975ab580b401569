// SPDX-License-Identifier: MIT
#pragma once

#include "serial/cp932codec.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class SerialChannel;

// Takes what the board sends as the channel reports it: the bytes, their
// CP932 text, line errors, and whether a given text has come yet.
class BoardReader : public QObject
{
    Q_OBJECT

public:
    explicit BoardReader(SerialChannel &channel, QObject *parent = nullptr);

    // Looks for text in what arrives from now on; empty looks for nothing.
    void watchFor(const QString &text) { m_watched = text; }

signals:
    void received(const QByteArray &bytes, const QString &text);
    void lineEvent(int commEvent);
    void textSeen();

private:
    void onComm();

    SerialChannel &MSCom;
    Cp932Decoder m_decoder;
    QString m_watched;
    // The end of what came, long enough to hold a text split across reads.
    QString m_tail;
};
