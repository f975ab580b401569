// SPDX-License-Identifier: MIT
#include "serial/networkport.h"

#include "serial/lineerrors.h"

#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QTcpSocket>
#include <QThread>

#include <array>
#include <utility>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

Q_LOGGING_CATEGORY(lcNetworkPort, "tolvane.network")

namespace {

using namespace std::chrono;
using Codec = Rfc2217Codec;

constexpr qint64 kReadBufferSize = 256 * 1024;
constexpr qsizetype kMostReason = 200;
// The far line's margin before the final reset, beyond what was sent ahead.
constexpr milliseconds kResetMargin{100};
constexpr milliseconds kCloseMargin{2000};

// RFC 2217's codes for the line setting's letters and numbers.
std::uint8_t parityCode(char parity)
{
    switch (parity) {
    case 'o': return 2;
    case 'e': return 3;
    case 'm': return 4;
    case 's': return 5;
    default: return 1;
    }
}

std::uint8_t flowCode(int handshaking)
{
    switch (handshaking) {
    case 1: return 2;
    case 2:
    case 3: return 3;
    default: return 1;
    }
}

// NOTIFY-LINESTATE's error bits and their events, in code order.
constexpr std::array<std::pair<std::uint8_t, int>, 4> kLineStateEvents{{
    {0x10, commevent::kBreak}, {0x08, commevent::kFrame}, {0x02, commevent::kOverrun}, {0x04, commevent::kParity}}};
constexpr std::uint8_t kLineStateMask = 0x1e;
constexpr std::uint8_t kPurgeOutput = 2;
constexpr std::uint8_t kPurgeBoth = 3;

qint64 bytesPerSecond(const LineSettings &line)
{
    return line.baudRate / (1 + line.dataBits + (line.parity == 'n' ? 0 : 1) + line.stopBits);
}

QString describe(const Codec::Answer &answer)
{
    if (answer.command == Codec::SetBaudRate)
        return QString::number(Codec::baudRateOf(answer.value));
    return QString::number(answer.value.isEmpty() ? -1 : int(std::uint8_t(answer.value.at(0))));
}

QString settingName(std::uint8_t command)
{
    switch (command) {
    case Codec::SetBaudRate: return QStringLiteral("baud rate");
    case Codec::SetDataSize: return QStringLiteral("data bits");
    case Codec::SetParity: return QStringLiteral("parity (RFC 2217 code)");
    default: return QStringLiteral("stop bits");
    }
}

// Waits without the event loop, as a local port's drain does.
void sleepFor(nanoseconds time)
{
    if (time > nanoseconds(0))
        QThread::usleep(static_cast<unsigned long>(duration_cast<microseconds>(time).count()));
}

} // namespace

NetworkPort::NetworkPort(QObject *parent)
    : QObject(parent)
    , m_output([this](const QByteArray &bytes) { sendRaw(m_address.bytesOnly() ? bytes : Codec::escapeData(bytes)); })
{
    connect(&m_output, &PacedOutput::bytesWritten, this, &NetworkPort::bytesWritten);
    m_controlCheck.setSingleShot(true);
    m_controlCheck.setInterval(kControlTimeout);
    connect(&m_controlCheck, &QTimer::timeout, this, &NetworkPort::checkControls);
}

NetworkPort::~NetworkPort()
{
    if (m_socket)
        m_socket->disconnect(this);
}

bool NetworkPort::open(const NetworkAddress &address, const LineSettings &line, int handshaking, bool rts)
{
    m_address = address;
    m_codec = Codec();
    m_output.clear();
    m_output.setBytesPerSecond(bytesPerSecond(line));
    m_input.clear();
    m_note.clear();
    m_opening = true;
    const auto opened = [&] {
        if (!connectTo(address))
            return false;
        if (address.bytesOnly())
            return settleRaw();
        return setFarLine(line);
    }();
    m_opening = false;
    if (!opened) {
        abort();
        return false;
    }
    if (!address.bytesOnly())
        requestControls(handshaking, rts);
    // A port that was closed received nothing, as a local one drops what its tty kept.
    m_input.clear();
    m_errorString.clear();
    m_open = true;
    return true;
}

bool NetworkPort::connectTo(const NetworkAddress &address)
{
    m_socket = std::make_unique<QTcpSocket>();
    m_socket->setReadBufferSize(kReadBufferSize);
    connect(m_socket.get(), &QTcpSocket::readyRead, this, &NetworkPort::onReadyRead);
    connect(m_socket.get(), &QTcpSocket::disconnected, this, &NetworkPort::onDisconnected);
    connect(m_socket.get(), &QTcpSocket::errorOccurred, this, &NetworkPort::onDisconnected);
    m_readGate.setDevice(m_socket.get());
    m_socket->connectToHost(address.host, address.port);
    if (!m_socket->waitForConnected(int(kConnectTimeout.count())))
        return refuseClosed(m_socket->errorString());
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    setKeepAlive();
    return true;
}

