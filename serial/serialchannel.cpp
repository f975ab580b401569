// SPDX-License-Identifier: MIT
#include "serial/serialchannel.h"

#include "serial/linesettings.h"
#include "serial/networkaddress.h"
#include "serial/networkport.h"
#include "serial/portlocator.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QThread>

#include <chrono>
#include <utility>

#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Time a close may spend beyond what the queued bytes need at line rate,
// so that a stuck or vanished device cannot hang the program.
constexpr std::chrono::milliseconds kDrainMargin{2000};
constexpr std::chrono::milliseconds kDrainPoll{2};

int bitsPerCharacter(const LineSettings &line)
{
    return 1 + line.dataBits + (line.parity == 'n' ? 0 : 1) + line.stopBits;
}

QSerialPort::Parity toQtParity(char parity)
{
    switch (parity) {
    case 'e': return QSerialPort::EvenParity;
    case 'o': return QSerialPort::OddParity;
    case 'm': return QSerialPort::MarkParity;
    case 's': return QSerialPort::SpaceParity;
    default: return QSerialPort::NoParity;
    }
}

QSerialPort::FlowControl toQtFlowControl(int handshaking)
{
    switch (handshaking) {
    case 1: return QSerialPort::SoftwareControl;
    case 2:
    case 3: return QSerialPort::HardwareControl;
    default: return QSerialPort::NoFlowControl;
    }
}

qint64 kernelQueue(int fd, unsigned long request)
{
    int count = 0;
    if (fd < 0 || ::ioctl(fd, request, &count) != 0)
        return 0;
    return count;
}

} // namespace

SerialChannel::SerialChannel(QObject *parent)
    : QObject(parent)
    , m_port(std::make_unique<QSerialPort>())
{
    m_readGate.setDevice(m_port.get());
    m_readGate.setTakeWaiting([this] { return takeRested(); });
    connect(m_port.get(), &QSerialPort::readyRead, this, &SerialChannel::onReadyRead);
    connect(m_port.get(), &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { onPortError(int(error)); });
    connect(m_port.get(), &QSerialPort::bytesWritten, this, &SerialChannel::bytesWritten);
    // However the port comes to close, no thread reads its descriptor after.
    connect(m_port.get(), &QIODevice::aboutToClose, this, [this] { endFlood(FloodBytes::Drop); });
    m_dispatchTimer.setSingleShot(true);
    m_dispatchTimer.setInterval(0);
    connect(&m_dispatchTimer, &QTimer::timeout, this, &SerialChannel::dispatchEvents);
}

SerialChannel::~SerialChannel()
{
    // Those who listen may be half destroyed already, as the window is.
    blockSignals(true);
    if (portOpen())
        closePort();
}

void SerialChannel::setCommPort(int port)
{
    m_commPort = port;
}

QString SerialChannel::devicePath() const
{
    return m_devicePath.isEmpty() ? portlocator::devicePathForPort(m_commPort) : m_devicePath;
}

bool SerialChannel::setSettings(const QString &settings)
{
    if (!parseLineSettings(settings))
        return false;
    m_settings = settings;
    return true;
}

void SerialChannel::setHandshaking(int handshaking)
{
    m_handshaking = handshaking;
}

void SerialChannel::setRtsEnable(bool enable)
{
    m_rtsEnable = enable;
}

bool SerialChannel::portOpen() const
{
    if (const NetworkPort *net = network())
        return net->isOpen();
    return m_port->isOpen();
}

bool SerialChannel::setPortOpen(bool open)
{
    if (open == portOpen())
        return true;
    if (open)
        return openPort();
    closePort();
    return true;
}

bool SerialChannel::reopen(bool keepInput)
{
    endFlood(FloodBytes::Keep);
    const QByteArray kept = keepInput ? takeAllWaiting() : QByteArray();
    if (portOpen())
        closePort();
    if (!openPort(keepInput))
        return false;
    m_readAhead = kept + m_readAhead;
    // Nothing may announce what was kept: a reader learns of it here.
    if (keepInput)
        postCommEvent(commevent::kReceive);
    return true;
}

