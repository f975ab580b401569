// SPDX-License-Identifier: MIT
// What recording, timestamps and search cost the receive box: the same
// full-speed stream received with and without a raw recording in the same
// run, text with times before every line, and a search through a 256 MiB
// store for a pattern that is not there.

#include "app/frmmain.h"
#include "ptypair.h"
#include "capture/receivesearch.h"
#include "capture/receivestore.h"
#include "receiverun.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace benchstream;
using namespace receiverun;

int envValue(const char *name, int fallback)
{
    const int value = qEnvironmentVariableIntValue(name);
    return value > 0 ? value : fallback;
}

bool allOf(const std::vector<Result> &runs, bool Result::*field)
{
    return std::all_of(runs.begin(), runs.end(), [field](const Result &r) { return r.*field; });
}

// Runs the case with and without recording in turn, so that both see the same load.
void compareRecording(Runner &runner, Case benchCase, qint64 total, int repeats)
{
    std::vector<Result> plain;
    std::vector<Result> recorded;
    for (int i = 0; i < repeats; ++i) {
        benchCase.record = false;
        plain.push_back(runner.run(benchCase, total));
        benchCase.record = true;
        recorded.push_back(runner.run(benchCase, total));
    }
    std::printf("%s: %lld MiB x %d runs%s%s\n", benchCase.name, total >> 20, repeats,
                allOf(recorded, &Result::exact) && allOf(plain, &Result::exact) ? ", box exact" : "  BOX DIFFERS",
                allOf(recorded, &Result::recordExact) ? ", file equal to what was sent" : "  FILE DIFFERS");
    const Spread ceiling = spreadOf(recorded, &Result::ceiling);
    const Spread without = spreadOf(plain, &Result::whole);
    const Spread with = spreadOf(recorded, &Result::whole);
    const Spread delay = spreadOf(recorded, &Result::worstDelayMs);
    printRow("ceiling, bare reader", ceiling, "MB/s", QString());
    printRow("into the box, not recording", without, "MB/s", QString());
    printRow("into the box, raw recording", with, "MB/s",
             QStringLiteral("%1 x not recording (>= 0.9)").arg(with.median / without.median, 0, 'f', 2));
    printRow("worst 10 ms timer delay", delay, "ms",
             QStringLiteral("worst %1 (<= 50), %2 not recording")
                 .arg(delay.high, 0, 'f', 1)
                 .arg(spreadOf(plain, &Result::worstDelayMs).high, 0, 'f', 1));
}

void measureTimestamps(Runner &runner, qint64 total, int repeats)
{
    const Case benchCase{"text with timestamps, CR LF every 80 characters", Content::Lines, 0, false, true};
    std::vector<Result> runs;
    for (int i = 0; i < repeats; ++i)
        runs.push_back(runner.run(benchCase, total));
    std::printf("%s: %lld MiB x %d runs%s\n", benchCase.name, total >> 20, repeats,
                allOf(runs, &Result::exact) ? ", content exact" : "  CONTENT DIFFERS");
    const Spread memory = spreadOf(runs, &Result::bytesPerByte);
    // Per character: 2.5 bytes, plus 16 bytes for each line of 80.
    const double lineAllowance = 16.0 / 80;
    printRow("ceiling, bare reader", spreadOf(runs, &Result::ceiling), "MB/s", QString());
    printRow("into the box", spreadOf(runs, &Result::whole), "MB/s", QString());
    printRow("peak resident memory", memory, "B per char",
             QStringLiteral("worst %1 (<= 2.5 + 16/line = %2)").arg(memory.high, 0, 'f', 2).arg(2.5 + lineAllowance, 0, 'f', 2));
    const Spread delay = spreadOf(runs, &Result::worstDelayMs);
    printRow("worst 10 ms timer delay", delay, "ms", QStringLiteral("worst %1 (<= 50)").arg(delay.high, 0, 'f', 1));
}

// Seconds to search the whole store for a pattern it does not hold.
double searchSeconds(const ReceiveStore &store, const QString &pattern, bool hex)
{
    ReceiveSearch search;
    (void)search.setPattern(pattern, hex);
    QElapsedTimer clock;
    clock.start();
    const qint64 found = search.next(store, 0);
    const double seconds = clock.nsecsElapsed() / 1e9;
    return found < 0 ? seconds : -1;
}

void measureSearch(qint64 storeBytes)
{
    std::printf("search for a pattern that is not there: %lld MiB store\n", storeBytes >> 20);
    const QByteArray cycle = makeCycle(Content::Random);
    {
        ReceiveStore store;
        for (qint64 at = 0; at < storeBytes; at += kPeriod)
            store.appendBytes(QByteArrayView(cycle).first(std::min(kPeriod, storeBytes - at)));
        const double seconds = searchSeconds(store, QStringLiteral("0D 0A 0D 0A 0D 0A 0D 0A"), true);
        printRow("hex, 8 bytes", Spread{seconds, seconds, seconds}, "s", QStringLiteral("(<= 1)"));
    }
    {
        const QByteArray text = makeCycle(Content::Lines);
        ReceiveStore store;
        for (qint64 at = 0; at < storeBytes; at += text.size())
            store.appendCp932(QByteArrayView(text).first(std::min<qint64>(text.size(), storeBytes - at)));
        const double seconds = searchSeconds(store, QStringLiteral("no such line"), false);
        printRow("text, 12 characters", Spread{seconds, seconds, seconds}, "s", QStringLiteral("(<= 1)"));
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Smaller and fewer while developing; the figures are for 64 MiB, 3 runs, a 256 MiB store.
    const qint64 total = qint64(envValue("TOLVANE_BENCH_MIB", 64)) << 20;
    const int repeats = envValue("TOLVANE_BENCH_RUNS", 3);
    const qint64 storeBytes = qint64(envValue("TOLVANE_BENCH_SEARCH_MIB", 256)) << 20;

    QTemporaryDir dir;
    qputenv("TOLVANE_PORT_DIR", dir.path().toLocal8Bit());
    PtyPair pty(dir.path(), 3);
    FrmMain window;
    window.show();
    if (!pty.isValid() || !QTest::qWaitForWindowExposed(&window))
        return 1;
    Runner runner(window, pty, dir.filePath(QStringLiteral("record.bin")));

    std::printf("medians of %d runs, range low-high; MB = 10^6 bytes\n", repeats);
    compareRecording(runner, {"text, CR LF every 80 characters", Content::Lines, 0}, total, repeats);
    compareRecording(runner, {"hex, random bytes", Content::Random, 1}, total, repeats);
    measureTimestamps(runner, total, repeats);
    measureSearch(storeBytes);
    return 0;
}
