// SPDX-License-Identifier: MIT
#include "barewriter.h"

#include "ptypair.h"

#include <QByteArray>
#include <QEventLoop>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

int openRawSlave(const PtyPair &pty, int flags)
{
    return openRawDevice(pty.slavePath(), flags);
}

int openRawDevice(const QString &path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NOCTTY | flags);
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
    return fd;
}

double bareWriterSeconds(const QString &portDir, qint64 payload, qint64 rate, qsizetype chunkSize)
{
    PtyPair pty(portDir, 9);
    PtyReader reader(pty.masterFd(), rate, false);
    const int fd = openRawSlave(pty, 0);
    const PtyReader::Clock::time_point start = PtyReader::Clock::now();
    writeBare(fd, payload, chunkSize);
    // Small writes beat large ones into a pseudo-terminal; at line rate it makes no difference.
    reader.waitFor(payload, std::chrono::milliseconds(payload * 2000 / 11520 + 10000));
    ::close(fd);
    return std::chrono::duration<double>(reader.lastByteAt() - start).count();
}

void writeBare(int fd, qint64 payload, qsizetype chunkSize)
{
    const QByteArray chunk(chunkSize, 'x');
    for (qint64 left = payload; left > 0;) {
        const ssize_t written = ::write(fd, chunk.constData(), size_t(qMin<qint64>(left, chunk.size())));
        if (written > 0)
            left -= written;
        else if (errno != EINTR)
            break;
    }
}

double eventLoopWriterSeconds(const QString &portDir, qint64 payload)
{
    PtyPair pty(portDir, 9);
    PtyReader reader(pty.masterFd(), 0, false);
    const int fd = openRawSlave(pty, O_NONBLOCK);
    const QByteArray chunk(32 * 1024, 'x');
    qint64 left = payload;
    QEventLoop loop;
    QSocketNotifier room(fd, QSocketNotifier::Write);
    QObject::connect(&room, &QSocketNotifier::activated, &loop, [&] {
        const ssize_t written = ::write(fd, chunk.constData(), size_t(qMin<qint64>(left, chunk.size())));
        left -= qMax<ssize_t>(0, written);
        if (left == 0 || (written < 0 && errno != EAGAIN && errno != EINTR))
            loop.quit();
    });
    const PtyReader::Clock::time_point start = PtyReader::Clock::now();
    loop.exec();
    reader.waitFor(payload);
    ::close(fd);
    return std::chrono::duration<double>(reader.lastByteAt() - start).count();
}
