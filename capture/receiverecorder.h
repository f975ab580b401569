// SPDX-License-Identifier: MIT
#pragma once

#include "capture/recordlines.h"
#include "serial/cp932codec.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// Records what is read from the port to a file: the raw bytes, or the text
// decoded as the box decodes it with each line's arrival time and marker
// lines for port and download events. Data is collected here and written
// by a thread of its own, so a slow or throttled disk never holds up a read;
// a write that fails ends the recording and says why.
class ReceiveRecorder : public QObject
{
    Q_OBJECT

public:
    enum class Format { Binary, Text };

    explicit ReceiveRecorder(QObject *parent = nullptr);
    ~ReceiveRecorder() override;

    [[nodiscard]] bool start(const QString &path, Format format);
    // Writes what is still collected and closes the file; on return it is complete.
    void stop();
    bool isRecording() const { return m_recording; }
    Format format() const { return m_format; }
    QString fileName() const { return m_file.fileName(); }
    QString errorString() const { return m_errorString; }

    void addBytes(QByteArrayView bytes, qint64 msecsSinceEpoch);
    void addBytesNow(const QByteArray &bytes);
    // Text recordings only; a raw recording holds the port's bytes alone.
    void addMarker(const QString &event, qint64 msecsSinceEpoch);
    void addMarkerNow(const QString &event);

signals:
    void recordingChanged(bool recording);
    // The recording stopped because a write failed; what was written stays.
    void failed(const QString &reason);

private:
    void collect(QByteArrayView bytes);
    void writeBatches();
    bool writeWhole(const QByteArray &batch);
    void onWriteFailed();
    void finish();

    QFile m_file;
    Format m_format = Format::Binary;
    bool m_recording = false;
    Cp932Decoder m_decoder;
    recordlines::LineStamper m_stamper;
    QString m_errorString;

    // Shared with the writing thread.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    QByteArray m_collected;
    bool m_closing = false;
    // The writer sleeps until bytes come, rather than till its next write.
    bool m_writerIdle = false;
    std::atomic<bool> m_writeFailed = false;
    std::thread m_writer;
};
