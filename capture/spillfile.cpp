// SPDX-License-Identifier: MIT
#include "capture/spillfile.h"

#include "capture/spillnotice.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<qint64> budget{qint64(16) << 20};

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QString SpillFile::directory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/tolvane");
}

qint64 SpillFile::memoryBudget()
{
    return budget;
}

void SpillFile::setMemoryBudget(qint64 bytes)
{
    budget = bytes;
}

struct SpillFile::State
{
    struct Block
    {
        std::shared_ptr<const void> data;
        qint64 size = 0;
    };

    std::mutex mutex;
    std::condition_variable changed;
    // Blocks not in the file (yet): queued, being written, or refused.
    std::map<qint64, Block> held;
    std::deque<qint64> queue;
    qint64 queuedBytes = 0;
    int fd = -1;
    std::atomic<bool> refused{false};
    bool closed = false;
    std::thread writer;

    // Under the lock, in whichever thread met the refusal.
    void refuse(const QString &reason)
    {
        refused = true;
        queue.clear();
        queuedBytes = 0;
        SpillNotice::instance().report(reason);
    }
};

namespace {

int openNameless()
{
    const QString dir = SpillFile::directory();
    QDir().mkpath(dir);
    const QByteArray path = QFile::encodeName(dir);
    int fd = ::open(path.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
        // A file system without nameless files: make one and remove its name.
        QByteArray name = path + "/spill-XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0)
            ::unlink(name.constData());
    }
    return fd;
}

bool writeAll(int fd, qint64 offset, const char *from, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, from, size_t(size), offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        from += written;
        offset += written;
        size -= written;
    }
    return true;
}

} // namespace

bool SpillFile::refused() const
{
    return m_state && m_state->refused;
}

void SpillFile::write(qint64 offset, std::shared_ptr<const void> block, qint64 size)
{
    if (!m_state)
        m_state = std::make_shared<State>();
    State &state = *m_state;
    std::unique_lock lock(state.mutex);
    state.held[offset] = {std::move(block), size};
    if (state.refused)
        return;
    if (state.fd < 0 && (state.fd = openNameless()) < 0) {
        state.refuse(directory() + QStringLiteral(": ") + systemError());
        return;
    }
    state.queue.push_back(offset);
    state.queuedBytes += size;
    if (!state.writer.joinable())
        state.writer = std::thread(writeBehind, m_state);
    state.changed.notify_all();
    state.changed.wait(lock, [&state] { return state.queuedBytes <= memoryBudget() || state.refused; });
}

void SpillFile::writeBehind(const std::shared_ptr<State> &keep)
{
    State &state = *keep;
    std::unique_lock lock(state.mutex);
    for (;;) {
        state.changed.wait(lock, [&state] { return state.closed || !state.queue.empty(); });
        if (state.closed)
            break;
        const qint64 offset = state.queue.front();
        const State::Block block = state.held[offset];
        lock.unlock();
        const bool written = writeAll(state.fd, offset, static_cast<const char *>(block.data.get()), block.size);
        // Sent on to the disk now, or gigabytes of dirty pages pile up and
        // the kernel writes them back later in bulk, slowing the session
        // from then on. A hint only: a file system without it loses nothing.
        if (written)
            (void)::sync_file_range(state.fd, offset, block.size, SYNC_FILE_RANGE_WRITE);
        const QString reason = written ? QString() : directory() + QStringLiteral(": ") + systemError();
        lock.lock();
        if (state.closed)
            break;
        state.queue.pop_front();
        state.queuedBytes -= block.size;
        if (written)
            state.held.erase(offset);
        else
            state.refuse(reason);
        state.changed.notify_all();
    }
    // Freeing gigabytes of file takes the file system seconds: the box is
    // empty at once and the space comes back behind it.
    ::close(state.fd);
}

bool SpillFile::read(qint64 offset, void *data, qint64 size)
{
    int fd = -1;
    {
        std::lock_guard lock(m_state->mutex);
        const auto held = m_state->held.find(offset);
        if (held != m_state->held.end()) {
            std::memcpy(data, held->second.data.get(), size_t(size));
            return true;
        }
        fd = m_state->fd;
    }
    char *to = static_cast<char *>(data);
    while (size > 0) {
        const ssize_t got = ::pread(fd, to, size_t(size), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got == 0)
                errno = EIO; // the file is shorter than what was written to it
            m_errorString = directory() + QStringLiteral(": ") + systemError();
            return false;
        }
        to += got;
        offset += got;
        size -= got;
    }
    return true;
}

void SpillFile::close()
{
    if (!m_state)
        return;
    bool wasRefused = false;
    {
        std::lock_guard lock(m_state->mutex);
        m_state->closed = true;
        m_state->queue.clear();
        m_state->held.clear();
        wasRefused = m_state->refused;
        m_state->changed.notify_all();
    }
    // The writer closes the file once its current write is done.
    if (m_state->writer.joinable())
        m_state->writer.detach();
    else if (m_state->fd >= 0)
        std::thread([fd = m_state->fd] { ::close(fd); }).detach();
    if (wasRefused)
        SpillNotice::instance().rearm();
    m_state.reset();
}
