#include "receive/receiverecorder.h"

#include <QDateTime>

#include <chrono>

namespace {

using namespace std::chrono_literals;

// Data reaches the file within this time, or sooner once a batch fills up.
constexpr std::chrono::milliseconds kFlushInterval{250};
constexpr qsizetype kBatchBytes = 1 << 20;

} // namespace

ReceiveRecorder::ReceiveRecorder(QObject *parent)
    : QObject(parent)
{
    m_flushTimer.setInterval(kFlushInterval);
    connect(&m_flushTimer, &QTimer::timeout, this, &ReceiveRecorder::onFlushTimer);
}

ReceiveRecorder::~ReceiveRecorder()
{
    if (isRecording())
        stop();
}

bool ReceiveRecorder::start(const QString &path, Format format)
{
    if (isRecording())
        stop();
    m_file.setFileName(path);
    // Unbuffered, so that a failing write is seen by the write that failed.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        m_errorString = m_file.errorString();
        return false;
    }
    m_errorString.clear();
    m_format = format;
    m_pending.clear();
    m_decoder.reset();
    m_stamper = {};
    m_flushTimer.start();
    emit recordingChanged(true);
    return true;
}

void ReceiveRecorder::stop()
{
    if (!isRecording())
        return;
    if (!flush())
        return;
    m_flushTimer.stop();
    m_file.close();
    emit recordingChanged(false);
}

void ReceiveRecorder::addBytes(QByteArrayView bytes, qint64 msecsSinceEpoch)
{
    if (!isRecording() || bytes.isEmpty())
        return;
    if (m_format == Format::Binary)
        m_pending.append(bytes.data(), bytes.size());
    else
        m_pending += m_stamper.feed(m_decoder.decode(bytes), msecsSinceEpoch).toUtf8();
    if (m_pending.size() >= kBatchBytes)
        flush();
}

void ReceiveRecorder::addMarker(const QString &event, qint64 msecsSinceEpoch)
{
    if (!isRecording() || m_format != Format::Text)
        return;
    // As the channel does on an open or a close, a lead byte held back is not joined across the event.
    m_decoder.reset();
    m_pending += m_stamper.marker(event, msecsSinceEpoch).toUtf8();
}

void ReceiveRecorder::addBytesNow(const QByteArray &bytes)
{
    addBytes(bytes, QDateTime::currentMSecsSinceEpoch());
}

void ReceiveRecorder::addMarkerNow(const QString &event)
{
    addMarker(event, QDateTime::currentMSecsSinceEpoch());
}

void ReceiveRecorder::onFlushTimer()
{
    flush();
}

bool ReceiveRecorder::flush()
{
    const char *data = m_pending.constData();
    qint64 left = m_pending.size();
    while (left > 0) {
        const qint64 written = m_file.write(data, left);
        if (written <= 0) {
            fail();
            return false;
        }
        data += written;
        left -= written;
    }
    m_pending.clear();
    return true;
}

void ReceiveRecorder::fail()
{
    m_errorString = m_file.errorString();
    m_pending.clear();
    m_flushTimer.stop();
    m_file.close();
    emit recordingChanged(false);
    emit failed(m_errorString);
}
