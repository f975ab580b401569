#include "pacedreader.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace {

// An idle line loses its time: the reader may catch up by no more than this.
constexpr std::chrono::milliseconds kCatchUp{10};
constexpr int kBufferSize = 65536;

} // namespace

PacedReader::PacedReader(int fd, qint64 bytesPerSecond, bool keep)
    : m_fd(fd)
    , m_bytesPerSecond(bytesPerSecond)
    , m_keep(keep)
{
    if (::pipe(m_wakePipe) != 0)
        m_wakePipe[0] = m_wakePipe[1] = -1;
    m_thread = std::thread([this] { run(); });
}

PacedReader::~PacedReader()
{
    m_stop = true;
    if (m_wakePipe[1] >= 0)
        (void)!::write(m_wakePipe[1], "x", 1);
    m_thread.join();
    ::close(m_wakePipe[0]);
    ::close(m_wakePipe[1]);
}

QByteArray PacedReader::received() const
{
    std::lock_guard lock(m_mutex);
    return m_data;
}

bool PacedReader::waitFor(qint64 count, std::chrono::milliseconds timeout)
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

qint64 PacedReader::allowance(Clock::time_point &last, double &credit) const
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

void PacedReader::run()
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

void PacedReader::record(const char *bytes, qint64 size)
{
    if (m_keep) {
        std::lock_guard lock(m_mutex);
        m_data.append(bytes, size);
    }
    m_lastByteAt = Clock::now().time_since_epoch().count();
    m_count += size;
}
