// SPDX-License-Identifier: MIT
#include "capture/hexgroups.h"
#include "capture/matchcounter.h"
#include "capture/receivesearch.h"
#include "capture/receivestore.h"
#include "capture/spillfile.h"
#include "capture/spillnotice.h"
#include "failingreader.h"
#include "receive/rowlayout.h"
#include "receive/showntext.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

// What the receive box makes of its store without a window: rows, and
// bytes that cannot be read back, and counting matches.
class TstReceiveData : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void hexRowsFitTheBoxWithEveryOption_data();
    void hexRowsFitTheBoxWithEveryOption();
    void leavesAnUnreadableBlockOutOfTextCopyAndSearch_data();
    void leavesAnUnreadableBlockOutOfTextCopyAndSearch();
    void countsMatchesAfterReturning();

private:
    QTemporaryDir m_cache;
};

namespace {

constexpr qint64 kBlock = qint64(1) << 16;

} // namespace

void TstReceiveData::initTestCase()
{
    QVERIFY(m_cache.isValid());
    qputenv("XDG_CACHE_HOME", m_cache.path().toLocal8Bit());
}

void TstReceiveData::hexRowsFitTheBoxWithEveryOption_data()
{
    QTest::addColumn<bool>("stamps");
    QTest::addColumn<bool>("sixteen");
    QTest::addColumn<int>("rows");

    // 18 bytes, a pause, 1 byte; the box is 76 columns wide. Only times
    // start a row at a pause.
    QTest::newRow("running dump") << false << false << 1;
    QTest::newRow("running dump with times") << true << false << 2;
    QTest::newRow("sixteen bytes") << false << true << 2;
    QTest::newRow("sixteen bytes with times on rows of their own") << true << true << 5;
}

void TstReceiveData::hexRowsFitTheBoxWithEveryOption()
{
    QFETCH(bool, stamps);
    QFETCH(bool, sixteen);
    QFETCH(int, rows);

    ReceiveStore store;
    RowLayout layout(store);
    layout.setColumns(76);
    layout.setDecorations(stamps, sixteen);
    store.appendBytes("0123456789abcdefXY", 1000);
    store.appendBytes("Z", 1500);
    layout.sync();
    QStringList shown;
    for (qint64 row = 0; row < layout.rowCount(); ++row) {
        shown.append(layout.displayText(row));
        QVERIFY2(shown.last().size() <= 76, qPrintable(shown.last()));
    }
    QCOMPARE(shown.size(), rows);
    const QString all = shown.join(u'\n');
    QCOMPARE(all.count(QRegularExpression(QStringLiteral("\\[\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\]"))), stamps ? 2 : 0);
    QCOMPARE(all.contains(QStringLiteral("0123456789abcdef")), sixteen);
    QVERIFY(all.contains(QStringLiteral("58 59")) && all.contains(QStringLiteral("5A")));
}

void TstReceiveData::leavesAnUnreadableBlockOutOfTextCopyAndSearch_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<qint64>("matches");
    QTest::addColumn<bool>("stamps");

    // A needle lies in the unreadable second block and in the third.
    QTest::newRow("text: the needle it held is not found") << false << u"NEEDLE"_qs << qint64(1) << false;
    QTest::newRow("hex: the needle it held is not found") << true << u"4E 45 45 44 4C 45"_qs << qint64(1) << false;
    QTest::newRow("hex: it holds no zeros") << true << u"00"_qs << qint64(0) << false;
    QTest::newRow("hex with a time every 4 KiB: one row all the same") << true << u"00"_qs << qint64(0) << true;
}

void TstReceiveData::leavesAnUnreadableBlockOutOfTextCopyAndSearch()
{
    QFETCH(bool, hex);
    QFETCH(QString, pattern);
    QFETCH(qint64, matches);
    QFETCH(bool, stamps);

    const auto budget = qScopeGuard([previous = SpillFile::memoryBudget()] { SpillFile::setMemoryBudget(previous); });
    SpillFile::setMemoryBudget(0);
    QByteArray data;
    while (data.size() < 3 * kBlock + 100)
        data += "line 0123456789\r\n";
    data.replace(kBlock + 1000, 6, "NEEDLE");
    data.replace(2 * kBlock + 1000, 6, "NEEDLE");
    FailingReader reader(data, {kBlock});
    QSignalSpy notices(&SpillNotice::instance(), &SpillNotice::unreadable);
    QVERIFY(notices.isValid());
    ReceiveStore store;
    store.setBlockReader(&reader);
    for (qint64 at = 0; hex && at < data.size(); at += 4096)
        store.appendBytes(QByteArrayView(data).sliced(at).first(qMin<qint64>(4096, data.size() - at)), at / 4096 * 200);
    if (!hex)
        store.appendCp932(data);

    ReceiveSearch search;
    QVERIFY(search.setPattern(pattern, hex));
    QCOMPARE(search.count(store), matches);
    const QByteArray readable = data.first(kBlock) + data.sliced(2 * kBlock);
    QCOMPARE(store.text(), hex ? hexgroups::format(readable) : QString::fromLatin1(readable));

    // One marked row stands for the whole block.
    RowLayout layout(store);
    layout.setColumns(76);
    layout.setDecorations(stamps, hex);
    layout.sync();
    QList<qint64> marked;
    for (qint64 row = 0; row < layout.rowCount(); ++row) {
        QVERIFY(layout.displayText(row).size() <= 76);
        QCOMPARE(layout.isUnreadable(row), layout.displayText(row).contains(u"読み戻せない受信データ 65536 バイト"));
        if (layout.isUnreadable(row))
            marked.append(layout.rowStart(row));
    }
    const qint64 width = hex ? hexgroups::kGroupWidth : 1;
    QCOMPARE(marked, QList<qint64>{kBlock * width});
    QCOMPARE(layout.rowEnd(layout.rowOf(kBlock * width)), 2 * kBlock * width);

    QBuffer out;
    QVERIFY(out.open(QIODevice::WriteOnly));
    QString error;
    QVERIFY(!showntext::write(layout, store, out, 0, store.length(), &error));
    QVERIFY2(error.contains(u"Input/output error"), qPrintable(error));
    QCOMPARE(reader.failures(), 1);
    QCOMPARE(notices.count(), 1);
    store.clear();
}

void TstReceiveData::countsMatchesAfterReturning()
{
    ReceiveStore store;
    // Over a megabyte, more than one slice of counting.
    store.appendCp932((QByteArray(96, 'x') + "ab\r\n").repeated(12000));
    ReceiveSearch search;
    QVERIFY(search.setPattern(u"ab"_qs, false));
    MatchCounter counter(store);
    QSignalSpy counted(&counter, &MatchCounter::counted);
    QVERIFY(counted.isValid());
    counter.start(search);
    QVERIFY(counted.isEmpty());
    QVERIFY(counted.wait());
    QCOMPARE(counted.takeFirst().constFirst().toLongLong(), 12000);

    // Emptied while counting: the count is of what the box holds then.
    counter.start(search);
    store.clear();
    store.appendCp932("ab ab");
    QVERIFY(counted.wait());
    QCOMPARE(counted.takeFirst().constFirst().toLongLong(), 2);
}

QTEST_GUILESS_MAIN(TstReceiveData)
#include "tst_receivedata.moc"