bool SerialChannel::openPort(bool keepInput)
{
    const std::optional<LineSettings> line = parseLineSettings(m_settings);
    if (!line) {
        m_errorString = QStringLiteral("Invalid line setting \"%1\"").arg(m_settings);
        return false;
    }
    if (NetworkAddress::hasScheme(devicePath()))
        return openNetwork(devicePath(), *line);
    m_port->setPortName(devicePath());
    m_port->setBaudRate(line->baudRate);
    m_port->setDataBits(QSerialPort::DataBits(line->dataBits));
    m_port->setParity(toQtParity(line->parity));
    m_port->setStopBits(line->stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    m_port->setFlowControl(toQtFlowControl(m_handshaking));

    // QSerialPort opens raw and exclusive: a lock file plus TIOCEXCL.
    if (!m_port->open(QIODevice::ReadWrite)) {
        m_errorString = m_port->error() == QSerialPort::PermissionError
                                && m_port->errorString().contains(QLatin1String("lock"))
                            ? QStringLiteral("Device or resource busy (another program is using it)")
                            : m_port->errorString();
        return false;
    }
    m_errorString.clear();
    // Pseudo-terminals and some adapters have no RTS line; that is not a failure.
    (void)m_port->setRequestToSend(m_rtsEnable);
    m_port->clearError();
    // A port that was closed received nothing: drop what the tty kept meanwhile.
    if (!keepInput)
        ::tcflush(int(m_port->handle()), TCIFLUSH);
    m_decoder.reset();
    m_lineCounters = readLineErrorCounters(int(m_port->handle()));
    emit portOpenChanged(true);
    return true;
}

void SerialChannel::closePort()
{
    drainOutput();
    closeWithoutDrain();
}

void SerialChannel::closeWithoutDrain()
{
    endFlood(FloodBytes::Drop);
    m_readGate.stop();
    if (std::exchange(m_onNetwork, false))
        m_networkPort->abort();
    else
        m_port->close();
    m_readAhead.clear();
    m_decoder.reset();
    m_lineCounters.reset();
    m_pendingEvents.clear();
    emit portOpenChanged(false);
}

void SerialChannel::drainOutput()
{
    if (NetworkPort *net = network())
        return net->close();
    const std::optional<LineSettings> line = parseLineSettings(m_settings);
    const qint64 bytesPerSecond = line ? line->baudRate / bitsPerCharacter(*line) : 11520;
    const auto lineTime = std::chrono::milliseconds(outBufferCount() * 1000 / qMax<qint64>(1, bytesPerSecond));
    QDeadlineTimer deadline(lineTime + kDrainMargin);

    while (m_port->bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!m_port->waitForBytesWritten(int(deadline.remainingTime())) && deviceGone())
            break;
    }
    const int fd = int(m_port->handle());
    // tcdrain() has no timeout, so wait for the kernel's queue by polling
    // first; a pseudo-terminal reports nothing queued and passes at once.
    while (kernelQueue(fd, TIOCOUTQ) > 0 && !deadline.hasExpired())
        QThread::msleep(static_cast<unsigned long>(kDrainPoll.count()));
    if (deadline.hasExpired())
        ::tcflush(fd, TCOFLUSH); // otherwise close() itself would wait up to 30 s
    else
        ::tcdrain(fd);
}

bool SerialChannel::deviceGone() const
{
    termios attributes{};
    return m_port->isOpen() && ::tcgetattr(int(m_port->handle()), &attributes) != 0
           && (errno == EIO || errno == ENXIO || errno == ENODEV || errno == EBADF);
}

qint64 SerialChannel::inBufferCount() const
{
    if (!portOpen())
        return 0;
    if (const NetworkPort *net = network())
        return net->bytesAvailable();
    return m_readAhead.size() + m_port->bytesAvailable() + m_flood.buffered()
           + kernelQueue(int(m_port->handle()), FIONREAD);
}

void SerialChannel::setInBufferCount(qint64 count)
{
    if (count != 0 || !portOpen())
        return;
    if (NetworkPort *net = network()) {
        net->dropInput();
    } else {
        endFlood(FloodBytes::Drop);
        m_port->clear(QSerialPort::Input);
    }
    m_readAhead.clear();
    m_decoder.reset();
}

qint64 SerialChannel::outBufferCount() const
{
    if (!portOpen())
        return 0;
    if (const NetworkPort *net = network())
        return net->bytesToWrite();
    return m_port->bytesToWrite() + kernelQueue(int(m_port->handle()), TIOCOUTQ);
}

