// SPDX-License-Identifier: MIT
#include "capture/receivesearch.h"
#include "capture/receivestore.h"
#include "serial/cp932codec.h"
#include "capture/recordlines.h"

#include <QtTest>

#include <ctime>

namespace {

// 2026-12-07 13:45:01.234 UTC
constexpr qint64 kTime = 1796651101234;
const QString kStamp = QStringLiteral("[2026-12-07 13:45:01.234] ");

} // namespace

class TstRecordLines : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void stampsEveryLineOnce_data();
    void stampsEveryLineOnce();
    void findsMatchesAcrossStoreBlocks_data();
    void findsMatchesAcrossStoreBlocks();
    void findsTextOnlyWhereCharactersStart();
};

void TstRecordLines::initTestCase()
{
    qputenv("TZ", "UTC");
    ::tzset();
}

void TstRecordLines::stampsEveryLineOnce_data()
{
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<QString>("written");

    // A piece "#event" stands for a marker.
    const QString s = kStamp;
    QTest::newRow("CR LF, LF and CR each end a line")
        << QStringList{u"a\r\nb\nc\rd"_qs} << s + "a\n" + s + "b\n" + s + "c\n" + s + "d";
    QTest::newRow("CR LF split over two pieces is one break")
        << QStringList{u"a\r"_qs, u"\nb"_qs} << s + "a\n" + s + "b";
    QTest::newRow("an empty line keeps its time") << QStringList{u"\n\n"_qs} << s + "\n" + s + "\n";
    QTest::newRow("a line in two pieces is stamped once")
        << QStringList{u"ab"_qs, u"cd\n"_qs} << s + "abcd\n";
    QTest::newRow("a marker ends the line under way")
        << QStringList{u"ab"_qs, u"#ポートクローズ COM3 /dev/pts/4"_qs, u"c"_qs}
        << s + "ab\n" + s + "--- ポートクローズ COM3 /dev/pts/4 ---\n" + s + "c";
    QTest::newRow("an LF after a marker is a line of its own")
        << QStringList{u"a\r"_qs, u"#フレームエラー"_qs, u"\n"_qs}
        << s + "a\n" + s + "--- フレームエラー ---\n" + s + "\n";
}

void TstRecordLines::stampsEveryLineOnce()
{
    QFETCH(QStringList, pieces);
    QFETCH(QString, written);

    recordlines::LineStamper stamper;
    QString out;
    for (const QString &piece : pieces)
        out += piece.startsWith(u'#') ? stamper.marker(piece.mid(1), kTime) : stamper.feed(piece, kTime);
    QCOMPARE(out, written);
}

void TstRecordLines::findsMatchesAcrossStoreBlocks_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<qint64>("at");

    // The store's blocks hold 65536 values.
    for (const bool hex : {false, true}) {
        const char *mode = hex ? "hex" : "text";
        QTest::addRow("%s: at the start", mode) << hex << qint64(0);
        QTest::addRow("%s: ends at a block's end", mode) << hex << qint64(65536 - 6);
        QTest::addRow("%s: across the first boundary", mode) << hex << qint64(65536 - 3);
        QTest::addRow("%s: starts a block", mode) << hex << qint64(65536);
        QTest::addRow("%s: across the second boundary", mode) << hex << qint64(2 * 65536 - 1);
        QTest::addRow("%s: at the very end", mode) << hex << qint64(3 * 65536 - 6);
    }
}

void TstRecordLines::findsMatchesAcrossStoreBlocks()
{
    QFETCH(bool, hex);
    QFETCH(qint64, at);

    QByteArray data(3 * 65536, 'x');
    data.replace(at, 6, "needle");
    ReceiveStore store;
    // Appended in pieces that do not line up with the blocks.
    for (qsizetype from = 0; from < data.size(); from += 1000) {
        const QByteArray piece = data.mid(from, 1000);
        if (hex)
            store.appendBytes(piece);
        else
            store.appendText(QString::fromLatin1(piece));
    }
    ReceiveSearch search;
    QVERIFY(search.setPattern(hex ? u"6E 65 65 64 6C 65"_qs : u"needle"_qs, hex));
    const qint64 position = hex ? at * 3 : at;
    QCOMPARE(search.next(store, 0), position);
    QCOMPARE(search.next(store, position + 1), qint64(-1));
    QCOMPARE(search.previous(store, store.length()), position);
    QCOMPARE(search.previous(store, position), qint64(-1));
    QCOMPARE(search.count(store), qint64(1));
    QVERIFY(search.setPattern(hex ? u"6E 65 65 64 6C 66"_qs : u"needlf"_qs, hex));
    QCOMPARE(search.next(store, 0), qint64(-1));
}

void TstRecordLines::findsTextOnlyWhereCharactersStart()
{
    // Full-width spaces (81 40) hide '@' (40) in their second byte; after the
    // lone '@' they start at odd positions, so the second block and most
    // pages begin inside one.
    const QByteArray space("\x81\x40");
    const QByteArray data = space.repeated(40000) + '@' + space.repeated(30000) + "\x82\xa0@";
    ReceiveStore store;
    Cp932Decoder channel;
    for (qsizetype from = 0; from < data.size(); from += 999)
        store.appendCp932(channel.complete(data.mid(from, 999)));
    QCOMPARE(store.length(), qint64(data.size()));

    ReceiveSearch search;
    QVERIFY(search.setPattern(u"@"_qs, false));
    QCOMPARE(search.next(store, 0), qint64(80000));
    QCOMPARE(search.next(store, 80001), qint64(140003));
    QCOMPARE(search.previous(store, 140003), qint64(80000));
    QCOMPARE(search.count(store), qint64(2));
    QVERIFY(search.setPattern(u"\u3000あ"_qs, false));
    QCOMPARE(search.next(store, 0), qint64(139999));
    QCOMPARE(search.matchEnd(store, 139999), qint64(140003));
    // From the middle of a character, text starts with that character.
    QCOMPARE(store.text(131072, 131075), u"\u3000\u3000"_qs);
}

QTEST_GUILESS_MAIN(TstRecordLines)
#include "tst_recordlines.moc"
