// SPDX-License-Identifier: MIT
#pragma once

#include "serial/linesettings.h"
#include "serial/networkaddress.h"
#include "serial/pacedoutput.h"
#include "serial/portreadgate.h"
#include "serial/rfc2217codec.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>

class QTcpSocket;

// A serial port on another machine, served by ser2net or the like, with
// the calls the serial channel needs from a port. Opening blocks until the
// far port is known to be ready; output is paced at the line rate.
class NetworkPort : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kConnectTimeout{5000};
    static constexpr std::chrono::milliseconds kAnswerTimeout{2000};
    // A raw TCP server that refuses closes at once; one still up after this has accepted.
    static constexpr std::chrono::milliseconds kRawSettle{300};
    // How long an RFC 2217 open waits for the server to speak first.
    static constexpr std::chrono::milliseconds kFirstWordWait{100};
    static constexpr std::chrono::milliseconds kControlTimeout{1000};
    // What the kernel's keepalive and user timeout are set to.
    static constexpr int kKeepIdleSeconds = 5;
    static constexpr int kKeepIntervalSeconds = 1;
    static constexpr int kKeepProbes = 5;
    static constexpr int kUserTimeoutMs = 10000;
    static constexpr qint64 kMostInput = 1024 * 1024;

    explicit NetworkPort(QObject *parent = nullptr);
    ~NetworkPort() override;

    // Connects and sets the far line (RFC 2217); false with errorString()
    // when refused, unanswered, or the server would not take the setting.
    [[nodiscard]] bool open(const NetworkAddress &address, const LineSettings &line, int handshaking, bool rts);
    bool isOpen() const { return m_open; }
    // Lets what output took leave, then disconnects.
    void close();
    // Disconnects at once, dropping what is unsent.
    void abort();
    // The download's close and reopen, keeping the connection: waits until
    // the far line has had the time for what was sent ahead plus a margin,
    // purges the far port's buffers (RFC 2217) and drops what was received;
    // keeping input, only the far port's output is purged and nothing dropped.
    void reset(bool keepInput);
    // Reading rests after each take as a local port's does.
    void setReadRest(std::chrono::milliseconds rest) { m_readGate.setPeriod(rest); }
    QString errorString() const { return m_errorString; }
    // Things the server did not answer; not failures.
    QString note() const { return m_note; }
    qintptr socketDescriptor() const;
    const NetworkAddress &address() const { return m_address; }

    void write(const QByteArray &bytes);
    // Sends what the pace allows, waiting up to wait for room; true when it sent.
    bool push(std::chrono::milliseconds wait);
    // Unsent bytes plus those sent ahead of the far line.
    qint64 bytesToWrite() const;
    void dropOutput();
    qint64 bytesAvailable() const { return m_input.size(); }
    QByteArray readAll();
    void dropInput() { m_input.clear(); }

signals:
    void readyRead();
    void lineError(int code);
    // The connection went away while open; the port has closed itself.
    void gone();
    void bytesWritten(qint64 bytes);

private:
    [[nodiscard]] bool connectTo(const NetworkAddress &address);
    [[nodiscard]] bool settleRaw();
    [[nodiscard]] bool setFarLine(const LineSettings &line);
    void requestControls(int handshaking, bool rts);
    [[nodiscard]] bool refuse(const QString &reason);
    // The server closed the connection while the open was under way.
    [[nodiscard]] bool refuseClosed(const QString &reason);
    void setKeepAlive();
    void onReadyRead();
    void takeAnswers();
    void onDisconnected();
    void sendRaw(const QByteArray &bytes);
    void checkControls();

    std::unique_ptr<QTcpSocket> m_socket;
    NetworkAddress m_address;
    Rfc2217Codec m_codec;
    QByteArray m_input;
    // The far line's setting still to be confirmed: command code to value.
    QList<Rfc2217Codec::Answer> m_expected;
    QString m_mismatch;
    int m_controlsUnanswered = 0;
    bool m_purgeAnswered = false;
    bool m_open = false;
    bool m_opening = false;
    QString m_errorString;
    QString m_note;
    QTimer m_controlCheck;
    PortReadGate m_readGate;
    // Last: its sends go through the socket above.
    PacedOutput m_output;
};
