// SPDX-License-Identifier: MIT
#include "receive/spillfile.h"

#include "receive/spillnotice.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <atomic>
#include <cerrno>
#include <cstring>
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

bool SpillFile::open()
{
    const QString dir = directory();
    QDir().mkpath(dir);
    const QByteArray path = QFile::encodeName(dir);
    m_fd = ::open(path.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (m_fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
        // A file system without nameless files: make one and remove its name.
        QByteArray name = path + "/spill-XXXXXX";
        m_fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (m_fd >= 0)
            ::unlink(name.constData());
    }
    return m_fd >= 0 || refuse(dir + QStringLiteral(": ") + systemError());
}

bool SpillFile::write(qint64 offset, const void *data, qint64 size)
{
    if (m_refused || (m_fd < 0 && !open()))
        return false;
    const char *from = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t written = ::pwrite(m_fd, from, size_t(size), offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return refuse(directory() + QStringLiteral(": ") + systemError());
        }
        from += written;
        offset += written;
        size -= written;
    }
    return true;
}

void SpillFile::read(qint64 offset, void *data, qint64 size) const
{
    char *to = static_cast<char *>(data);
    while (size > 0) {
        const ssize_t got = ::pread(m_fd, to, size_t(size), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            qWarning("spill file unreadable at %lld: %s", offset, std::strerror(errno));
            std::memset(to, 0, size_t(size));
            return;
        }
        to += got;
        offset += got;
        size -= got;
    }
}

void SpillFile::close()
{
    // Freeing gigabytes of file takes the file system seconds: the box is
    // empty at once and the space comes back behind it.
    if (m_fd >= 0)
        std::thread([fd = m_fd] { ::close(fd); }).detach();
    m_fd = -1;
    if (m_refused)
        SpillNotice::instance().rearm();
    m_refused = false;
}

bool SpillFile::refuse(const QString &reason)
{
    m_refused = true;
    SpillNotice::instance().report(reason);
    return false;
}
