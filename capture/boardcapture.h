// SPDX-License-Identifier: MIT
#pragma once

#include "capture/receiverecorder.h"
#include "serial/cp932codec.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class SerialChannel;

// The one reader of the board behind the window and the command line: it
// takes every byte the channel reads, feeds the recorder and whoever shows
// the bytes, and writes the recording's markers for the port, the device,
// line errors and the downloads it is told of.
class BoardCapture : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<qint64()>;

    explicit BoardCapture(SerialChannel &channel, QObject *parent = nullptr);

    ReceiveRecorder &recorder() { return m_recorder; }
    // Where arrival times come from; the wall clock unless a test sets one.
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // The window's box takes the port's input itself, in the mode of its
    // tab; where nothing else does, the capture takes it as bytes.
    void setTakesInput(bool take) { m_takesInput = take; }
    // Looks for text in what arrives from now on; empty looks for nothing.
    void watchFor(const QString &text);
    // Takes what the channel still holds, so that a close loses nothing of
    // it (in the window too: the box is going, the recording stays).
    void takeRest();

    // What the channel took from the port, in order.
    void addBytes(const QByteArray &bytes);
    void addLineError(int commEvent);
    void onDownloadStarted();
    void onDownloadFinished();

signals:
    // text is the bytes decoded from CP932; msecsSinceEpoch their arrival, as recorded.
    void received(const QByteArray &bytes, const QString &text, qint64 msecsSinceEpoch);
    void lineError(int commEvent);
    void textSeen();

private:
    void onComm();
    void onPortOpenChanged(bool open);
    void onDisconnected();
    void onReconnected(const QString &device);
    void watch(const QString &text);
    void mark(const QString &event);

    SerialChannel &MSCom;
    ReceiveRecorder m_recorder;
    Clock m_clock;
    Cp932Decoder m_decoder;
    bool m_takesInput = false;
    QString m_watched;
    // The end of what came, long enough to hold a text split across reads.
    QString m_tail;
};
