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

Switches switchesOf(const QString &statusPath)
{
    Switches switches;
    for (const QByteArray &line : readAll(statusPath).split('\n')) {
        if (line.startsWith("voluntary_ctxt_switches:"))
            switches.voluntary = line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        else if (line.startsWith("nonvoluntary_ctxt_switches:"))
            switches.involuntary = line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    }
    return switches;
}

} // namespace

Usage read(pid_t pid, pid_t tid)
{
    Usage usage;
    const QString process = QStringLiteral("/proc/%1").arg(pid);
    if (tid != 0) {
        const QString task = QStringLiteral("%1/task/%2").arg(process).arg(tid);
        usage.cpuSeconds = cpuSecondsOf(task + QStringLiteral("/stat"));
        usage.threads[QString::number(tid)] = switchesOf(task + QStringLiteral("/status"));
        return usage;
    }
    // The process's own stat sums the CPU of all its threads, live and gone.
    usage.cpuSeconds = cpuSecondsOf(process + QStringLiteral("/stat"));
    const QDir tasks(process + QStringLiteral("/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        usage.threads[task] = switchesOf(tasks.filePath(task) + QStringLiteral("/status"));
    return usage;
}

Rates ratesBetween(const Usage &before, const Usage &after, double seconds)
{
    // Threads that ended meanwhile are missed; new ones count from their start.
    Rates rates{100 * (after.cpuSeconds - before.cpuSeconds) / seconds, 0, 0};
    for (const auto &[tid, now] : after.threads) {
        const auto then = before.threads.find(tid);
        const Switches start = then == before.threads.end() ? Switches{} : then->second;
        rates.voluntary += (now.voluntary - start.voluntary) / seconds;
        rates.involuntary += (now.involuntary - start.involuntary) / seconds;
    }
    return rates;
}

} // namespace procusage