void SerialChannel::setOutBufferCount(qint64 count)
{
    if (count != 0 || !portOpen())
        return;
    if (NetworkPort *net = network())
        return net->dropOutput();
    // A pseudo-terminal's kernel queue reads 0 while up to ~18 KiB still wait
    // for the far side, and a flush would throw them away. Flush only when
    // something is known to be unsent.
    if (m_port->bytesToWrite() > 0 || kernelQueue(int(m_port->handle()), TIOCOUTQ) > 0)
        m_port->clear(QSerialPort::Output);
}

void SerialChannel::output(const QString &text)
{
    output(encodeCp932(text));
}

void SerialChannel::output(const QByteArray &bytes)
{
    if (!portOpen())
        return;
    if (NetworkPort *net = network())
        net->write(bytes);
    else
        m_port->write(bytes);
    emit outputTaken(bytes);
}

bool SerialChannel::pushOutput(std::chrono::milliseconds wait)
{
    if (NetworkPort *net = network())
        return net->push(wait);
    bool wrote = false;
    int timeout = int(qMax<qint64>(0, wait.count()));
    while (portOpen() && m_port->bytesToWrite() > 0) {
        // A write without room would fail with EAGAIN, which QSerialPort reports as a resource error.
        pollfd room{int(m_port->handle()), POLLOUT, 0};
        if (::poll(&room, 1, timeout) != 1 || room.revents != POLLOUT)
            break;
        // flush() writes one piece of QSerialPort's queue without blocking.
        if (!m_port->flush())
            break;
        wrote = true;
        timeout = 0;
    }
    return wrote;
}

SerialChannel::Input SerialChannel::input()
{
    QByteArray bytes = takeAllWaiting();
    if (!bytes.isEmpty())
        emit inputTaken(bytes);
    if (m_inputMode == InputMode::Binary)
        return bytes;
    return m_decoder.decode(bytes);
}

QByteArray SerialChannel::inputTextBytes()
{
    QByteArray bytes = takeAllWaiting();
    if (bytes.isEmpty())
        return bytes;
    emit inputTaken(bytes);
    return m_decoder.complete(std::move(bytes));
}

QByteArray SerialChannel::takeAllWaiting()
{
    if (!portOpen())
        return {};
    if (NetworkPort *net = network())
        return net->readAll();
    QByteArray bytes = std::exchange(m_readAhead, {});
    takePortBuffer(bytes);
    // The flood reader owns the descriptor while it runs.
    if (m_flood.running())
        return bytes + m_flood.take();
    // QSerialPort reads the tty only when notified; take what the kernel
    // already holds too, so that input() returns everything waiting.
    const int fd = int(m_port->handle());
    const qint64 inKernel = kernelQueue(fd, FIONREAD);
    if (inKernel > 0) {
        const qsizetype had = bytes.size();
        bytes.resize(had + inKernel);
        const ssize_t got = ::read(fd, bytes.data() + had, size_t(inKernel));
        bytes.resize(had + qMax<ssize_t>(0, got));
    }
    return bytes;
}

void SerialChannel::postCommEvent(int code)
{
    if (code == commevent::kReceive && m_pendingEvents.contains(code))
        return;
    m_pendingEvents.append(code);
    scheduleDispatch();
}

void SerialChannel::holdEvents(bool hold)
{
    m_eventsHeld = hold;
    if (!hold && !m_pendingEvents.isEmpty())
        scheduleDispatch();
}

void SerialChannel::scheduleDispatch()
{
    if (!m_dispatchingNow && !m_dispatchTimer.isActive())
        m_dispatchTimer.start();
}

void SerialChannel::dispatchEvents()
{
    while (!m_eventsHeld && !m_pendingEvents.isEmpty()) {
        const int code = m_pendingEvents.takeFirst();
        // What is read already first: asking the kernel costs a call.
        if (code == commevent::kReceive && m_readAhead.isEmpty() && inBufferCount() == 0)
            continue;
        // A handler may open a message box. The events behind this one must
        // still be delivered from the box's event loop, by a fresh dispatch
        // that takes them from the same queue.
        if (!m_pendingEvents.isEmpty())
            scheduleDispatch();
        m_commEvent = code;
        emit onComm();
    }
}

// What QSerialPort read on its notifier's wake-up. Reading from it turns
// that notifier on again, and resting turns it off: two changes to the
// event loop's descriptors, each waking it once more, so an empty buffer
// is not read at all.
void SerialChannel::takePortBuffer(QByteArray &into)
{
    if (m_port->bytesAvailable() == 0)
        return;
    into += m_port->readAll();
    m_readGate.keepResting();
}

