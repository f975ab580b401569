// SPDX-License-Identifier: MIT
// Memory over a long stream: the real main window (offscreen) receives at
// full speed from a pseudo-terminal for a fixed time, switching between
// text and hex with a click on the tab strip every 30 s. The click empties
// the receive box, so the resident size must fall back to near the idle
// figure after each one; a figure that creeps up from click to click is a leak.

#include "app/frmmain.h"
#include "benchstream.h"
#include "boardwriter.h"
#include "ptypair.h"
#include "residentmemory.h"
#include "residentsampler.h"
#include "receive/receiveview.h"
#include "serial/serialchannel.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QEventLoop>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using namespace benchstream;
using namespace std::chrono_literals;
using Clock = ResidentSampler::Clock;

constexpr std::chrono::seconds kDefaultRun{600};
constexpr std::chrono::seconds kModePeriod{30};
constexpr std::chrono::seconds kSampleEvery{1};
// Long enough for the program to take what was still on the line when the
// board held, and to draw a frame or two.
constexpr std::chrono::milliseconds kSettle{500};
// Allowances of the verdict, in KiB: the first periods warm caches that
// stay (glyphs, the port's read buffer), a leak grows with every period.
constexpr qint64 kNearIdleKiB = 32 * 1024;
constexpr qint64 kGrowthKiB = 8 * 1024;
constexpr double kMiB = 1024.0;
constexpr double kMB = 1e6;

struct Period
{
    bool hex = false;
    qint64 received = 0;
    double seconds = 0;
    qint64 peakKiB = 0;
    qint64 afterClickKiB = 0;
    double clickMs = 0;
};

class Soak
{
public:
    Soak(FrmMain &window, PtyPair &pty)
        : m_pty(pty)
        , m_view(*window.findChild<ReceiveView *>(QStringLiteral("rtxtAscRcv")))
        , m_tabs(*window.findChild<QTabBar *>(QStringLiteral("TabStrip1")))
        , m_open(*window.findChild<QPushButton *>(QStringLiteral("cmdComOpen")))
        , m_channel(window.channel())
    {
    }

    // Opens the port on the text tab and takes the idle figure; false when the port did not open.
    bool start()
    {
        clickTab(0);
        QTest::mouseClick(&m_open, Qt::LeftButton);
        if (!m_channel.portOpen())
            return false;
        idle();
        m_idleKiB = residentKiB();
        return true;
    }

    std::vector<Period> run(int periods, std::chrono::milliseconds length)
    {
        ResidentSampler sampler(kSampleEvery);
        BoardWriter board(m_pty.masterFd(), makeCycle(Content::Lines));
        std::vector<Period> result;
        for (int index = 0; index < periods; ++index) {
            board.resume();
            const Clock::time_point began = Clock::now();
            idle(length);
            Period period;
            period.hex = m_tabs.currentIndex() == 1;
            period.received = received();
            period.seconds = std::chrono::duration<double>(Clock::now() - began).count();
            const qint64 beforeClickKiB = residentKiB();
            const Clock::time_point clicked = Clock::now();
            clickTab(period.hex ? 0 : 1);
            period.clickMs = std::chrono::duration<double, std::milli>(Clock::now() - clicked).count();
            // The next period's data would hide what the click gave back.
            board.hold();
            idle(kSettle);
            period.afterClickKiB = residentKiB();
            period.peakKiB = std::max(beforeClickKiB, sampler.peakKiB(began, Clock::now()));
            result.push_back(period);
        }
        m_sent = board.sent();
        m_samples = sampler.count();
        QTest::mouseClick(&m_open, Qt::LeftButton);
        return result;
    }

    qint64 idleKiB() const { return m_idleKiB; }
    qint64 sent() const { return m_sent; }
    qsizetype samples() const { return m_samples; }

private:
    void clickTab(int index) { QTest::mouseClick(&m_tabs, Qt::LeftButton, {}, m_tabs.tabRect(index).center()); }

    static void idle(std::chrono::milliseconds length = 2 * kSettle)
    {
        QEventLoop loop;
        QTimer::singleShot(length, &loop, &QEventLoop::quit);
        loop.exec();
    }

    // The stream is ASCII, so in text mode a character is a byte.
    qint64 received() const
    {
        return m_view.store().byteCount();
    }

    PtyPair &m_pty;
    ReceiveView &m_view;
    QTabBar &m_tabs;
    QPushButton &m_open;
    SerialChannel &m_channel;
    qint64 m_idleKiB = 0;
    qint64 m_sent = 0;
    qsizetype m_samples = 0;
};

struct Summary
{
    qint64 highestPeakKiB = 0;
    qint64 highestAfterKiB = 0;
    qint64 growthKiB = 0;
    qint64 received = 0;
    bool nearIdle = true;
};

