// SPDX-License-Identifier: MIT
// How the receive box keeps up with what a board sends, in the real main
// window (offscreen) on a pseudo-terminal written at full speed: first each
// kind of stream against the ceiling of a bare reader measured in the same
// run, then a long session on each tab, whose older blocks move to the
// cache directory, for its memory, its pace, how fast its ends are shown and
// how fast "名前を付けて保存..." writes it all.

#include "app/frmmain.h"
#include "benchstream.h"
#include "ptypair.h"
#include "receiverun.h"
#include "receive/receiveview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <malloc.h>

namespace {

using namespace benchstream;

using receiverun::kMB;

struct Stream
{
    const char *name;
    QByteArray cycle;
    int tab;
};

struct Result
{
    double whole = 0;
    // MB/s of each tenth, to tell a trend from the machine's swings.
    std::vector<double> tenths;
    double worstDelayMs = 0;
    qint64 idleKiB = 0;
    qint64 endKiB = 0;
    qint64 peakKiB = 0;
    double toFirstRowMs = 0;
    double backToEndMs = 0;
    double emptyMs = 0;
    double saveSeconds = 0;
    qint64 savedBytes = -1;
    bool complete = false;
    bool exact = false;
};

class Box
{
public:
    Box(FrmMain &window, PtyPair &pty, const QString &savePath)
        : m_window(window)
        , m_pty(pty)
        , m_savePath(savePath)
        , m_view(*window.findChild<ReceiveView *>(QStringLiteral("rtxtAscRcv")))
        , m_tabs(*window.findChild<QTabBar *>(QStringLiteral("TabStrip1")))
        , m_open(*window.findChild<QPushButton *>(QStringLiteral("cmdComOpen")))
    {
    }

    Result run(const Stream &stream, qint64 total, bool saveWhole = false)
    {
        Result result;
        QTest::mouseClick(&m_tabs, Qt::LeftButton, {}, m_tabs.tabRect(stream.tab).center());
        QTest::mouseClick(&m_open, Qt::LeftButton);
        ::malloc_trim(0);
        result.idleKiB = procStatusKiB("VmRSS:");
        receive(stream.cycle, total, result);
        result.endKiB = procStatusKiB("VmRSS:");
        result.peakKiB = procStatusKiB("VmHWM:");
        jumpToEnds(result);
        result.exact = result.complete && receiverun::storeMatches(m_view.store(), stream.cycle, total);
        if (saveWhole)
            save(result);
        QTest::mouseClick(&m_open, Qt::LeftButton);
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(&m_tabs, Qt::LeftButton, {}, m_tabs.tabRect(stream.tab).center());
        result.emptyMs = clock.nsecsElapsed() / 1e6;
        return result;
    }

private:
    void receive(const QByteArray &cycle, qint64 total, Result &result)
    {
        // Gives up below 5 MB/s.
        const receiverun::Streamed streamed = receiverun::streamIntoBox(
            m_window, m_view, m_pty, cycle, total, 10, std::chrono::seconds(30 + total / 5'000'000));
        result.worstDelayMs = std::max(result.worstDelayMs, streamed.worstDelayMs);
        result.complete = streamed.complete;
        result.whole = total / kMB / streamed.seconds;
        for (int tenth = 1; tenth <= 10; ++tenth) {
            const double ends = tenth == 10 ? streamed.seconds : streamed.shareSeconds[tenth];
            result.tenths.push_back(total / 10 / kMB / (ends - streamed.shareSeconds[tenth - 1]));
        }
    }

    // Drags the scroll bar to the first row and back, each time until drawn.
    void jumpToEnds(Result &result)
    {
        QScrollBar *bar = m_view.verticalScrollBar();
        QElapsedTimer clock;
        clock.start();
        bar->setValue(0);
        m_view.viewport()->repaint();
        result.toFirstRowMs = clock.nsecsElapsed() / 1e6;
        clock.restart();
        bar->setValue(bar->maximum());
        m_view.viewport()->repaint();
        result.backToEndMs = clock.nsecsElapsed() / 1e6;
    }

    // What the save action does once its dialog has named the file.
    void save(Result &result)
    {
        QElapsedTimer clock;
        clock.start();
        QSaveFile file(m_savePath);
        if (!file.open(QIODevice::WriteOnly) || !m_view.writeShown(file) || !file.commit())
            return;
        result.saveSeconds = clock.nsecsElapsed() / 1e9;
        result.savedBytes = QFile(m_savePath).size();
        QFile::remove(m_savePath);
    }