// A tty hands over a few KiB a read, and QSerialPort reads once a wake-up.
// Under a flood, keep reading while the kernel has more, so that one turn of
// the event loop and one event carry many reads. Bounded, so the window
// still paints.
qsizetype SerialChannel::readAhead()
{
    constexpr qsizetype kPiece = 64 * 1024;
    constexpr qsizetype kMost = 256 * 1024;
    const qsizetype before = m_readAhead.size();
    takePortBuffer(m_readAhead);
    const int fd = int(m_port->handle());
    while (m_readAhead.size() < kMost) {
        const qsizetype had = m_readAhead.size();
        m_readAhead.resize(had + kPiece);
        const ssize_t got = ::read(fd, m_readAhead.data() + had, size_t(kPiece));
        m_readAhead.resize(had + qMax<ssize_t>(0, got));
        if (got <= 0)
            break;
    }
    return m_readAhead.size() - before;
}

void SerialChannel::checkLineCounters()
{
    if (!m_lineCounters)
        return;
    if (const auto now = readLineErrorCounters(int(m_port->handle()))) {
        for (const int code : lineErrorEvents(*m_lineCounters, *now))
            postCommEvent(code);
        m_lineCounters = now;
    }
}

void SerialChannel::onReadyRead()
{
    tookBytes(readAhead());
}

bool SerialChannel::takeRested()
{
    // The gate asks only for the open local port, never while the flood reader holds it.
    const qsizetype read = readAhead();
    if (read == 0)
        return false;
    // Outside QSerialPort's own signal the events may be raised at once:
    // a turn of the event loop sooner, and no timer started and stopped a take.
    m_dispatchingNow = true;
    tookBytes(read);
    m_dispatchingNow = false;
    m_dispatchTimer.stop();
    dispatchEvents();
    return true;
}

void SerialChannel::tookBytes(qsizetype read)
{
    // A tty holds a few KiB: a turn that read this much met a sender far
    // faster than any serial line, and reading goes to a thread of its own.
    constexpr qsizetype kFlood = 128 * 1024;
    checkLineCounters();
    postCommEvent(commevent::kReceive);
    if (read >= kFlood) {
        m_readGate.hold(true);
        m_flood.start(int(m_port->handle()));
        return;
    }
    m_readGate.rest(m_readAhead.size());
}

void SerialChannel::onFloodNews()
{
    if (!m_flood.running() || !portOpen() || network())
        return;
    if (m_flood.ended())
        endFlood(FloodBytes::Keep);
    checkLineCounters();
    postCommEvent(commevent::kReceive);
}

void SerialChannel::endFlood(FloodBytes what)
{
    if (!m_flood.running())
        return;
    m_flood.stop();
    const QByteArray rest = m_flood.take();
    if (what == FloodBytes::Keep)
        m_readAhead += rest;
    // Bytes that came after the thread's last read wake the notifier at once.
    m_readGate.hold(false);
}

void SerialChannel::onPortError(int error)
{
    const auto kind = QSerialPort::SerialPortError(error);
    if (!portOpen()
        || (kind != QSerialPort::ResourceError && kind != QSerialPort::ReadError
            && kind != QSerialPort::WriteError))
        return;
    if (!deviceGone()) {
        // input() empties the tty itself, so a read notification already on
        // its way can find nothing there: QSerialPort takes that EAGAIN for a
        // resource error and stops its read notifications. The device is
        // fine; start them again (setReadBufferSize restarts reading).
        if (kind == QSerialPort::ResourceError)
            m_port->setReadBufferSize(m_port->readBufferSize());
        return;
    }
    // Closing inside QSerialPort's own notification would delete the
    // notifier that is calling us; finish the job from the event loop.
    QMetaObject::invokeMethod(this, &SerialChannel::closeVanished, Qt::QueuedConnection);
}

bool SerialChannel::reconnect(const QString &device)
{
    if (portOpen() || !openPort())
        return false;
    emit reconnected(device);
    return true;
}

void SerialChannel::dropVanishedDevice()
{
    QMetaObject::invokeMethod(this, &SerialChannel::closeVanished, Qt::QueuedConnection);
}

void SerialChannel::closeVanished()
{
    if (!portOpen())
        return;
    m_errorString = m_port->errorString();
    closeWithoutDrain();
    emit disconnected();
}
