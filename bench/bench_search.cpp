// SPDX-License-Identifier: MIT
// How long a key typed in the find window keeps the operator waiting over
// a 256 MiB receive box: the key's own handling, the frame that marks the
// matches, and the longest slice of counting a key can arrive behind.

#include "benchstream.h"
#include "receive/findwindow.h"
#include "receive/receiveview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace benchstream;

// The event loop's longest stall while it runs for ms, measured by a 1 ms timer.
double runLoop(int ms)
{
    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    double worst = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
        worst = std::max(worst, sinceTick.nsecsElapsed() / 1e6 - 1);
        sinceTick.restart();
    });
    clock.start();
    sinceTick.start();
    tick.start(1);
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return worst;
}

struct Figures
{
    std::vector<double> keyMs;
    double worstOwnMs = 0;
    double countSeconds = 0;
};

// Types the keys 40 ms apart; each key's delay is its handling and the
// repaint, plus the longest stall of the loop until the next key.
Figures typeInto(ReceiveView &view, QLineEdit &field, const QString &keys, QLabel &count)
{
    Figures figures;
    for (const QChar key : keys) {
        QElapsedTimer clock;
        clock.start();
        QTest::keyClick(&field, key.toLatin1());
        view.viewport()->repaint();
        const double own = clock.nsecsElapsed() / 1e6;
        figures.worstOwnMs = std::max(figures.worstOwnMs, own);
        figures.keyMs.push_back(own + runLoop(40));
    }
    QElapsedTimer clock;
    clock.start();
    while (!count.text().endsWith(QStringLiteral("件")))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    figures.countSeconds = clock.nsecsElapsed() / 1e9;
    for (int i = 0; i < keys.size(); ++i)
        QTest::keyClick(&field, Qt::Key_Backspace);
    QCoreApplication::processEvents();
    return figures;
}

void fill(ReceiveView &view, bool hex, qint64 bytes)
{
    const QByteArray cycle = makeCycle(hex ? Content::Random : Content::Lines);
    for (qint64 at = 0; at < bytes; at += cycle.size()) {
        const QByteArrayView piece = QByteArrayView(cycle).first(std::min<qint64>(cycle.size(), bytes - at));
        hex ? view.appendBytes(piece) : view.appendCp932(piece);
    }
}

void report(const char *what, std::vector<double> delays, double worstOwnMs, double countSeconds)
{
    std::sort(delays.begin(), delays.end());
    const double p99 = delays[std::min(delays.size() - 1, size_t(delays.size() * 0.99))];
    std::printf("  %-28s keys %3zu  max %6.1f ms  p99 %6.1f ms  (<= 50)  key and frame alone max %5.1f ms  count %.2f s\n",
                what, delays.size(), delays.back(), p99, worstOwnMs, countSeconds);
}

void measure(bool hex, qint64 bytes, const QStringList &patterns)
{
    ReceiveView view;
    view.resize(560, 300);
    view.show();
    if (hex)
        view.appendBytes("x");
    fill(view, hex, bytes);
    QCoreApplication::processEvents();
    FindWindow find(&view, nullptr);
    find.show();
    auto *field = find.findChild<QLineEdit *>(QStringLiteral("txtFind"));
    auto *count = find.findChild<QLabel *>(QStringLiteral("lblMatches"));
    for (const QString &pattern : patterns) {
        const Figures figures = typeInto(view, *field, pattern, *count);
        report(qPrintable(QStringLiteral("%1 \"%2\"").arg(hex ? u"hex" : u"text", pattern)), figures.keyMs,
               figures.worstOwnMs, figures.countSeconds);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int mib = qEnvironmentVariableIntValue("TOLVANE_BENCH_SEARCH_MIB");
    const qint64 bytes = qint64(mib > 0 ? mib : 256) << 20;
    std::printf("keystroke delay in the find window, %lld MiB box; load average %s\n", bytes >> 20,
                qPrintable(loadAverage()));
    measure(false, bytes, {QStringLiteral("no such line"), QStringLiteral("line")});
    measure(true, bytes, {QStringLiteral("0D 0A 0D 0A"), QStringLiteral("FF")});
    std::printf("load average after: %s\n", qPrintable(loadAverage()));
    return 0;
}
