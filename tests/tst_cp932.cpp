// SPDX-License-Identifier: MIT
#include "serial/cp932codec.h"

#include <QRandomGenerator>
#include <QTest>

// The decoder's tables against the platform codec the receive box used
// before them: every character must come out the same.
class TstCp932 : public QObject
{
    Q_OBJECT

private slots:
    void decodesLikePlatformCodecWhereverSplit_data();
    void decodesLikePlatformCodecWhereverSplit();
};

namespace {

QString decodeInPieces(const QByteArray &stream, QList<qsizetype> cuts)
{
    Cp932Decoder decoder;
    QString text;
    qsizetype from = 0;
    cuts.append(stream.size());
    for (const qsizetype cut : cuts) {
        text += decoder.decode(QByteArrayView(stream).sliced(from, cut - from));
        from = cut;
    }
    return text;
}

} // namespace

void TstCp932::decodesLikePlatformCodecWhereverSplit_data()
{
    QTest::addColumn<QByteArrayList>("streams");

    // A line feed ends every stream: it follows no lead byte, so nothing is held back.
    QByteArrayList single, pairs, random;
    for (int first = 0; first < 256; ++first) {
        single.append(QByteArray(1, char(first)) + '\n');
        for (int second = 0; second < 256; ++second)
            pairs.append(QByteArray{1, char(first)} + char(second) + '\n');
    }
    QRandomGenerator generator(13);
    for (int round = 0; round < 64; ++round) {
        QByteArray stream(256, Qt::Uninitialized);
        generator.fillRange(reinterpret_cast<quint32 *>(stream.data()), stream.size() / 4);
        random.append(stream + '\n');
    }
    QTest::newRow("every byte") << single;
    QTest::newRow("every pair of bytes") << pairs;
    QTest::newRow("random streams") << random;
}

void TstCp932::decodesLikePlatformCodecWhereverSplit()
{
    QFETCH(QByteArrayList, streams);
    for (const QByteArray &stream : streams) {
        const QString expected = decodeCp932WithPlatform(stream);
        QList<qsizetype> everyByte;
        for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
            QCOMPARE(decodeInPieces(stream, {cut}), expected);
            everyByte.append(cut);
        }
        QCOMPARE(decodeInPieces(stream, everyByte), expected);
    }
}

QTEST_GUILESS_MAIN(TstCp932)
#include "tst_cp932.moc"
