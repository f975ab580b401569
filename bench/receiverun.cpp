// SPDX-License-Identifier: MIT
#include "receiverun.h"

#include "app/frmmain.h"
#include "delayprobe.h"
#include "ptypair.h"
#include "capture/receiverecorder.h"
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
#include <poll.h>
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

// The stream, then a line feed: text that ends in a CP932 lead byte keeps
// that byte back until the next byte comes, as it should.
void writeAllAndEnd(int fd, const QByteArray &cycle, qint64 total)
{
    writeAll(fd, cycle, total);
    pollfd room{fd, POLLOUT, 0};
    while (::write(fd, "\n", 1) != 1 && (errno == EAGAIN || errno == EINTR))
        ::poll(&room, 1, 20);
}

} // namespace

Streamed streamIntoBox(FrmMain &window, const ReceiveView &view, const PtyPair &pty, const QByteArray &cycle,
                       qint64 total, int shares, std::chrono::seconds timeout)
{
    // Both modes keep the bytes as they came.
    const auto received = [&view] { return view.store().byteCount(); };
    Streamed streamed;
    streamed.shareSeconds.assign(size_t(shares) + 1, 0);
    QEventLoop loop;
    QElapsedTimer clock;
    auto check = [&] {
        const qint64 got = received();
        for (int share = 1; share <= shares && got * shares >= total * share; ++share) {
            if (streamed.shareSeconds[share] == 0)
                streamed.shareSeconds[share] = clock.nsecsElapsed() / 1e9;
        }
        if (got > total)
            loop.quit();
    };
    // Connected after the monitor, so it sees what the event added.
    QObject::connect(&window.channel(), &SerialChannel::onComm, &loop, check);
    DelayProbe probe;
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    clock.start();
    probe.start();
    std::thread writer(writeAllAndEnd, pty.masterFd(), std::cref(cycle), total);
    loop.exec();
    streamed.seconds = clock.nsecsElapsed() / 1e9;
    writer.join();
    streamed.worstDelayMs = probe.worstDelayMs();
    streamed.received = received() - 1;
    streamed.complete = streamed.received == total;
    if (!streamed.complete)
        std::printf("  the box holds %lld of %lld bytes\n", static_cast<long long>(streamed.received),
                    static_cast<long long>(total));
    return streamed;
}

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

void Runner::receive(const QByteArray &cycle, qint64 total, Result &result)
{
    const Streamed streamed = streamIntoBox(m_window, m_view, m_pty, cycle, total, 4, std::chrono::minutes(3));
    result.worstDelayMs = std::max(result.worstDelayMs, streamed.worstDelayMs);
    result.complete = streamed.complete;
    result.whole = total / kMB / streamed.seconds;
    result.firstQuarter = total / 4 / kMB / streamed.shareSeconds[1];
    result.lastQuarter = total / 4 / kMB / (streamed.seconds - streamed.shareSeconds[3]);
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
    // The stream and the line feed that ends it.
    if (!file.open(QIODevice::ReadOnly) || file.size() != total + 1)
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
