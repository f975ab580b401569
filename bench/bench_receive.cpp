// How fast the receive box takes what the board sends, drawn in the real
// main window (offscreen) with the port open on a pseudo-terminal that is
// written at full speed from the board's side; next to it the same
// pseudo-terminal's ceiling with a bare reader.

#include "app/frmmain.h"
#include "benchstream.h"
#include "ptypair.h"
#include "receive/receiveview.h"
#include "serial/serialchannel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
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

namespace {

using namespace benchstream;

constexpr double kMB = 1e6;

struct Case
{
    const char *name;
    Content content;
    int tab;
};

void writeAll(int fd, const QByteArray &cycle, qint64 total)
{
    static const std::atomic<bool> never{false};
    writeCycle(fd, cycle, 0, total, never);
}

// MB/s of a bare blocking reader on the program's side of the line.
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

struct Result
{
    double ceiling = 0;
    double whole = 0;
    double firstQuarter = 0;
    double lastQuarter = 0;
    double bytesPerByte = 0;
    double worstDelayMs = 0;
    bool complete = false;
    bool exact = false;
};

bool storeMatches(const ReceiveStore &store, const QByteArray &cycle, qint64 total)
{
    const bool hex = store.mode() == ReceiveStore::Mode::Hex;
    for (qint64 at = 0; at < total;) {
        const qint64 count = std::min(total - at, kPeriod - at % kPeriod);
        const char *expected = cycle.constData() + at % kPeriod;
        if (hex) {
            const std::span<const char> got = store.byteSpan(at, count);
            if (!std::equal(got.begin(), got.end(), expected))
                return false;
            at += qint64(got.size());
        } else {
            const std::span<const char16_t> got = store.textSpan(at, count);
            if (!std::equal(got.begin(), got.end(), expected,
                            [](char16_t unit, char byte) { return unit == char16_t(uchar(byte)); }))
                return false;
            at += qint64(got.size());
        }
    }
    return true;
}

class Runner
{
public:
    Runner(FrmMain &window, PtyPair &pty)
        : m_window(window)
        , m_pty(pty)
        , m_view(*window.findChild<ReceiveView *>(QStringLiteral("rtxtAscRcv")))
        , m_tabs(*window.findChild<QTabBar *>(QStringLiteral("TabStrip1")))
        , m_open(*window.findChild<QPushButton *>(QStringLiteral("cmdComOpen")))
    {
    }

    Result run(const Case &benchCase, qint64 total)
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
        receive(cycle, total, result);
        result.bytesPerByte = (procStatusKiB("VmHWM:") - baseKiB) * 1024.0 / total;
        result.exact = result.complete && storeMatches(m_view.store(), cycle, total);
        QTest::mouseClick(&m_open, Qt::LeftButton);
        QTest::mouseClick(&m_tabs, Qt::LeftButton, {}, m_tabs.tabRect(benchCase.tab).center());
        return result;
    }

private:
    qint64 receivedBytes() const
    {
        const ReceiveStore &store = m_view.store();
        return store.mode() == ReceiveStore::Mode::Hex ? store.byteCount() : store.length();
    }

    void receive(const QByteArray &cycle, qint64 total, Result &result)
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
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        QElapsedTimer sinceTick;
        QObject::connect(&probe, &QTimer::timeout, &loop, [&] {
            result.worstDelayMs = std::max(result.worstDelayMs, sinceTick.nsecsElapsed() / 1e6 - 10);
            sinceTick.restart();
        });
        QTimer::singleShot(std::chrono::minutes(3), &loop, &QEventLoop::quit);

        clock.start();
        sinceTick.start();
        probe.start(10);
        std::thread writer(writeAll, m_pty.masterFd(), std::cref(cycle), total);
        loop.exec();
        const double seconds = clock.nsecsElapsed() / 1e9;
        writer.join();
        result.complete = receivedBytes() == total;
        result.whole = total / kMB / seconds;
        result.firstQuarter = total / 4 / kMB / (quarterAt / 1e9);
        result.lastQuarter = total / 4 / kMB / (seconds - threeQuartersAt / 1e9);
    }

    FrmMain &m_window;
    PtyPair &m_pty;
    ReceiveView &m_view;
    QTabBar &m_tabs;
    QPushButton &m_open;
};

struct Spread
{
    double median = 0;
    double low = 0;
    double high = 0;
};

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

void printCase(const Case &benchCase, const std::vector<Result> &runs, qint64 total)
{
    const bool complete = std::all_of(runs.begin(), runs.end(), [](const Result &r) { return r.complete; });
    const bool exact = std::all_of(runs.begin(), runs.end(), [](const Result &r) { return r.exact; });
    std::printf("%s: %lld MiB x %zu runs%s\n", benchCase.name, total >> 20, runs.size(),
                !complete ? "  INCOMPLETE" : exact ? ", content exact" : "  CONTENT DIFFERS");
    const Spread ceiling = spreadOf(runs, &Result::ceiling);
    const Spread whole = spreadOf(runs, &Result::whole);
    const Spread first = spreadOf(runs, &Result::firstQuarter);
    const Spread last = spreadOf(runs, &Result::lastQuarter);
    const Spread memory = spreadOf(runs, &Result::bytesPerByte);
    const Spread delay = spreadOf(runs, &Result::worstDelayMs);
    printRow("ceiling, bare reader", ceiling, "MB/s", QString());
    printRow("into the box, whole run", whole, "MB/s",
             QStringLiteral("%1 x ceiling (>= 0.5)").arg(whole.median / ceiling.median, 0, 'f', 2));
    printRow("into the box, first quarter", first, "MB/s", QString());
    printRow("into the box, last quarter", last, "MB/s",
             QStringLiteral("%1 x first quarter (>= 0.8)").arg(last.median / first.median, 0, 'f', 2));
    printRow("peak resident memory", memory, "B per B",
             QStringLiteral("worst %1 (<= %2)")
                 .arg(memory.high, 0, 'f', 2)
                 .arg(benchCase.content == Content::Random ? "1.25" : "2.5"));
    printRow("worst 10 ms timer delay", delay, "ms", QStringLiteral("worst %1 (<= 50)").arg(delay.high, 0, 'f', 1));
}

int envValue(const char *name, int fallback)
{
    const int value = qEnvironmentVariableIntValue(name);
    return value > 0 ? value : fallback;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Smaller and fewer while developing; the figures are for 64 MiB, 3 runs.
    const qint64 total = qint64(envValue("TOLVANE_BENCH_MIB", 64)) << 20;
    const int repeats = envValue("TOLVANE_BENCH_RUNS", 3);

    QTemporaryDir dir;
    qputenv("TOLVANE_PORT_DIR", dir.path().toLocal8Bit());
    PtyPair pty(dir.path(), 3);
    FrmMain window;
    window.show();
    if (!pty.isValid() || !QTest::qWaitForWindowExposed(&window))
        return 1;
    Runner runner(window, pty);

    const Case cases[] = {
        {"text, CR LF every 80 characters", Content::Lines, 0},
        {"text, no line break", Content::Unbroken, 0},
        {"hex, random bytes", Content::Random, 1},
    };
    std::printf("medians of %d runs, range low-high; MB = 10^6 bytes\n", repeats);
    for (const Case &benchCase : cases) {
        std::vector<Result> runs;
        for (int i = 0; i < repeats; ++i)
            runs.push_back(runner.run(benchCase, total));
        printCase(benchCase, runs, total);
    }
    return 0;
}