// The kernel notices a silent peer, idle or writing; no timer of ours.
void NetworkPort::setKeepAlive()
{
    const int fd = int(m_socket->socketDescriptor());
    const auto set = [fd](int level, int name, int value) {
        (void)::setsockopt(fd, level, name, &value, sizeof value);
    };
    set(SOL_SOCKET, SO_KEEPALIVE, 1);
    set(IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdleSeconds);
    set(IPPROTO_TCP, TCP_KEEPINTVL, kKeepIntervalSeconds);
    set(IPPROTO_TCP, TCP_KEEPCNT, kKeepProbes);
    set(IPPROTO_TCP, TCP_USER_TIMEOUT, kUserTimeoutMs);
}

bool NetworkPort::settleRaw()
{
    const QDeadlineTimer settle(kRawSettle);
    while (!settle.hasExpired() && m_socket->state() == QAbstractSocket::ConnectedState)
        (void)m_socket->waitForReadyRead(int(qMax<qint64>(1, settle.remainingTime())));
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return refuseClosed(m_socket->errorString());
    return true;
}

bool NetworkPort::setFarLine(const LineSettings &line)
{
    m_expected = {{Codec::SetBaudRate, Codec::baudRateValue(std::uint32_t(line.baudRate))},
                  {Codec::SetDataSize, QByteArray(1, char(line.dataBits))},
                  {Codec::SetParity, QByteArray(1, char(parityCode(line.parity)))},
                  {Codec::SetStopSize, QByteArray(1, char(line.stopBits))}};
    m_mismatch.clear();
    // A server that refuses (ser2net: the port is in use) writes why and
    // closes at once. A greeting that crossed that would meet a closed
    // socket, and the reset that answers it discards the unread reason. A
    // telnet server speaks first anyway: its first bytes are awaited, briefly.
    if (m_socket->bytesAvailable() == 0)
        (void)m_socket->waitForReadyRead(int(kFirstWordWait.count()));
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return refuseClosed(m_socket->errorString());
    QByteArray request = m_codec.greeting();
    for (const Codec::Answer &setting : std::as_const(m_expected))
        request += Codec::command(setting.command, setting.value);
    request += Codec::command(Codec::SetLineStateMask, kLineStateMask);
    sendRaw(request);
    const QDeadlineTimer answered(kAnswerTimeout);
    while (!m_expected.isEmpty() && m_mismatch.isEmpty() && m_socket->state() == QAbstractSocket::ConnectedState
           && !answered.hasExpired())
        (void)m_socket->waitForReadyRead(int(qMax<qint64>(1, answered.remainingTime())));
    if (!m_mismatch.isEmpty())
        return refuse(m_mismatch);
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return refuseClosed(m_socket->errorString());
    if (!m_expected.isEmpty())
        return refuse(QStringLiteral("The server did not answer the line setting (is it an RFC 2217 server?)"));
    return true;
}

void NetworkPort::requestControls(int handshaking, bool rts)
{
    // DTR up as a local open raises it; RTS as asked.
    sendRaw(Codec::command(Codec::SetControl, flowCode(handshaking)) + Codec::command(Codec::SetControl, 8)
            + Codec::command(Codec::SetControl, rts ? 11 : 12));
    m_controlsUnanswered = 3;
    m_controlCheck.start();
}

void NetworkPort::checkControls()
{
    if (m_controlsUnanswered <= 0 || !m_open)
        return;
    m_note = QStringLiteral("%1:%2 did not answer %3 of 3 control requests (flow control, DTR, RTS) within %4 ms")
                 .arg(m_address.host)
                 .arg(m_address.port)
                 .arg(m_controlsUnanswered)
                 .arg(kControlTimeout.count());
    qCInfo(lcNetworkPort).noquote() << m_note;
}

bool NetworkPort::refuse(const QString &reason)
{
    m_errorString = reason;
    return false;
}

bool NetworkPort::refuseClosed(const QString &reason)
{
    // What the server wrote before closing is its reason (ser2net's "port
    // in use"); a line of it, as the box and the command line show one.
    // Qt may hold it still unread.
    onReadyRead();
    const QString told = QString::fromUtf8(m_input.first(qMin<qsizetype>(m_input.size(), kMostReason))).simplified();
    return refuse(told.isEmpty() ? reason : told);
}

void NetworkPort::onReadyRead()
{
    qint64 taken = 0;
    while (m_socket && m_input.size() < kMostInput && m_socket->bytesAvailable() > 0) {
        const QByteArray bytes = m_socket->read(kMostInput - m_input.size());
        taken += bytes.size();
        if (m_address.bytesOnly()) {
            m_input += bytes;
            continue;
        }
        m_codec.decode(bytes.constData(), bytes.size(), m_input);
        if (const QByteArray replies = m_codec.takeReplies(); !replies.isEmpty())
            sendRaw(replies);
        takeAnswers();
    }
    // Not while opening: answers and a refusal's reason are read as they come.
    if (m_open && taken > 0)
        m_readGate.rest(taken);
    if (m_open && !m_input.isEmpty())
        emit readyRead();
}

