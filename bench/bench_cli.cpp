// SPDX-License-Identifier: MIT
// How fast tolvane-cli sends a configuration file over a pseudo-terminal,
// from the command's start to the far side's last byte: against the line's
// ideal time with a far side that reads at 115200,n,8,1, against a bare
// writer into the same kind of line, the command's peak resident size, and
// the wall time of its quick commands.
//
//   bench_cli           64 KiB and 1 MiB paced, 256 MiB unpaced
//   bench_cli --quick   16 KiB paced, 64 MiB unpaced
//
// The bare writer runs in this program, beside the far side's reader: a
// switch between the two costs less than one between two programs, as the
// command and the reader are. The same writer started as a program of its
// own (this one, with --bare-writer DEVICE BYTES) is the command's peer.

#include "barewriter.h"
#include "downloadfigures.h"
#include "ptypair.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include <sys/resource.h>
#include <unistd.h>

using namespace downloadfigures;

namespace {

// Seconds from the command's start to the far side's last byte.
double downloadSeconds(const QTemporaryDir &dir, const QString &path, qint64 payload, qint64 rate)
{
    PtyPair pty(dir.path(), 3);
    PtyReader reader(pty.masterFd(), rate, false);
    QProcess command;
    command.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const Clock::time_point start = Clock::now();
    command.start(QStringLiteral(TOLVANE_CLI), {QStringLiteral("download"), path, QStringLiteral("--yes"),
                                                QStringLiteral("--quiet"), QStringLiteral("--port"), QStringLiteral("3")});
    reader.waitFor(payload, std::chrono::milliseconds(payload * 2000 / kLineRate + 10000));
    command.waitForFinished(-1);
    if (reader.count() != payload || command.exitCode() != 0)
        std::printf("!! %lld of %lld bytes arrived, exit %d\n", reader.count(), payload, command.exitCode());
    return secondsBetween(start, reader.lastByteAt());
}

// Seconds from the start of a bare writer of its own to the far side's last byte.
double processWriterSeconds(const QTemporaryDir &dir, qint64 payload)
{
    PtyPair pty(dir.path(), 9);
    PtyReader reader(pty.masterFd(), 0, false);
    QProcess writer;
    const Clock::time_point start = Clock::now();
    writer.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--bare-writer"), pty.slavePath(), QString::number(payload)});
    reader.waitFor(payload, std::chrono::milliseconds(payload * 2000 / kLineRate + 10000));
    writer.waitForFinished(-1);
    return secondsBetween(start, reader.lastByteAt());
}

void benchPaced(const QTemporaryDir &dir, qint64 payload, bool withPeer)
{
    const double ideal = double(payload) / kLineRate;
    const QString path = makeFile(dir, payload + kDropCount);
    const double seconds = downloadSeconds(dir, path, payload, kLineRate);
    QFile::remove(path);
    QString against = QStringLiteral("target <= 1.01 (ideal %1 s)").arg(ideal, 0, 'f', 2);
    if (withPeer)
        against += QStringLiteral(", bare writer %1").arg(bareWriterSeconds(dir.path(), payload, kLineRate) / ideal, 0, 'f', 3);
    printRow(QStringLiteral("paced %1: wall / ideal").arg(sizeName(payload)), seconds / ideal, "ratio", against);
}

// Alternating rounds, best of each: the machine's noise hits both alike.
void benchUnpaced(const QTemporaryDir &dir, qint64 payload, int rounds)
{
    const QString path = makeFile(dir, payload + kDropCount);
    double best = 0, ceiling = 0, eventLoop = 0, process = 0;
    for (int round = 0; round < rounds; ++round) {
        best = qMax(best, payload / downloadSeconds(dir, path, payload, 0) / 1e6);
        process = qMax(process, payload / processWriterSeconds(dir, payload) / 1e6);
        for (const qsizetype chunkSize : {4096, 65536})
            ceiling = qMax(ceiling, payload / bareWriterSeconds(dir.path(), payload, 0, chunkSize) / 1e6);
        eventLoop = qMax(eventLoop, payload / eventLoopWriterSeconds(dir.path(), payload) / 1e6);
    }
    QFile::remove(path);
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const QString name = QStringLiteral("unpaced %1").arg(sizeName(payload));
    printRow(name + QStringLiteral(": download, best of %1").arg(rounds), best, "MB/s",
             QStringLiteral("bare writer %1 MB/s, ratio %2 (target >= 0.9)").arg(ceiling, 0, 'f', 1).arg(best / ceiling, 0, 'f', 2));
    printRow(name + QStringLiteral(": bare writer, own process"), process, "MB/s",
             QStringLiteral("download / this %1 (target >= 0.9)").arg(best / process, 0, 'f', 2));
    printRow(name + QStringLiteral(": event-loop bare writer"), eventLoop, "MB/s",
             QStringLiteral("download / this %1").arg(best / eventLoop, 0, 'f', 2));
    printRow(name + QStringLiteral(": command's peak resident"), double(usage.ru_maxrss) / 1024, "MiB",
             QStringLiteral("target <= 20"));
}

// Median wall time of a quick command, start to exit, in milliseconds.
void benchQuick(const QString &what, const QStringList &arguments)
{
    QList<double> times;
    for (int round = 0; round < 7; ++round) {
        QProcess command;
        command.setStandardOutputFile(QProcess::nullDevice());
        const Clock::time_point start = Clock::now();
        command.start(QStringLiteral(TOLVANE_CLI), arguments);
        command.waitForFinished(-1);
        times.append(secondsBetween(start, Clock::now()) * 1000);
    }
    std::sort(times.begin(), times.end());
    printRow(what + QStringLiteral(": wall, median of 7"), times[3], "ms", QStringLiteral("target <= 50"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (app.arguments().size() == 4 && app.arguments().at(1) == QLatin1String("--bare-writer")) {
        writeBare(openRawDevice(app.arguments().at(2), 0), app.arguments().at(3).toLongLong(), 4096);
        return 0;
    }
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    QTemporaryDir dir;
    qputenv("TOLVANE_PORT_DIR", dir.path().toLocal8Bit());

    QFile load(QStringLiteral("/proc/loadavg"));
    if (load.open(QIODevice::ReadOnly))
        std::printf("load average at start: %s", load.readLine().constData());
    std::printf("%-44s %10s  %-5s  %s\n", "what", "figure", "unit", "target / peer");

    const QString header = makeFile(dir, 1024);
    benchQuick(QStringLiteral("tolvane-cli ports"), {QStringLiteral("ports")});
    benchQuick(QStringLiteral("tolvane-cli bitinfo"), {QStringLiteral("bitinfo"), header});
    if (quick) {
        benchPaced(dir, 16 * 1024, true);
        benchUnpaced(dir, 64 * 1024 * 1024, 1);
    } else {
        benchPaced(dir, 64 * 1024, true);
        benchPaced(dir, 1024 * 1024, false);
        benchUnpaced(dir, 256 * 1024 * 1024, 3);
    }
    return 0;
}
