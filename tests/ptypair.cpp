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

PtyReader::PtyReader(int fd)
    : m_fd(fd)
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

void PtyReader::run()
{
    char buffer[65536];
    while (!m_stop) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
        if (fds[0].revents & POLLIN) {
            const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
            if (got > 0) {
                std::lock_guard lock(m_mutex);
                m_data.append(buffer, got);
            }
        } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // The program's side is closed for the moment; look again shortly.
            QThread::msleep(5);
        }
    }
}

QByteArray PtyReader::received() const
{
    std::lock_guard lock(m_mutex);
    return m_data;
}

qsizetype PtyReader::size() const
{
    std::lock_guard lock(m_mutex);
    return m_data.size();
}

void PtyReader::clear()
{
    std::lock_guard lock(m_mutex);
    m_data.clear();
}

bool PtyReader::waitFor(qsizetype count, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    while (size() < count) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

void PtyReader::settle(std::chrono::milliseconds quiet)
{
    qsizetype last = -1;
    QDeadlineTimer still(quiet);
    while (!still.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
        if (size() != last) {
            last = size();
            still.setRemainingTime(quiet);
        }
    }
}
