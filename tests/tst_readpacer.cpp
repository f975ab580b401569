// SPDX-License-Identifier: MIT
#include "serial/readpacer.h"

#include <QtTest>

#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = ReadPacer::Clock;

constexpr auto kRest = 14ms;

struct Take
{
    Clock::time_point at;
    Clock::duration worstWait;
};

// The port as the window reads it: bytes that come while reading rests wait
// for its end, bytes that find it awake are taken at once.
std::vector<Take> takesOf(ReadPacer &pacer, std::chrono::microseconds every, qint64 piece, int pieces)
{
    std::vector<Take> takes;
    std::vector<Clock::time_point> waiting;
    Clock::time_point resume{};
    const auto take = [&](Clock::time_point at) {
        takes.push_back({at, at - waiting.front()});
        resume = at + pacer.took(at, piece * qint64(waiting.size()));
        waiting.clear();
    };
    const Clock::time_point start = Clock::time_point() + 1h;
    for (int i = 0; i < pieces; ++i) {
        const Clock::time_point arrival = start + every * i;
        if (!waiting.empty() && resume <= arrival)
            take(resume);
        waiting.push_back(arrival);
        if (pacer.mayTake(arrival))
            take(arrival);
    }
    if (!waiting.empty())
        take(std::max(resume, waiting.back()));
    return takes;
}

} // namespace

class TstReadPacer : public QObject
{
    Q_OBJECT

private slots:
    void holdsNoByteLongerThanItsRest_data();
    void holdsNoByteLongerThanItsRest();
};

void TstReadPacer::holdsNoByteLongerThanItsRest_data()
{
    QTest::addColumn<int>("everyUs");
    QTest::addColumn<qint64>("piece");
    QTest::addColumn<int>("worstWaitUs");
    QTest::addColumn<int>("fewestTakesApartUs");
    // From the third take on, once the pacer has seen the rate.
    QTest::addColumn<int>("settledWaitUs");

    QTest::newRow("isolated bytes: at once") << 100000 << qint64(1) << 0 << 100000 << 0;
    QTest::newRow("text lines at 11,520 B/s") << 6944 << qint64(80) << 14000 << 14000 << 14000;
    QTest::newRow("what is due every ms") << 1000 << qint64(12) << 14000 << 14000 << 14000;
    QTest::newRow("1.2 MB/s: a rest's worth is a full take") << 1000 << qint64(1200) << 14000 << 0 << 14000;
    QTest::newRow("200 kB/s") << 1000 << qint64(200) << 14000 << 14000 << 14000;
    QTest::newRow("a flood: rests once at most") << 1000 << qint64(64 * 1024) << 14000 << 0 << 0;
}

void TstReadPacer::holdsNoByteLongerThanItsRest()
{
    QFETCH(int, everyUs);
    QFETCH(qint64, piece);
    QFETCH(int, worstWaitUs);
    QFETCH(int, fewestTakesApartUs);
    QFETCH(int, settledWaitUs);

    ReadPacer pacer(kRest);
    const std::vector<Take> takes = takesOf(pacer, std::chrono::microseconds(everyUs), piece, 2000);
    QVERIFY(!takes.empty());
    for (size_t i = 0; i < takes.size(); ++i) {
        const int boundUs = i >= 2 ? settledWaitUs : worstWaitUs;
        QVERIFY2(takes[i].worstWait <= std::chrono::microseconds(boundUs), qPrintable(QString::number(i)));
        if (i > 0)
            QVERIFY(takes[i].at - takes[i - 1].at >= std::chrono::microseconds(fewestTakesApartUs));
    }
}

QTEST_APPLESS_MAIN(TstReadPacer)
#include "tst_readpacer.moc"