Summary summarize(const std::vector<Period> &periods, qint64 idleKiB)
{
    Summary summary;
    for (const Period &period : periods) {
        summary.highestPeakKiB = std::max(summary.highestPeakKiB, period.peakKiB);
        summary.highestAfterKiB = std::max(summary.highestAfterKiB, period.afterClickKiB);
        summary.growthKiB = std::max(summary.growthKiB, period.afterClickKiB - periods.front().afterClickKiB);
        summary.received += period.received;
        summary.nearIdle = summary.nearIdle && period.afterClickKiB - idleKiB <= kNearIdleKiB;
    }
    return summary;
}

void printPeriods(const std::vector<Period> &periods, qint64 idleKiB)
{
    std::printf("period  mode  received MB    MB/s  peak MiB  click ms  after click MiB  vs idle MiB\n");
    for (size_t i = 0; i < periods.size(); ++i) {
        const Period &p = periods[i];
        std::printf("%6zu  %-4s  %11.1f  %6.1f  %8.1f  %8.0f  %15.1f  %+11.1f\n", i + 1, p.hex ? "hex" : "text",
                    p.received / kMB, p.received / kMB / p.seconds, p.peakKiB / kMiB, p.clickMs,
                    p.afterClickKiB / kMiB, (p.afterClickKiB - idleKiB) / kMiB);
    }
}

bool printSummary(const std::vector<Period> &periods, qint64 idleKiB, const Soak &soak, bool applied)
{
    const Summary s = summarize(periods, idleKiB);
    const double near = kNearIdleKiB / kMiB;
    const double growth = kGrowthKiB / kMiB;
    std::printf("\n  %-40s %10.1f  %-5s\n", "idle resident size (port open)", idleKiB / kMiB, "MiB");
    std::printf("  %-40s %10.1f  %-5s\n", "highest peak", s.highestPeakKiB / kMiB, "MiB");
    std::printf("  %-40s %10.1f  %-5s idle + %.0f at most\n", "highest after-click figure", s.highestAfterKiB / kMiB,
                "MiB", near);
    std::printf("  %-40s %10.1f  %-5s %.0f at most\n", "growth of the after-click figure", s.growthKiB / kMiB, "MiB",
                growth);
    std::printf("  %-40s %10.1f  %-5s sent by the board %.1f\n", "received into the box", s.received / kMB, "MB",
                soak.sent() / kMB);
    std::printf("  %-40s %10lld\n", "resident size samples (1 s apart)", qint64(soak.samples()));
    const bool pass = s.nearIdle && s.growthKiB <= kGrowthKiB;
    std::printf("\nverdict%s: %s\n", applied ? "" : " (report only, not applied)",
                pass ? "PASS, memory comes back after every tab click"
                     : "FAIL, memory does not come back after the tab clicks");
    return pass;
}

std::chrono::seconds runLength(const QCommandLineParser &parser, const QCommandLineOption &seconds)
{
    const QString given = parser.isSet(seconds) ? parser.value(seconds) : qEnvironmentVariable("TOLVANE_SOAK_SECONDS");
    const int value = given.toInt();
    return value > 0 ? std::chrono::seconds(value) : kDefaultRun;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("How long to stream (default 600, or TOLVANE_SOAK_SECONDS)."),
                                     QStringLiteral("n"));
    const QCommandLineOption reportOnly(QStringLiteral("report-only"),
                                        QStringLiteral("Print the figures but exit 0 whatever the verdict "
                                                       "(under valgrind the figures are valgrind's)."));
    parser.addOptions({seconds, reportOnly});
    parser.process(app);

    // Both modes even in a short run.
    const std::chrono::seconds total = runLength(parser, seconds);
    const std::chrono::milliseconds period = std::clamp<std::chrono::milliseconds>(total / 2, 1s, kModePeriod);
    const int periods = int(std::max<qint64>(1, total / period));

    QTemporaryDir dir;
    qputenv("TOLVANE_PORT_DIR", dir.path().toLocal8Bit());
    PtyPair pty(dir.path(), 3);
    FrmMain window;
    window.show();
    if (!pty.isValid() || !QTest::qWaitForWindowExposed(&window))
        return 2;
    Soak soak(window, pty);
    if (!soak.start()) {
        std::printf("the port did not open\n");
        return 2;
    }
    std::printf("%d periods of %.0f s, text and hex in turn, CR LF every 80 characters; MB = 10^6 bytes\n", periods,
                period.count() / 1000.0);
    std::fflush(stdout);
    const std::vector<Period> result = soak.run(periods, period);
    printPeriods(result, soak.idleKiB());
    const bool applied = !parser.isSet(reportOnly);
    const bool pass = printSummary(result, soak.idleKiB(), soak, applied);
    return pass || !applied ? 0 : 1;
}
