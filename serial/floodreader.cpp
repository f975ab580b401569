// SPDX-License-Identifier: MIT
#include "serial/floodreader.h"

#include <cerrno>
#include <utility>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

FloodReader::FloodReader(std::function<void()> news)
    : m_news(std::move(news))
    , m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

FloodReader::~FloodReader()
{
    stop();
    if (m_wake >= 0)
        ::close(m_wake);
}

void FloodReader::start(int fd)
{
    if (running() || m_wake < 0)
        return;
    m_stopping = false;
    m_ended = false;
    m_announced = false;
    m_thread = std::thread(&FloodReader::run, this, fd);
}

void FloodReader::stop()
{
    if (!running())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_room.notify_all();
    const quint64 one = 1;
    (void)::write(m_wake, &one, sizeof one);
    m_thread.join();
    quint64 drained = 0;
    (void)::read(m_wake, &drained, sizeof drained);
    m_ended = false;
}

QByteArray FloodReader::take()
{
    QByteArray taken;
    {
        // Together with the bytes: whatever is added after this take announces itself.
        const std::lock_guard lock(m_mutex);
        taken.swap(m_buffer);
        m_announced = false;
    }
    m_room.notify_all();
    return taken;
}

qint64 FloodReader::buffered() const
{
    const std::lock_guard lock(m_mutex);
    return m_buffer.size();
}

void FloodReader::run(int fd)
{
    constexpr qsizetype kPiece = 64 * 1024;
    QByteArray piece(kPiece, Qt::Uninitialized);
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_room.wait(lock, [this] { return m_stopping || m_buffer.size() < kMostHeld; });
            if (m_stopping)
                break;
        }
        pollfd watched[] = {{fd, POLLIN, 0}, {m_wake, POLLIN, 0}};
        const int ready = ::poll(watched, 2, kQuietMs);
        if (ready < 0 && errno == EINTR)
            continue;
        // Quiet, stopped, or the device failed: the port's reader takes over.
        if (ready <= 0 || watched[1].revents != 0 || (watched[0].revents & (POLLERR | POLLHUP | POLLNVAL)))
            break;
        const ssize_t got = ::read(fd, piece.data(), size_t(kPiece));
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (got <= 0)
            break;
        bool announced = false;
        {
            const std::lock_guard lock(m_mutex);
            m_buffer.append(piece.constData(), got);
            announced = std::exchange(m_announced, true);
        }
        // Once until the next take, however many reads come before it.
        if (!announced)
            m_news();
    }
    m_ended = true;
    m_news();
}
