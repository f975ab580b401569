// SPDX-License-Identifier: MIT
#include "downloadfigures.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

#include <unistd.h>

namespace downloadfigures {

double secondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

void printRow(const QString &what, double figure, const char *unit, const QString &against)
{
    std::printf("%-44s %10.3f  %-5s  %s\n", qPrintable(what), figure, unit, qPrintable(against));
    std::fflush(stdout);
}

QString sizeName(qint64 bytes)
{
    return bytes >= 1024 * 1024 ? QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024))
                                : QStringLiteral("%1 KiB").arg(bytes / 1024);
}

QString makeFile(const QTemporaryDir &dir, qint64 size)
{
    const QString path = dir.filePath(QStringLiteral("bench-%1.bit").arg(size));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    QByteArray chunk(1024 * 1024, Qt::Uninitialized);
    for (int i = 0; i < chunk.size(); ++i)
        chunk[i] = char(i * 7 + 3);
    for (qint64 left = size; left > 0; left -= chunk.size())
        file.write(chunk.constData(), qMin<qint64>(left, chunk.size()));
    // Written back before the clock starts, so the disk does not compete with the transfer.
    file.flush();
    ::fsync(file.handle());
    return path;
}

} // namespace downloadfigures
