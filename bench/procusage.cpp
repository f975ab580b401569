// SPDX-License-Identifier: MIT
#include "procusage.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

namespace procusage {

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// utime and stime, the 14th and 15th fields; the name in parentheses may hold blanks.
double cpuSecondsOf(const QString &statPath)
{
    const QByteArray stat = readAll(statPath);
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return (fields[11].toLongLong() + fields[12].toLongLong()) / double(::sysconf(_SC_CLK_TCK));
}

void addSwitches(const QString &statusPath, Usage &usage)
{
    for (const QByteArray &line : readAll(statusPath).split('\n')) {
        if (line.startsWith("voluntary_ctxt_switches:"))
            usage.voluntary += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        else if (line.startsWith("nonvoluntary_ctxt_switches:"))
            usage.involuntary += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    }
}

} // namespace

Usage read(pid_t pid, pid_t tid)
{
    Usage usage;
    const QString process = QStringLiteral("/proc/%1").arg(pid);
    if (tid != 0) {
        const QString task = QStringLiteral("%1/task/%2").arg(process).arg(tid);
        usage.cpuSeconds = cpuSecondsOf(task + QStringLiteral("/stat"));
        addSwitches(task + QStringLiteral("/status"), usage);
        return usage;
    }
    // The process's own stat sums the CPU of all its threads, live and gone.
    usage.cpuSeconds = cpuSecondsOf(process + QStringLiteral("/stat"));
    const QDir tasks(process + QStringLiteral("/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        addSwitches(tasks.filePath(task) + QStringLiteral("/status"), usage);
    return usage;
}

Rates ratesBetween(const Usage &before, const Usage &after, double seconds)
{
    return {100 * (after.cpuSeconds - before.cpuSeconds) / seconds, (after.voluntary - before.voluntary) / seconds,
            (after.involuntary - before.involuntary) / seconds};
}

QString loadAverage()
{
    return QString::fromLatin1(readAll(QStringLiteral("/proc/loadavg")).trimmed());
}

} // namespace procusage
