// SPDX-License-Identifier: MIT
#include "receiverun.h"

#include "app/frmmain.h"
#include "delayprobe.h"
#include "ptypair.h"
#include "receive/receiverecorder.h"
#include "receive/receiveview.h"
#include "serial/serialchannel.h"

#include <QAction>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <span>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <malloc.h>
#include <termios.h>
#include <unistd.h>

namespace receiverun {

using namespace benchstream;

namespace {

void writeAll(int fd, const QByteArray &cycle, qint64 total)
{
    static const std::atomic<bool> never{false};
    writeCycle(fd, cycle, 0, total, never);
}

} // namespace

double measureCeiling(const PtyPair &pty, const QByteArray &cycle, qint64 total)
{
    const int fd = ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return 0;
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
    ::tcflush(fd, TCIFLUSH);
    QElapsedTimer clock;
    clock.start();
    std::thread writer(writeAll, pty.masterFd(), std::cref(cycle), total);
    std::vector<char> buffer(64 * 1024);
    for (qint64 got = 0; got < total;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n <= 0 && errno != EINTR)
            break;
        got += std::max<ssize_t>(n, 0);
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    writer.join();
    ::close(fd);
    return total / kMB / seconds;
}


bool storeMatches(const ReceiveStore &store, const QByteArray &cycle, qint64 total)
{
    // Both modes keep the bytes as they came.
    for (qint64 at = 0; at < total;) {
        const qint64 count = std::min(total - at, kPeriod - at % kPeriod);
        const std::span<const char> got = store.byteSpan(at, count);
        if (!std::equal(got.begin(), got.end(), cycle.constData() + at % kPeriod))
            return false;
        at += qint64(got.size());
    }
    return true;
}

Runner::Runner(FrmMain &window, PtyPair &pty, QString recordPath)
    : m_window(window)
    , m_pty(pty)
    , m_view(*window.findChild<ReceiveView *>(QStringLiteral("rtxtAscRcv")))
    , m_tabs(*window.findChild<QTabBar *>(QStringLiteral("TabStrip1")))
    , m_open(*window.findChild<QPushButton *>(QStringLiteral("cmdComOpen")))
    , m_recordPath(std::move(recordPath))
{
}

Result Runner::run(const Case &benchCase, qint64 total)
{
    Result result;
    const QByteArray cycle = makeCycle(benchCase.content);
    result.ceiling = measureCeiling(m_pty, cycle, total);
    QTest::mouseClick(&m_tabs, Qt::LeftButton, {}, m_tabs.tabRect(benchCase.tab).center());
    QTest::mouseClick(&m_open, Qt::LeftButton);
    ::malloc_trim(0);
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5"); // starts the peak resident size afresh
    clearRefs.close();
    const qint64 baseKiB = procStatusKiB("VmRSS:");
    setOptions(benchCase, true);
    receive(cycle, total, result);
    result.bytesPerByte = (procStatusKiB("VmHWM:") - baseKiB) * 1024.0 / total;
    result.exact = result.complete && storeMatches(m_view.store(), cycle, total);
    setOptions(benchCase, false);
    result.recordExact = benchCase.record && fileMatches(cycle, total);
    QTest::mouseClick(&m_open, Qt::LeftButton);
    QTest::mouseClick(&m_tabs, Qt::LeftButton, {}, m_tabs.tabRect(benchCase.tab).center());
    return result;
}

qint64 Runner::receivedBytes() const
{
    return m_view.store().byteCount();
}

void Runner::receive(const QByteArray &cycle, qint64 total, Result &result)
{
    QEventLoop loop;
    QElapsedTimer clock;
    qint64 quarterAt = 0;
    qint64 threeQuartersAt = 0;
    auto check = [&] {
        const qint64 got = receivedBytes();
        if (!quarterAt && got >= total / 4)
            quarterAt = clock.nsecsElapsed();
        if (!threeQuartersAt && got >= total - total / 4)
            threeQuartersAt = clock.nsecsElapsed();
        if (got >= total)
            loop.quit();
    };
    // Connected after the monitor, so it sees what the event added.
    QObject::connect(&m_window.channel(), &SerialChannel::onComm, &loop, check);
    DelayProbe probe;
    QTimer::singleShot(std::chrono::minutes(3), &loop, &QEventLoop::quit);

    clock.start();
    probe.start();
    std::thread writer(writeAll, m_pty.masterFd(), std::cref(cycle), total);
    loop.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    writer.join();
    result.worstDelayMs = std::max(result.worstDelayMs, probe.worstDelayMs());
    result.complete = receivedBytes() == total;
    result.whole = total / kMB / seconds;
    result.firstQuarter = total / 4 / kMB / (quarterAt / 1e9);
    result.lastQuarter = total / 4 / kMB / (seconds - threeQuartersAt / 1e9);
}


void Runner::setOptions(const Case &benchCase, bool on)
{
    if (benchCase.stamps)
        m_window.findChild<QAction *>(QStringLiteral("actTimestamps"))->setChecked(on);
    if (!benchCase.record)
        return;
    auto *recorder = m_window.findChild<ReceiveRecorder *>();
    if (on)
        (void)recorder->start(m_recordPath, ReceiveRecorder::Format::Binary);
    else
        recorder->stop();
}

bool Runner::fileMatches(const QByteArray &cycle, qint64 total) const
{
    QFile file(m_recordPath);
    if (!file.open(QIODevice::ReadOnly) || file.size() != total)
        return false;
    for (qint64 at = 0; at < total;) {
        const QByteArray piece = file.read(std::min(total - at, kPeriod - at % kPeriod));
        if (piece.isEmpty() || QByteArrayView(cycle).sliced(at % kPeriod, piece.size()) != piece)
            return false;
        at += piece.size();
    }
    return true;
}


Spread spreadOf(const std::vector<Result> &runs, double Result::*field)
{
    std::vector<double> values;
    for (const Result &run : runs)
        values.push_back(run.*field);
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front(), values.back()};
}

void printRow(const char *what, const Spread &figure, const char *unit, const QString &against)
{
    const QString range = figure.low == figure.high
                              ? QString()
                              : QStringLiteral("%1-%2").arg(figure.low, 0, 'f', 1).arg(figure.high, 0, 'f', 1);
    std::printf("  %-30s %8.2f  %-12s %-13s %s\n", what, figure.median, unit, qPrintable(range),
                qPrintable(against));
}

} // namespace receiverun
