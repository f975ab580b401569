// SPDX-License-Identifier: MIT
#pragma once

#include "serial/cp932codec.h"
#include "serial/floodreader.h"
#include "serial/lineerrors.h"
#include "serial/portreadgate.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>
#include <variant>

class NetworkPort;
struct LineSettings;
class QSerialPort;

// The program's one serial port: number, line setting, open state, the two
// queues, text or binary input, and an OnComm event for whatever happened.
// A device path of rfc2217:// or socket:// is a port on another machine.
// Everything runs on the user-interface thread; events are raised from the
// event loop only, never from inside a call of ours.
class SerialChannel : public QObject
{
    Q_OBJECT

public:
    enum class InputMode { Text = 0, Binary = 1 };
    using Input = std::variant<QString, QByteArray>;

    explicit SerialChannel(QObject *parent = nullptr);
    ~SerialChannel() override;

    int commPort() const { return m_commPort; }
    void setCommPort(int port);
    QString devicePath() const;
    // A device path that stands in for the port number's (the command line's --port /dev/...).
    void setDevicePath(const QString &device) { m_devicePath = device; }

    QString settings() const { return m_settings; }
    [[nodiscard]] bool setSettings(const QString &settings);
    int handshaking() const { return m_handshaking; }
    void setHandshaking(int handshaking);
    bool rtsEnable() const { return m_rtsEnable; }
    void setRtsEnable(bool enable);
    int rThreshold() const { return m_rThreshold; }
    void setRThreshold(int threshold) { m_rThreshold = threshold; }
    int sThreshold() const { return m_sThreshold; }
    void setSThreshold(int threshold) { m_sThreshold = threshold; }

    bool portOpen() const;
    // Opens or closes; true when the port ends in the state asked for.
    // Closing first lets every byte already handed to output() leave.
    bool setPortOpen(bool open);
    // Closes and opens again. Keeping input, what came before the close and
    // what the tty kept while closed stay to be read; otherwise both go.
    [[nodiscard]] bool reopen(bool keepInput);
    QString errorString() const { return m_errorString; }
    // Opens again after a loss, once the device is back, and says so.
    [[nodiscard]] bool reconnect(const QString &device);
    // The device's node went away while open: closes as a failed read would.
    void dropVanishedDevice();
    // A download's close and reopen: a local port is reopened; a network
    // port keeps its connection and purges the far port's buffers instead
    // (only its output when input is kept). False when left closed.
    [[nodiscard]] bool resetPort(bool keepInput = false);

    InputMode inputMode() const { return m_inputMode; }
    void setInputMode(InputMode mode) { m_inputMode = mode; }
    qint64 inBufferCount() const;
    void setInBufferCount(qint64 count);
    qint64 outBufferCount() const;
    void setOutBufferCount(qint64 count);
    int commEvent() const { return m_commEvent; }

    void output(const QString &text);
    void output(const QByteArray &bytes);
    // Hands queued output to the driver while it has room, after waiting up
    // to wait for room, without a turn of the event loop in between: a sender
    // that keeps the queue full writes as soon as the line takes more. False
    // when nothing was written (time up, nothing queued, hang-up or error).
    bool pushOutput(std::chrono::milliseconds wait);
    Input input();
    // Text input still encoded: the CP932 bytes of the whole characters that
    // input() would decode in text mode, for a reader that keeps bytes and
    // decodes only what it shows. A lead byte at the end waits for the next read.
    QByteArray inputTextBytes();
    // The next text read starts without a byte held back from the last one.
    void resetTextDecoder() { m_decoder.reset(); }
    // After data is taken, the line is not read again for this long (0: at
    // once), so that a trickle is taken once a frame rather than once a write.
    void setReadRest(std::chrono::milliseconds rest);

    // Raises OnComm with this code through the same queue as the port's own
    // events (line errors of drivers the kernel cannot count, and tests).
    void postCommEvent(int code);
    // While held, OnComm events wait in the queue instead of being raised
    // (a transfer that keeps the event loop turning must not have received
    // data handled meanwhile); releasing raises what is still waiting.
    void holdEvents(bool hold);

signals:
    void onComm();
    // The port opened or closed, whoever asked and however it happened.
    void portOpenChanged(bool open);
    // The device went away while open; the channel has closed itself.
    void disconnected();
    // The port opened again by itself on the device that was lost.
    void reconnected(const QString &device);
    // Every output() call, with the bytes it took.
    void outputTaken(const QByteArray &bytes);
    // Some queued bytes went from the channel's queue to the kernel's.
    void bytesWritten(qint64 bytes);
    // Every byte input() took from the port, before any decoding, in order.
    void inputTaken(const QByteArray &bytes);

private:
    void onReadyRead();
    // The bytes that came while reading rested, taken as it ends; whether there were any.
    bool takeRested();
    void tookBytes(qsizetype read);
    void onPortError(int error);
    void scheduleDispatch();
    void dispatchEvents();
    [[nodiscard]] bool openPort(bool keepInput = false);
    void closePort();
    void closeWithoutDrain();
    void closeVanished();
    void drainOutput();
    bool deviceGone() const;
    QByteArray takeAllWaiting();
    void takePortBuffer(QByteArray &into);
    qsizetype readAhead();
    void checkLineCounters();
    void onFloodNews();
    // The flood reader's thread is joined: its bytes kept for the next take, or dropped.
    enum class FloodBytes { Keep, Drop };
    void endFlood(FloodBytes what);

    NetworkPort *network() const { return m_onNetwork ? m_networkPort : nullptr; }
    [[nodiscard]] bool openNetwork(const QString &name, const LineSettings &line);
    void onNetworkGone();

    std::unique_ptr<QSerialPort> m_port;
    // Made at the first network open; in use while m_onNetwork.
    NetworkPort *m_networkPort = nullptr;
    bool m_onNetwork = false;
    PortReadGate m_readGate;
    Cp932Decoder m_decoder;
    // QSerialPort's buffer and what was read after it, in line order; older
    // than anything QSerialPort reads later, so it is taken first.
    QByteArray m_readAhead;
    // Reads a flood beside the event loop; its bytes come after all the others.
    FloodReader m_flood{[this] { QMetaObject::invokeMethod(this, &SerialChannel::onFloodNews, Qt::QueuedConnection); }};
    std::optional<LineErrorCounters> m_lineCounters;
    QList<int> m_pendingEvents;
    // A timer rather than a posted call: it needs no wake-up of the event
    // loop, which a flood of reads would otherwise pay once per read.
    QTimer m_dispatchTimer;
    // Events posted now are raised before this turn ends: no timer for them.
    bool m_dispatchingNow = false;
    bool m_eventsHeld = false;

    int m_commPort = 1;
    QString m_settings;
    int m_handshaking = 0;
    bool m_rtsEnable = false;
    int m_rThreshold = 0;
    int m_sThreshold = 0;
    InputMode m_inputMode = InputMode::Text;
    int m_commEvent = 0;
    QString m_errorString;
    QString m_devicePath;
};