void NetworkPort::takeAnswers()
{
    for (const Codec::Answer &answer : m_codec.takeAnswers()) {
        if (answer.command == Codec::NotifyLineState && !answer.value.isEmpty()) {
            for (const auto &[bit, code] : kLineStateEvents) {
                if (std::uint8_t(answer.value.at(0)) & bit)
                    emit lineError(code);
            }
        } else if (answer.command == Codec::SetControl) {
            --m_controlsUnanswered;
        } else if (answer.command == Codec::PurgeData) {
            m_purgeAnswered = true;
        }
        for (qsizetype i = 0; i < m_expected.size(); ++i) {
            if (m_expected.at(i).command != answer.command)
                continue;
            if (m_expected.at(i).value != answer.value)
                m_mismatch = QStringLiteral("The server set the far port's %1 to %2 instead of %3")
                                 .arg(settingName(answer.command), describe(answer), describe(m_expected.at(i)));
            m_expected.removeAt(i);
            break;
        }
    }
}

void NetworkPort::onDisconnected()
{
    if (m_opening || !m_open || !m_socket || m_socket->state() == QAbstractSocket::ConnectedState)
        return;
    m_errorString = m_socket->errorString();
    abort();
    emit gone();
}

void NetworkPort::abort()
{
    m_open = false;
    m_controlCheck.stop();
    m_output.drop();
    if (!m_socket)
        return;
    m_readGate.setDevice(nullptr);
    m_socket->disconnect(this);
    m_socket->abort();
    // This may run inside the socket's own signal: it goes from the event loop.
    m_socket.release()->deleteLater();
}

qintptr NetworkPort::socketDescriptor() const
{
    return m_socket ? m_socket->socketDescriptor() : -1;
}

void NetworkPort::sendRaw(const QByteArray &bytes)
{
    // The connection may have gone inside a wait of ours.
    if (!m_socket)
        return;
    m_socket->write(bytes);
    // Writes what the kernel takes now, without waiting.
    m_socket->flush();
}

void NetworkPort::write(const QByteArray &bytes)
{
    if (m_open)
        m_output.write(bytes);
}

bool NetworkPort::push(milliseconds wait)
{
    return m_open && m_output.push(wait);
}

qint64 NetworkPort::bytesToWrite() const
{
    return m_open ? m_output.bytesToWrite() : 0;
}

void NetworkPort::dropOutput()
{
    m_output.drop();
}

QByteArray NetworkPort::readAll()
{
    QByteArray bytes = std::exchange(m_input, {});
    // What waits in the socket was held back by the bound; read on.
    if (m_socket && m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &NetworkPort::onReadyRead, Qt::QueuedConnection);
    return bytes;
}

void NetworkPort::close()
{
    if (!m_open)
        return;
    // Everything output took leaves at once; the far port's buffers carry it.
    m_output.sendAll();
    const QDeadlineTimer deadline(duration_cast<milliseconds>(m_output.aheadTime()) + kCloseMargin);
    while (m_socket && m_socket->bytesToWrite() > 0 && !deadline.hasExpired()
           && m_socket->waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime())))) {
    }
    if (!m_open)
        return; // lost meanwhile, and told
    // A server may drop what it still holds when its client goes.
    sleepFor(qMin(m_output.aheadTime(), deadline.remainingTimeAsDuration()));
    m_open = false;
    // Unread bytes would make the kernel reset the connection instead of closing it.
    (void)m_socket->readAll();
    m_socket->disconnectFromHost();
    abort();
}

void NetworkPort::reset(bool keepInput)
{
    if (!m_open)
        return;
    // As a local close lets queued bytes leave; before the purge, the far
    // line gets the time for what was sent ahead, and a margin.
    m_output.sendAll();
    (void)m_socket->waitForBytesWritten(0);
    sleepFor(m_output.aheadTime() + kResetMargin);
    m_output.clear();
    if (m_open && !m_address.bytesOnly()) {
        m_purgeAnswered = false;
        sendRaw(Codec::command(Codec::PurgeData, keepInput ? kPurgeOutput : kPurgeBoth));
        const QDeadlineTimer answered(kControlTimeout);
        while (m_open && !m_purgeAnswered && !answered.hasExpired())
            (void)m_socket->waitForReadyRead(int(qMax<qint64>(1, answered.remainingTime())));
        if (m_open && !m_purgeAnswered)
            qCInfo(lcNetworkPort).noquote() << QStringLiteral("%1:%2 did not answer the purge request")
                                                   .arg(m_address.host)
                                                   .arg(m_address.port);
    }
    if (!keepInput)
        m_input.clear();
}
