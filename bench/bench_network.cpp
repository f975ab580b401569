// SPDX-License-Identifier: MIT
// A download to a board on another machine, through ser2net on this one,
// with the far pseudo-terminal read at the line rate: the command's wall
// time against the line's ideal time, how soon Ctrl+C stops the far line,
// and how far the program ever runs ahead of the far line; and the delay
// from a far byte to the receive event, beside a local port's.
//
//   bench_network           1 MiB downloads, 256 KiB for the other figures
//   bench_network --quick   64 KiB throughout

#include "downloadfigures.h"
#include "ptypair.h"
#include "ser2netdaemon.h"

#include "download/downloadengine.h"
#include "serial/serialchannel.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <vector>

using namespace downloadfigures;

namespace {

using Accepter = Ser2netDaemon::Accepter;

QString accepterName(Accepter accepter)
{
    return accepter == Accepter::RawTcp ? QStringLiteral("raw tcp") : QStringLiteral("rfc2217");
}

struct Setup
{
    Setup(const QTemporaryDir &dir, Accepter accepter)
        : pty(dir.path(), 3)
        , reader(pty.masterFd(), kLineRate, false)
        , daemon(dir.path(), pty.slavePath(), accepter)
    {
        if (!daemon.start())
            std::printf("!! ser2net did not start\n");
    }
    PtyPair pty;
    PtyReader reader;
    Ser2netDaemon daemon;
};

QStringList downloadArguments(const QString &path, const Setup &setup)
{
    return {QStringLiteral("download"), path, QStringLiteral("--yes"), QStringLiteral("--quiet"),
            QStringLiteral("--port"), setup.daemon.address()};
}

void benchDownload(const QTemporaryDir &dir, Accepter accepter, qint64 payload)
{
    Setup setup(dir, accepter);
    const QString path = makeFile(dir, payload + kDropCount);
    QProcess command;
    command.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const Clock::time_point start = Clock::now();
    command.start(QStringLiteral(TOLVANE_CLI), downloadArguments(path, setup));
    setup.reader.waitFor(payload, std::chrono::milliseconds(payload * 2000 / kLineRate + 10000));
    command.waitForFinished(-1);
    if (setup.reader.count() != payload || command.exitCode() != 0)
        std::printf("!! %lld of %lld bytes arrived, exit %d\n", setup.reader.count(), payload, command.exitCode());
    const double ideal = double(payload) / kLineRate;
    printRow(QStringLiteral("%1 %2: wall / ideal").arg(accepterName(accepter), sizeName(payload)),
             secondsBetween(start, setup.reader.lastByteAt()) / ideal, "ratio",
             QStringLiteral("target <= 1.01 (ideal %1 s)").arg(ideal, 0, 'f', 2));
}

// From SIGINT to the far line's last byte.
void benchInterrupt(const QTemporaryDir &dir, Accepter accepter, qint64 payload)
{
    Setup setup(dir, accepter);
    const QString path = makeFile(dir, payload + kDropCount);
    QProcess command;
    command.start(QStringLiteral(TOLVANE_CLI), downloadArguments(path, setup));
    setup.reader.waitFor(payload / 4, std::chrono::milliseconds(payload * 2000 / kLineRate + 10000));
    const Clock::time_point interrupted = Clock::now();
    ::kill(pid_t(command.processId()), SIGINT);
    command.waitForFinished(-1);
    setup.reader.settle(std::chrono::milliseconds(1500));
    if (command.exitCode() != 130)
        std::printf("!! exit %d after SIGINT\n", command.exitCode());
    printRow(QStringLiteral("%1: SIGINT to the far line's last byte").arg(accepterName(accepter)),
             qMax(0.0, secondsBetween(interrupted, setup.reader.lastByteAt())), "s", QStringLiteral("target <= 1"));
}

// How far the program had handed bytes to the network beyond what the far
// line carried, at each write: the most, and the 99th percentile, which
// leaves out the moments when the far reader's own thread was late.
void benchAhead(const QTemporaryDir &dir, Accepter accepter, qint64 payload)
{
    Setup setup(dir, accepter);
    const QString path = makeFile(dir, payload + kDropCount);
    SerialChannel channel;
    channel.setDevicePath(setup.daemon.address());
    (void)channel.setSettings(QStringLiteral("115200,n,8,1"));
    if (!channel.setPortOpen(true)) {
        std::printf("!! %s\n", qPrintable(channel.errorString()));
        return;
    }
    qint64 released = 0;
    std::vector<qint64> ahead;
    QObject::connect(&channel, &SerialChannel::bytesWritten, &channel, [&](qint64 bytes) {
        released += bytes;
        ahead.push_back(released - setup.reader.count());
    });
    DownloadEngine engine(channel);
    const std::optional<BlockPlan> plan = engine.plan(path, kDropCount);
    if (!plan || engine.transfer(path, *plan) != DownloadEngine::Outcome::Sent || ahead.empty()) {
        std::printf("!! the download failed\n");
        return;
    }
    std::sort(ahead.begin(), ahead.end());
    const auto toMs = [](qint64 bytes) { return double(bytes) * 1000 / kLineRate; };
    const QString name = QStringLiteral("%1 %2: sent ahead").arg(accepterName(accepter), sizeName(payload));
    printRow(name + QStringLiteral(", most"), toMs(ahead.back()), "ms", QStringLiteral("target <= 100"));
    printRow(name + QStringLiteral(", 99th pct"), toMs(ahead.at(ahead.size() * 99 / 100)), "ms",
             QStringLiteral("target <= 100"));
}

// Milliseconds from a byte written on the far pseudo-terminal to the
// channel's receive event, the median of many lone bytes on an idle line.
double medianReceiveMs(SerialChannel &channel, PtyPair &pty)
{
    constexpr int kProbes = 200;
    std::vector<double> samples;
    Clock::time_point written;
    bool seen = false;
    QObject::connect(&channel, &SerialChannel::onComm, &channel, [&] {
        (void)channel.input();
        if (!seen) {
            samples.push_back(secondsBetween(written, Clock::now()) * 1000);
            seen = true;
        }
    });
    QTimer wake;
    wake.start(50);
    for (int probe = 0; probe < kProbes; ++probe) {
        seen = false;
        written = Clock::now();
        pty.write("x");
        const QDeadlineTimer deadline(2000);
        while (!seen && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QThread::msleep(5);
    }
    if (samples.empty())
        return -1;
    std::sort(samples.begin(), samples.end());
    return samples.at(samples.size() / 2);
}

// The network's delay beside the local port's, from the far byte to the
// receive event (what a painted frame waits for first).
void benchReceiveDelay(const QTemporaryDir &dir)
{
    PtyPair local(dir.path(), 5);
    SerialChannel localChannel;
    localChannel.setDevicePath(local.slavePath());
    (void)localChannel.setSettings(QStringLiteral("115200,n,8,1"));
    const double localMs = localChannel.setPortOpen(true) ? medianReceiveMs(localChannel, local) : -1;
    printRow(QStringLiteral("local: far byte to receive event, median"), localMs, "ms", QString());
    for (const Accepter accepter : {Accepter::Rfc2217, Accepter::RawTcp}) {
        Setup setup(dir, accepter);
        SerialChannel channel;
        channel.setDevicePath(setup.daemon.address());
        (void)channel.setSettings(QStringLiteral("115200,n,8,1"));
        const double ms = channel.setPortOpen(true) ? medianReceiveMs(channel, setup.pty) : -1;
        printRow(QStringLiteral("%1: the same, above local").arg(accepterName(accepter)), ms - localMs, "ms",
                 QStringLiteral("target <= 5"));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    QTemporaryDir dir;
    qputenv("TOLVANE_PORT_DIR", dir.path().toLocal8Bit());
    std::printf("%-44s %10s  %-5s  %s\n", "what", "figure", "unit", "target");
    const qint64 large = quick ? 64 * 1024 : 1024 * 1024;
    const qint64 medium = quick ? 64 * 1024 : 256 * 1024;
    benchReceiveDelay(dir);
    for (const Accepter accepter : {Accepter::Rfc2217, Accepter::RawTcp}) {
        benchDownload(dir, accepter, large);
        benchInterrupt(dir, accepter, medium);
        benchAhead(dir, accepter, medium);
    }
    return 0;
}
