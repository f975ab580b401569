// SPDX-License-Identifier: MIT
#include "capture/receiverecorder.h"

#include <QDateTime>

#include <chrono>
#include <utility>

namespace {

using namespace std::chrono_literals;

// Data reaches the file within this time, or sooner once a batch fills up.
constexpr std::chrono::milliseconds kFlushInterval{250};
constexpr qsizetype kBatchBytes = 1 << 20;

} // namespace

ReceiveRecorder::ReceiveRecorder(QObject *parent)
    : QObject(parent)
{
}

ReceiveRecorder::~ReceiveRecorder()
{
    stop();
}

bool ReceiveRecorder::start(const QString &path, Format format)
{
    stop();
    m_file.setFileName(path);
    // Unbuffered, so that a failing write is seen by the write that failed.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        m_errorString = m_file.errorString();
        return false;
    }
    m_errorString.clear();
    m_format = format;
    m_decoder.reset();
    m_stamper = recordlines::LineStamper();
    m_collected.clear();
    m_closing = false;
    m_writerIdle = false;
    m_writeFailed = false;
    m_recording = true;
    m_writer = std::thread(&ReceiveRecorder::writeBatches, this);
    emit recordingChanged(true);
    return true;
}

void ReceiveRecorder::stop()
{
    if (!m_recording)
        return;
    finish();
    if (m_writeFailed)
        emit failed(m_errorString);
}

// Lets the thread write what is queued, then closes the file.
void ReceiveRecorder::finish()
{
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_wake.notify_one();
    m_writer.join();
    m_collected.clear();
    if (m_writeFailed)
        m_errorString = m_file.errorString();
    m_file.close();
    m_recording = false;
    emit recordingChanged(false);
}

void ReceiveRecorder::addBytes(QByteArrayView bytes, qint64 msecsSinceEpoch)
{
    if (!m_recording || bytes.isEmpty())
        return;
    if (m_format == Format::Binary)
        collect(bytes);
    else
        collect(m_stamper.feed(m_decoder.decode(bytes), msecsSinceEpoch).toUtf8());
}

void ReceiveRecorder::addBytesNow(const QByteArray &bytes)
{
    addBytes(bytes, QDateTime::currentMSecsSinceEpoch());
}

void ReceiveRecorder::addMarker(const QString &event, qint64 msecsSinceEpoch)
{
    if (!m_recording || m_format != Format::Text)
        return;
    // As the channel does on an open or a close, a lead byte held back is not joined across the event.
    m_decoder.reset();
    collect(m_stamper.marker(event, msecsSinceEpoch).toUtf8());
}

void ReceiveRecorder::addMarkerNow(const QString &event)
{
    addMarker(event, QDateTime::currentMSecsSinceEpoch());
}

// Only the writer's clock paces the writes: a line that keeps talking costs
// one wake-up of the writer a quarter second and none of this thread.
void ReceiveRecorder::collect(QByteArrayView bytes)
{
    // After a failed write nothing more reaches the file; stop() follows.
    if (bytes.isEmpty() || m_writeFailed)
        return;
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        // An idle writer waits for the first bytes; one that writes wakes
        // by its own clock, and only a full batch comes sooner.
        const bool first = m_collected.isEmpty();
        m_collected.append(bytes);
        wake = (first && m_writerIdle) || m_collected.size() >= kBatchBytes;
    }
    if (wake)
        m_wake.notify_one();
}

void ReceiveRecorder::writeBatches()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        // An idle line wakes nobody.
        m_writerIdle = true;
        m_wake.wait(lock, [this] { return m_closing || !m_collected.isEmpty(); });
        m_writerIdle = false;
        // While the line talks, one wake-up an interval writes what came
        // meanwhile; an interval that brought nothing makes the writer idle.
        for (;;) {
            m_wake.wait_for(lock, kFlushInterval,
                            [this] { return m_closing || m_collected.size() >= kBatchBytes; });
            if (m_collected.isEmpty()) {
                if (m_closing)
                    return;
                break;
            }
            const QByteArray batch = std::exchange(m_collected, QByteArray());
            lock.unlock();
            const bool written = writeWhole(batch);
            lock.lock();
            if (!written) {
                m_writeFailed = true;
                QMetaObject::invokeMethod(this, &ReceiveRecorder::onWriteFailed, Qt::QueuedConnection);
                return;
            }
        }
    }
}

// QFile reports a write the disk cut short as a short count with no reason;
// the write of the rest fails with the reason (EFBIG, ENOSPC) kept.
bool ReceiveRecorder::writeWhole(const QByteArray &batch)
{
    qint64 done = 0;
    while (done < batch.size()) {
        const qint64 written = m_file.write(batch.constData() + done, batch.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

void ReceiveRecorder::onWriteFailed()
{
    // stop() may have come first and told it already.
    if (m_recording && m_writeFailed)
        stop();
}
