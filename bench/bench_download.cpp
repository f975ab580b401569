// SPDX-License-Identifier: MIT
// How fast a configuration file goes out, driven through the real main
// window over a pseudo-terminal: against the line's ideal time with a far
// side that reads at 115200,n,8,1, against a bare writer with a far side
// that reads as fast as it can, and the memory a large file costs.
//
//   bench_download           64 KiB and 1 MiB paced, 256 MiB unpaced
//   bench_download --quick   16 KiB paced, 64 MiB unpaced

#include "app/frmmain.h"
#include "barewriter.h"
#include "downloadfigures.h"
#include "modalanswerer.h"
#include "ptypair.h"
#include "serial/serialchannel.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTemporaryDir>

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace downloadfigures;

namespace {

using namespace std::chrono_literals;

qint64 statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

void resetPeakResident()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

struct Timing
{
    Clock::time_point started;  // the start message closed
    Clock::time_point finished; // the click's work done, final reset included
    Clock::time_point delivered; // the far side has read the last byte
};

class Bench
{
public:
    explicit Bench(const QTemporaryDir &dir)
        : m_dir(dir)
    {
        m_window.show();
        m_answerer.onMessage = [this](QMessageBox *box) {
            if (box->text() == QStringLiteral("INITボタンを押してください"))
                m_started = Clock::now();
        };
    }

    // One download of a file of payload + 14 bytes with a fresh line whose far side reads at rate.
    Timing download(const QString &path, qint64 payload, qint64 rate)
    {
        m_window.channel().setPortOpen(false);
        PtyPair pty(m_dir.path(), 3);
        PtyReader reader(pty.masterFd(), rate, false);
        m_window.channel().setPortOpen(true);
        m_answerer.otherModal = chooseFile(path);
        m_answerer.messages.clear();

        Timing timing;
        m_window.findChild<QPushButton *>(QStringLiteral("cmdXactConfig"))->click();
        timing.started = m_started;
        timing.finished = Clock::now();
        reader.waitFor(payload, std::chrono::milliseconds(payload * 2000 / kLineRate + 10000));
        timing.delivered = reader.lastByteAt();
        m_window.channel().setPortOpen(false);
        if (m_answerer.messages.size() != 1 || reader.count() != payload)
            std::printf("!! %lld of %lld bytes arrived\n", reader.count(), payload);
        return timing;
    }

private:
    const QTemporaryDir &m_dir;
    FrmMain m_window;
    ModalAnswerer m_answerer;
    Clock::time_point m_started;
};

void benchPaced(Bench &bench, const QTemporaryDir &dir, qint64 payload, bool withPeer)
{
    const double ideal = double(payload) / kLineRate;
    const QString path = makeFile(dir, payload + kDropCount);
    const Timing timing = bench.download(path, payload, kLineRate);
    QFile::remove(path);
    const QString name = QStringLiteral("paced %1").arg(sizeName(payload));
    QString against = QStringLiteral("target <= 1.01");
    if (withPeer)
        against += QStringLiteral(", bare writer %1").arg(bareWriterSeconds(dir.path(), payload, kLineRate) / ideal, 0, 'f', 3);
    printRow(name + QStringLiteral(": last byte read / ideal"),
             secondsBetween(timing.started, timing.delivered) / ideal, "ratio", against);
    printRow(name + QStringLiteral(": final reset done / ideal"),
             secondsBetween(timing.started, timing.finished) / ideal, "ratio",
             QStringLiteral("(ideal %1 s)").arg(ideal, 0, 'f', 2));
}

// Alternating rounds, best of each: the machine's noise hits both alike.
void benchUnpaced(Bench &bench, const QTemporaryDir &dir, qint64 payload, int rounds)
{
    const QString path = makeFile(dir, payload + kDropCount);
    const qint64 idleKiB = statusKiB("VmRSS:");
    resetPeakResident();
    double best = 0, ceiling = 0, eventLoop = 0;
    for (int round = 0; round < rounds; ++round) {
        const Timing timing = bench.download(path, payload, 0);
        best = qMax(best, payload / secondsBetween(timing.started, timing.delivered) / 1e6);
        for (const qsizetype chunkSize : {4096, 65536})
            ceiling = qMax(ceiling, payload / bareWriterSeconds(dir.path(), payload, 0, chunkSize) / 1e6);
        eventLoop = qMax(eventLoop, payload / eventLoopWriterSeconds(dir.path(), payload) / 1e6);
    }
    const qint64 peakKiB = statusKiB("VmHWM:");
    QFile::remove(path);
    const QString name = QStringLiteral("unpaced %1").arg(sizeName(payload));
    printRow(name + QStringLiteral(": download, best of %1").arg(rounds), best, "MB/s",
             QStringLiteral("bare writer %1 MB/s, ratio %2 (target >= 0.8)")
                 .arg(ceiling, 0, 'f', 1)
                 .arg(best / ceiling, 0, 'f', 2));
    printRow(name + QStringLiteral(": event-loop bare writer"), eventLoop, "MB/s",
             QStringLiteral("download / this %1").arg(best / eventLoop, 0, 'f', 2));
    printRow(name + QStringLiteral(": peak resident above idle"), double(peakKiB - idleKiB) / 1024, "MiB",
             QStringLiteral("idle %1 MiB, target < 64").arg(double(idleKiB) / 1024, 0, 'f', 1));
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    QTemporaryDir dir;
    qputenv("TOLVANE_PORT_DIR", dir.path().toLocal8Bit());

    QFile load(QStringLiteral("/proc/loadavg"));
    if (load.open(QIODevice::ReadOnly))
        std::printf("load average at start: %s", load.readLine().constData());
    std::printf("%-44s %10s  %-5s  %s\n", "what", "figure", "unit", "target / peer");

    Bench bench(dir);
    if (quick) {
        benchPaced(bench, dir, 16 * 1024, true);
        benchUnpaced(bench, dir, 64 * 1024 * 1024, 3);
    } else {
        benchPaced(bench, dir, 64 * 1024, true);
        benchPaced(bench, dir, 1024 * 1024, false);
        benchUnpaced(bench, dir, 256 * 1024 * 1024, 3);
    }
    return 0;
}
