// SPDX-License-Identifier: MIT
// What the window costs and how soon a byte shows while a board talks at
// the rates real lines carry. The window runs in a process of its own on
// an X server this program starts (Xvfb, xcb platform); a pseudo-terminal
// is fed 80-byte text lines, one a write, or on the hex tab random bytes,
// what is due every millisecond. Read from /proc: the window's and the X
// server's CPU (% of one core, all threads) and the window's context
// switches, voluntary (involuntary in parentheses); seen through X DAMAGE
// from this process: the time from a write to the next change of the
// window's pixels. A bare reader (read() into a buffer) fed the same
// writes in the same run stands beside it as the floor. The "network"
// cases put the window's port on a far pseudo-terminal served by ser2net
// (RFC 2217, then raw TCP) beside the local one, idle and at 11,520 B/s.
//
//   TOLVANE_LINERATE_SECONDS  seconds per case (10)
//   TOLVANE_LINERATE_SAMPLES  isolated bytes timed when idle (200)

#include "linerateprobe.h"
#include "windowhost.h"

#include <QCoreApplication>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>
#include <cstdio>
#include <cstring>

namespace {

using namespace std::chrono_literals;
using benchstream::Content;
using Figures = LinerateProbe::Figures;

int envValue(const char *name, int fallback)
{
    const int value = qEnvironmentVariableIntValue(name);
    return value > 0 ? value : fallback;
}

void printHeader()
{
    std::printf("load %s\n", qPrintable(benchstream::loadAverage()));
    std::printf("  %-30s %7s %6s %15s %24s  %-22s %s\n", "case", "CPU %", "+X %", "switches/s",
                "delay p50/p99/max ms (n)", "bare reader CPU %, sw/s", "MB/s window, bare");
}

void printRow(const char *name, const Figures &f, bool bare)
{
    const QString switches = QStringLiteral("%1 (%2)").arg(f.window.voluntary, 0, 'f', 0).arg(f.window.involuntary, 0, 'f', 0);
    const QString delay = f.samples == 0 ? QStringLiteral("-")
                                         : QStringLiteral("%1/%2/%3 (%4%5)")
                                               .arg(f.p50, 0, 'f', 1).arg(f.p99, 0, 'f', 1).arg(f.max, 0, 'f', 1)
                                               .arg(f.samples)
                                               .arg(f.unseen ? QStringLiteral(", %1 unseen").arg(f.unseen) : QString());
    const QString floor = bare ? QStringLiteral("%1, %2").arg(f.bare.cpuPercent, 0, 'f', 1).arg(f.bare.voluntary, 0, 'f', 0)
                               : QString();
    const QString rate = f.windowMBs > 0 ? QStringLiteral("%1, %2").arg(f.windowMBs, 0, 'f', 3).arg(f.bareMBs, 0, 'f', 3)
                                         : QString();
    std::printf("  %-30s %7.1f %6.1f %15s %24s  %-22s %s\n", name, f.window.cpuPercent, f.xServer.cpuPercent,
                qPrintable(switches), qPrintable(delay), qPrintable(floor), qPrintable(rate));
    std::fflush(stdout);
}

// TOLVANE_BENCH_ONLY=word runs only the cases whose name holds the word.
bool wanted(const QString &name)
{
    const QString only = qEnvironmentVariable("TOLVANE_BENCH_ONLY");
    return only.isEmpty() || name.contains(only);
}

struct Rate
{
    const char *name;
    double bytesPerSecond;
};

constexpr Rate kRates[] = {{"11,520 B/s", 11520}, {"115,200 B/s", 115200}, {"1.2 MB/s", 1.2e6}, {"unpaced", 0}};

LineFeeder::Pace paceOf(Content content, double rate)
{
    // Text: one line a write; bytes: what is due every millisecond.
    return content == Content::Lines ? LineFeeder::Pace{rate, 80, {}} : LineFeeder::Pace{rate, 0, 1000us};
}

void runTab(LinerateProbe &probe, const char *tab, Content content, std::chrono::milliseconds duration, int samples)
{
    (void)probe.window().command(content == Content::Lines ? "tab 0" : "tab 1");
    for (const Rate &rate : kRates) {
        const QString name = QStringLiteral("%1, %2").arg(QLatin1String(tab), QLatin1String(rate.name));
        if (wanted(name))
            printRow(qPrintable(name), probe.stream(content, paceOf(content, rate.bytesPerSecond), duration), true);
    }
    const QString name = QStringLiteral("%1, idle, isolated byte").arg(QLatin1String(tab));
    if (wanted(name))
        printRow(qPrintable(name), probe.idle(content, duration / 2, samples), false);
}

void runRecording(LinerateProbe &probe, std::chrono::milliseconds duration, int samples)
{
    const QString names[] = {QStringLiteral("text, recording, 11,520 B/s"), QStringLiteral("text, recording, 1.2 MB/s"),
                             QStringLiteral("text, recording, idle")};
    if (std::none_of(std::begin(names), std::end(names), wanted))
        return;
    if (!probe.window().command("tab 0") || !probe.window().command("record " + probe.recordPath().toLocal8Bit())) {
        std::printf("  recording did not start\n");
        return;
    }
    for (const Rate &rate : {kRates[0], kRates[2]}) {
        const QString name = QStringLiteral("text, recording, %1").arg(QLatin1String(rate.name));
        if (wanted(name))
            printRow(qPrintable(name), probe.stream(Content::Lines, paceOf(Content::Lines, rate.bytesPerSecond), duration), true);
    }
    if (wanted(QStringLiteral("text, recording, idle")))
        printRow("text, recording, idle", probe.idle(Content::Lines, duration / 2, samples), false);
    (void)probe.window().command("stop");
}

struct Route
{
    const char *name;
    std::optional<Ser2netDaemon::Accepter> accepter;
};

constexpr Route kRoutes[] = {{"local", std::nullopt},
                             {"rfc2217", Ser2netDaemon::Accepter::Rfc2217},
                             {"raw TCP", Ser2netDaemon::Accepter::RawTcp}};

// The window's port on the local pseudo-terminal, then on a far one that
// ser2net serves, measured back to back so that the medians compare.
void runNetwork(LinerateProbe &probe, std::chrono::milliseconds duration, int samples)
{
    std::vector<std::pair<const char *, std::pair<double, double>>> medians;
    for (const Route &route : kRoutes) {
        const QString idleName = QStringLiteral("network %1, idle byte").arg(QLatin1String(route.name));
        const QString rateName = QStringLiteral("network %1, 11,520 B/s").arg(QLatin1String(route.name));
        if (!wanted(idleName) && !wanted(rateName))
            continue;
        if (!probe.window().command("tab 0") || !probe.route(route.accepter)) {
            std::printf("  %s: %s\n", route.name, qPrintable(probe.failure()));
            continue;
        }
        const Figures idle = wanted(idleName) ? probe.idle(Content::Lines, duration / 2, samples) : Figures{};
        if (wanted(idleName))
            printRow(qPrintable(idleName), idle, false);
        const Figures rate = wanted(rateName) ? probe.stream(Content::Lines, paceOf(Content::Lines, 11520), duration)
                                              : Figures{};
        if (wanted(rateName))
            printRow(qPrintable(rateName), rate, false);
        medians.push_back({route.name, {idle.p50, rate.p50}});
    }
    (void)probe.route(std::nullopt);
    if (medians.empty() || std::strcmp(medians.front().first, "local") != 0)
        return;
    const auto local = medians.front().second;
    for (auto it = medians.begin() + 1; it != medians.end(); ++it)
        std::printf("  %s median above local: idle %+.1f ms, 11,520 B/s %+.1f ms (target <= 5 ms)\n", it->first,
                    it->second.first - local.first, it->second.second - local.second);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--window") == 0)
        return WindowHost::serve(argc, argv);
    QCoreApplication app(argc, argv);
    const std::chrono::milliseconds duration(1000 * envValue("TOLVANE_LINERATE_SECONDS", 10));
    const int samples = envValue("TOLVANE_LINERATE_SAMPLES", 200);
    LinerateProbe probe;
    if (!probe.setUp(QCoreApplication::applicationFilePath())) {
        std::fprintf(stderr, "bench_linerate: %s\n", qPrintable(probe.failure()));
        return 1;
    }
    std::printf("window on Xvfb (xcb), %lld s a case; targets at 11,520 B/s: CPU <= 4 %%, with X <= 6 %%, <= 300 "
                "switches/s, p50 <= 8 ms, p99 <= 17 ms; 1.2 MB/s: CPU <= 15 %%, p99 <= 33 ms; idle <= 1 switch/s, "
                "isolated byte p50 <= 3 ms, p99 <= 6 ms\n",
                static_cast<long long>(duration.count() / 1000));
    printHeader();
    runTab(probe, "text", Content::Lines, duration, samples);
    runTab(probe, "hex", Content::Random, duration, samples);
    runRecording(probe, duration, samples);
    runNetwork(probe, duration, samples);
    for (const bool terminal : {false, true}) {
        if (!wanted(terminal ? QStringLiteral("cli monitor, 11,520 B/s, pty") : QStringLiteral("cli monitor, 11,520 B/s, pipe")))
            continue;
        const Figures cli = probe.cliMonitor(QStringLiteral(TOLVANE_CLI), terminal, 11520, duration);
        printRow(terminal ? "cli monitor, 11,520 B/s, pty" : "cli monitor, 11,520 B/s, pipe", cli, false);
    }
    std::printf("load %s\n", qPrintable(benchstream::loadAverage()));
    return 0;
}
