// SPDX-License-Identifier: MIT
#include "ptypair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace {

// An idle line loses its time: the reader may catch up by no more than this.
constexpr std::chrono::milliseconds kCatchUp{10};
constexpr int kBufferSize = 65536;

} // namespace

PtyPair::PtyPair(const QString &portDir, int port)
{
    char name[128] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    // Non-blocking, so that write() can keep the Qt event loop turning while
    // the program's side makes room.
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);

    // Echo off so that nothing written while the program has the port closed
    // comes back; the rest stays cooked, far from the raw 8N1 the program must set.
    termios attributes{};
    ::tcgetattr(m_slave, &attributes);
    attributes.c_lflag &= ~tcflag_t(ECHO | ECHONL | ECHOE | ECHOK);
    attributes.c_cflag |= PARENB;
    ::cfsetspeed(&attributes, B9600);
    ::tcsetattr(m_slave, TCSANOW, &attributes);

    QDir().mkpath(portDir);
    m_linkPath = QDir(portDir).filePath(QStringLiteral("com%1").arg(port));
    QFile::remove(m_linkPath);
    QFile::link(m_slavePath, m_linkPath);
}

PtyPair::~PtyPair()
{
    closeMaster();
    if (m_slave >= 0)
        ::close(m_slave);
    if (QFile::symLinkTarget(m_linkPath) == m_slavePath)
        QFile::remove(m_linkPath);
}

termios PtyPair::lineSettings() const
{
    termios attributes{};
    ::tcgetattr(m_master, &attributes);
    return attributes;
}

bool PtyPair::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (written > 0) {
            done += written;
        } else if (errno == EAGAIN) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            pollfd room{m_master, POLLOUT, 0};
            ::poll(&room, 1, 5);
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

void PtyPair::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

PtyReader::PtyReader(int fd, qint64 bytesPerSecond, bool keep)
    : m_fd(fd)
    , m_bytesPerSecond(bytesPerSecond)
    , m_keep(keep)
{
    if (::pipe(m_wakePipe) != 0)
        m_wakePipe[0] = m_wakePipe[1] = -1;
    m_thread = std::thread([this] { run(); });
}

PtyReader::~PtyReader()
{
    m_stop = true;
    if (m_wakePipe[1] >= 0)
        (void)!::write(m_wakePipe[1], "x", 1);
    m_thread.join();
    ::close(m_wakePipe[0]);
    ::close(m_wakePipe[1]);
}

QByteArray PtyReader::received() const
{
    std::lock_guard lock(m_mutex);
    return m_data;
}

bool PtyReader::waitFor(qint64 count, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    while (m_count < count) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

qint64 PtyReader::allowance(Clock::time_point &last, double &credit) const
{
    if (m_bytesPerSecond <= 0)
        return kBufferSize;
    const Clock::time_point now = Clock::now();
    // The line starts with the first byte; time before it is not the program's.
    if (m_count == 0) {
        last = now;
        credit = 1;
        return 1;
    }
    const double cap = qMax(1.0, double(m_bytesPerSecond) * std::chrono::duration<double>(kCatchUp).count());
    credit = qMin(cap, credit + double(m_bytesPerSecond) * std::chrono::duration<double>(now - last).count());
    last = now;
    return qMin<qint64>(kBufferSize, qint64(credit));
}

void PtyReader::run()
{
    QByteArray buffer(kBufferSize, Qt::Uninitialized);
    Clock::time_point last = Clock::now();
    double credit = 0;
    while (!m_stop) {
        const qint64 want = allowance(last, credit);
        // Without credit, only wait for the stop or the next byte's time.
        pollfd fds[2] = {{m_wakePipe[0], POLLIN, 0}, {m_fd, short(want > 0 ? POLLIN : 0), 0}};
        if (::poll(fds, 2, m_bytesPerSecond > 0 ? 1 : -1) < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;
        if (fds[1].revents & POLLIN) {
            const ssize_t got = ::read(m_fd, buffer.data(), size_t(want));
            if (got > 0) {
                credit -= double(got);
                record(buffer.constData(), got);
            }
        } else if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // The program's side is closed for the moment; look again shortly.
            QThread::msleep(5);
        }
    }
}

void PtyReader::record(const char *bytes, qint64 size)
{
    if (m_keep) {
        std::lock_guard lock(m_mutex);
        m_data.append(bytes, size);
    }
    m_lastByteAt = Clock::now().time_since_epoch().count();
    m_count += size;
}

void PtyReader::clear()
{
    std::lock_guard lock(m_mutex);
    m_data.clear();
    m_count = 0;
}

void PtyReader::settle(std::chrono::milliseconds quiet)
{
    qint64 last = -1;
    QDeadlineTimer still(quiet);
    while (!still.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
        if (m_count != last) {
            last = m_count;
            still.setRemainingTime(quiet);
        }
    }
}