    FrmMain &m_window;
    PtyPair &m_pty;
    const QString m_savePath;
    ReceiveView &m_view;
    QTabBar &m_tabs;
    QPushButton &m_open;
};

const char *verdict(bool pass)
{
    return pass ? "ok" : "FAILS";
}

bool printSpeed(const Stream &stream, double ceiling, const Result &run)
{
    const double ratio = run.whole / ceiling;
    std::printf("  %-34s %8.1f MB/s  ceiling %6.1f  %5.2f x (>= 0.5) %-5s %s\n", stream.name, run.whole, ceiling,
                ratio, verdict(ratio >= 0.5), !run.complete ? "INCOMPLETE" : run.exact ? "exact" : "DIFFERS");
    return ratio >= 0.5 && run.exact;
}

bool printSession(const Stream &stream, qint64 total, double ceiling, const Result &run)
{
    const qint64 grownMiB = (run.endKiB - run.idleKiB) >> 10;
    const double pace = run.tenths.back() / run.tenths.front();
    const double worstJump = std::max(run.toFirstRowMs, run.backToEndMs);
    std::printf("%s, %.1f GiB, %s\n", stream.name, total / double(1 << 30),
                !run.complete ? "INCOMPLETE" : run.exact ? "content exact" : "CONTENT DIFFERS");
    std::printf("  %-34s %8.1f MB/s  ceiling %6.1f  %5.2f x\n", "whole session", run.whole, ceiling, run.whole / ceiling);
    std::printf("  %-34s %8lld MiB   idle %lld, end %lld, peak %lld MiB (<= idle + 256) %s\n", "resident grown",
                grownMiB, run.idleKiB >> 10, run.endKiB >> 10, run.peakKiB >> 10, verdict(grownMiB <= 256));
    std::printf("  %-34s %8.1f MB/s  first tenth %.1f  %5.2f x (>= 0.8) %s\n", "last tenth", run.tenths.back(),
                run.tenths.front(), pace, verdict(pace >= 0.8));
    std::printf("  %-34s", "each tenth, MB/s");
    for (const double rate : run.tenths)
        std::printf(" %.0f", rate);
    std::printf("\n");
    std::printf("  %-34s %8.1f ms    back to the end %.1f ms (<= 50) %s\n", "jump to the first row",
                run.toFirstRowMs, run.backToEndMs, verdict(worstJump <= 50));
    std::printf("  %-34s %8.1f ms    (<= 50) %s\n", "worst 10 ms timer delay", run.worstDelayMs,
                verdict(run.worstDelayMs <= 50));
    const double saveRate = run.savedBytes / kMB / run.saveSeconds;
    std::printf("  %-34s %8.1f MB/s  file %.2f GB in %.1f s (>= 100) %s\n", "saving the whole session", saveRate,
                run.savedBytes / 1e9, run.saveSeconds, verdict(saveRate >= 100));
    std::printf("  %-34s %8.1f ms    memory and file space given back\n", "tab click emptying it", run.emptyMs);
    return run.exact && grownMiB <= 256 && pace >= 0.8 && worstJump <= 50 && run.worstDelayMs <= 50
           && saveRate >= 100;
}

qint64 envValue(const char *name, qint64 fallback)
{
    const qint64 value = qEnvironmentVariable(name).toLongLong();
    return value > 0 ? value : fallback;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Whole cycles, so that the shown text of each is known.
    const qint64 speedTotal = envValue("TOLVANE_BENCH_MIB", 64) * (1 << 20) / kPeriod * kPeriod;
    const qint64 sessionTotal = envValue("TOLVANE_LONGSESSION_MIB", 8192) * (1 << 20) / kPeriod * kPeriod;

    QTemporaryDir dir;
    qputenv("TOLVANE_PORT_DIR", dir.path().toLocal8Bit());
    PtyPair pty(dir.path(), 3);
    FrmMain window;
    window.show();
    if (!pty.isValid() || !QTest::qWaitForWindowExposed(&window))
        return 1;
    Box box(window, pty, dir.filePath(QStringLiteral("saved.txt")));

    const Stream speedStreams[] = {
        {"text, ASCII, CR LF every 80", makeCycle(Content::Lines), 0},
        {"text, CP932 Japanese", makeCycle(Content::Cp932Lines), 0},
        {"text, random bytes", makeCycle(Content::RandomText), 0},
        {"hex, random bytes", makeCycle(Content::Random), 1},
    };
    bool pass = true;
    std::printf("shown MB/s against a bare reader, %lld MiB each; MB = 10^6 bytes\n", speedTotal >> 20);
    // TOLVANE_BENCH_ONLY runs only the speed cases whose name holds it, to profile one.
    const QByteArray only = qgetenv("TOLVANE_BENCH_ONLY");
    for (const Stream &stream : speedStreams) {
        if (!QByteArray(stream.name).contains(only))
            continue;
        const double ceiling = receiverun::measureCeiling(pty, stream.cycle, speedTotal);
        pass = printSpeed(stream, ceiling, box.run(stream, speedTotal)) && pass;
    }
    const Stream sessions[] = {speedStreams[0], speedStreams[3]};
    for (const Stream &stream : sessions) {
        if (!only.isEmpty())
            break;
        const double ceiling = receiverun::measureCeiling(pty, stream.cycle, std::min<qint64>(sessionTotal, 512 << 20));
        pass = printSession(stream, sessionTotal, ceiling, box.run(stream, sessionTotal, true)) && pass;
    }
    return pass ? 0 : 1;
}
