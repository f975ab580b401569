// SPDX-License-Identifier: MIT
#include "capture/boardcapture.h"

#include "capture/recordlines.h"
#include "serial/lineerrors.h"
#include "serial/serialchannel.h"

#include <QDateTime>
#include <QMetaMethod>

BoardCapture::BoardCapture(SerialChannel &channel, QObject *parent)
    : QObject(parent)
    , MSCom(channel)
    , m_clock(&QDateTime::currentMSecsSinceEpoch)
{
    // Found among the window's children, as it was before the capture owned
    // it (the benchmarks start and stop recordings that way). A member with
    // a parent is safe: it leaves the parent's children as it is destroyed.
    m_recorder.setParent(this);
    connect(&MSCom, &SerialChannel::inputTaken, this, &BoardCapture::addBytes);
    connect(&MSCom, &SerialChannel::onComm, this, &BoardCapture::onComm);
    connect(&MSCom, &SerialChannel::portOpenChanged, this, &BoardCapture::onPortOpenChanged);
    connect(&MSCom, &SerialChannel::disconnected, this, &BoardCapture::onDisconnected);
    connect(&MSCom, &SerialChannel::reconnected, this, &BoardCapture::onReconnected);
}

void BoardCapture::watchFor(const QString &text)
{
    m_watched = text;
    m_tail.clear();
}

void BoardCapture::takeRest()
{
    if (!MSCom.portOpen())
        return;
    MSCom.setInputMode(SerialChannel::InputMode::Binary);
    (void)MSCom.input();
}

void BoardCapture::addBytes(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    const qint64 now = m_clock();
    m_recorder.addBytes(bytes, now);
    // Under a flood decoding costs as much as all the rest of a take, and the
    // window shows the bytes themselves: text is made only for a reader.
    if (m_watched.isEmpty() && !isSignalConnected(QMetaMethod::fromSignal(&BoardCapture::received))) {
        m_decoder.skip(bytes);
        return;
    }
    const QString text = m_decoder.decode(bytes);
    emit received(bytes, text, now);
    watch(text);
}

void BoardCapture::addLineError(int commEvent)
{
    mark(recordlines::lineError(commEvent));
    emit lineError(commEvent);
}

void BoardCapture::onDownloadStarted()
{
    mark(recordlines::downloadStarted());
}

void BoardCapture::onDownloadFinished()
{
    mark(recordlines::downloadFinished());
}

void BoardCapture::onComm()
{
    const int code = MSCom.commEvent();
    if (commevent::isError(code)) {
        addLineError(code);
    } else if (code == commevent::kReceive && m_takesInput) {
        MSCom.setInputMode(SerialChannel::InputMode::Binary);
        // The bytes come back through inputTaken.
        (void)MSCom.input();
    }
}

void BoardCapture::onPortOpenChanged(bool open)
{
    const int port = MSCom.commPort();
    const QString device = MSCom.devicePath();
    mark(open ? recordlines::portOpened(port, device) : recordlines::portClosed(port, device));
    // As the channel's own decoder, a lead byte held back is not joined across an open or a close.
    m_decoder.reset();
}

void BoardCapture::onDisconnected()
{
    mark(recordlines::deviceLost());
}

void BoardCapture::onReconnected(const QString &device)
{
    mark(recordlines::deviceReconnected(device));
}

void BoardCapture::watch(const QString &text)
{
    if (m_watched.isEmpty())
        return;
    m_tail += text;
    if (m_tail.contains(m_watched)) {
        m_watched.clear();
        m_tail.clear();
        emit textSeen();
        return;
    }
    m_tail = m_tail.right(m_watched.size() - 1);
}

void BoardCapture::mark(const QString &event)
{
    m_recorder.addMarker(event, m_clock());
}
