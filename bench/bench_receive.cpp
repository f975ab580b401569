// SPDX-License-Identifier: MIT
// How fast the receive box takes what the board sends, drawn in the real
// main window (offscreen) with the port open on a pseudo-terminal that is
// written at full speed from the board's side; next to it the same
// pseudo-terminal's ceiling with a bare reader.

#include "app/frmmain.h"
#include "ptypair.h"
#include "receiverun.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace benchstream;
using namespace receiverun;

void printCase(const Case &benchCase, const std::vector<Result> &runs, qint64 total)
{
    const bool complete = std::all_of(runs.begin(), runs.end(), [](const Result &r) { return r.complete; });
    const bool exact = std::all_of(runs.begin(), runs.end(), [](const Result &r) { return r.exact; });
    std::printf("%s: %lld MiB x %zu runs%s\n", benchCase.name, total >> 20, runs.size(),
                !complete ? "  INCOMPLETE" : exact ? ", content exact" : "  CONTENT DIFFERS");
    const Spread ceiling = spreadOf(runs, &Result::ceiling);
    // The bare reader is measured just before each run: a run is held to its own.
    double worstShare = 1e9;
    for (const Result &run : runs)
        worstShare = std::min(worstShare, run.ceiling > 0 ? run.whole / run.ceiling : 0);
    const Spread whole = spreadOf(runs, &Result::whole);
    const Spread first = spreadOf(runs, &Result::firstQuarter);
    const Spread last = spreadOf(runs, &Result::lastQuarter);
    const Spread memory = spreadOf(runs, &Result::bytesPerByte);
    const Spread delay = spreadOf(runs, &Result::worstDelayMs);
    printRow("ceiling, bare reader", ceiling, "MB/s", QString());
    printRow("into the box, whole run", whole, "MB/s",
             QStringLiteral("%1 x ceiling, worst run %2 (>= 0.5 each)")
                 .arg(whole.median / ceiling.median, 0, 'f', 2)
                 .arg(worstShare, 0, 'f', 2));
    printRow("into the box, first quarter", first, "MB/s", QString());
    printRow("into the box, last quarter", last, "MB/s",
             QStringLiteral("%1 x first quarter (>= 0.8)").arg(last.median / first.median, 0, 'f', 2));
    printRow("peak resident memory", memory, "B per B",
             QStringLiteral("worst %1 (<= %2)")
                 .arg(memory.high, 0, 'f', 2)
                 .arg(benchCase.content == Content::Random ? "1.25" : "2.5"));
    printRow("worst 10 ms timer delay", delay, "ms", QStringLiteral("worst %1 (<= 20)").arg(delay.high, 0, 'f', 1));
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
    // Smaller and fewer while developing; the figures are for 64 MiB, 5 runs.
    const qint64 total = qint64(envValue("TOLVANE_BENCH_MIB", 64)) << 20;
    const int repeats = envValue("TOLVANE_BENCH_RUNS", 5);

    QTemporaryDir dir;
    qputenv("TOLVANE_PORT_DIR", dir.path().toLocal8Bit());
    PtyPair pty(dir.path(), 3);
    FrmMain window;
    window.show();
    if (!pty.isValid() || !QTest::qWaitForWindowExposed(&window))
        return 1;
    Runner runner(window, pty, QString());

    const Case cases[] = {
        {"text, CR LF every 80 characters", Content::Lines, 0},
        {"text, no line break", Content::Unbroken, 0},
        {"text, CP932 lines, two thirds kanji", Content::Cp932Lines, 0},
        {"text, random bytes", Content::RandomText, 0},
        {"hex, random bytes", Content::Random, 1},
    };
    std::printf("medians of %d runs, range low-high; MB = 10^6 bytes; load %s\n", repeats,
                qPrintable(loadAverage()));
    // TOLVANE_BENCH_ONLY runs only the cases whose name holds it, to profile one.
    const QByteArray only = qgetenv("TOLVANE_BENCH_ONLY");
    for (const Case &benchCase : cases) {
        if (!QByteArray(benchCase.name).contains(only))
            continue;
        std::vector<Result> runs;
        for (int i = 0; i < repeats; ++i)
            runs.push_back(runner.run(benchCase, total));
        printCase(benchCase, runs, total);
    }
    std::printf("load %s\n", qPrintable(loadAverage()));
    return 0;
}
