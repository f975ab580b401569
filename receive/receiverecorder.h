#pragma once

#include "receive/recordlines.h"
#include "serial/cp932codec.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QObject>
#include <QTimer>

// Records what is read from the port to a file: the raw bytes, or the text
// decoded as the box decodes it with each line's arrival time and marker
// lines for port and download events. Data is collected in memory and
// written in batches from the event loop, so a slow disk never holds up a
// read; a write that fails ends the recording and says why.
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
    bool isRecording() const { return m_file.isOpen(); }
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
    bool flush();
    void onFlushTimer();
    void fail();

    QFile m_file;
    Format m_format = Format::Binary;
    QByteArray m_pending;
    QTimer m_flushTimer;
    Cp932Decoder m_decoder;
    recordlines::LineStamper m_stamper;
    QString m_errorString;
};
