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
    void findsCharacterStartsLikeDecodingOneByOne_data();
    void findsCharacterStartsLikeDecodingOneByOne();
};

namespace {

// The stream cut before each of cuts.
QByteArrayList piecesOf(const QByteArray &stream, QList<qsizetype> cuts)
{
    QByteArrayList pieces;
    qsizetype from = 0;
    cuts.append(stream.size());
    for (const qsizetype cut : cuts) {
        pieces.append(stream.sliced(from, cut - from));
        from = cut;
    }
    return pieces;
}

QString decodeInPieces(const QByteArray &stream, const QList<qsizetype> &cuts)
{
    Cp932Decoder decoder;
    QString text;
    for (const QByteArray &piece : piecesOf(stream, cuts))
        text += decoder.decode(piece);
    return text;
}

// The bytes kept whole: what complete() hands on, decoded as one.
QString completeInPieces(const QByteArray &stream, const QList<qsizetype> &cuts)
{
    Cp932Decoder decoder;
    QByteArray kept;
    for (const QByteArray &piece : piecesOf(stream, cuts))
        kept += decoder.complete(piece);
    return Cp932Decoder().decode(kept);
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
            QCOMPARE(completeInPieces(stream, {cut}), expected);
            // A piece skipped leaves the decoder as decoding it would.
            Cp932Decoder decoding, skipping;
            (void)decoding.decode(stream.first(cut));
            skipping.skip(stream.first(cut));
            QCOMPARE(skipping.decode(stream.sliced(cut)), decoding.decode(stream.sliced(cut)));
            everyByte.append(cut);
        }
        QCOMPARE(decodeInPieces(stream, everyByte), expected);
        QCOMPARE(completeInPieces(stream, everyByte), expected);
    }
}

void TstCp932::findsCharacterStartsLikeDecodingOneByOne_data()
{
    QTest::addColumn<QByteArray>("alphabet");
    QTest::newRow("any byte") << QByteArray();
    // Long runs of possible lead bytes, which only their start and length decide.
    QTest::newRow("lead bytes, trail bytes, ASCII") << QByteArray("\x81\x9f\xe0\xfc" "A\x40\x7f\xa0", 8);
}

void TstCp932::findsCharacterStartsLikeDecodingOneByOne()
{
    QFETCH(QByteArray, alphabet);
    QRandomGenerator generator(17);
    for (int round = 0; round < 2000; ++round) {
        QByteArray stream(300, Qt::Uninitialized);
        for (char &byte : stream)
            byte = alphabet.isEmpty() ? char(generator.bounded(256)) : alphabet[generator.bounded(int(alphabet.size()))];
        const auto *bytes = reinterpret_cast<const unsigned char *>(stream.constData());
        QList<bool> expected(stream.size() + 1, false);
        for (qsizetype at = 0; at < stream.size();) {
            expected[at] = true;
            at += at + 1 < stream.size() ? Cp932Table::instance().at(bytes[at], bytes[at + 1]).length : 1;
        }
        bool afterLead = false;
        for (qsizetype at = 0; at < stream.size();) {
            const int count = int(qMin<qsizetype>(1 + generator.bounded(64), stream.size() - at));
            const quint64 starts = cp932CharacterStarts(bytes + at, count, afterLead);
            for (int bit = 0; bit < count; ++bit)
                QCOMPARE(bool(starts >> bit & 1), bool(expected[at + bit]));
            at += count;
            QCOMPARE(afterLead, expected[at - 1] && isCp932LeadByte(bytes[at - 1]));
        }
    }
}

QTEST_GUILESS_MAIN(TstCp932)
#include "tst_cp932.moc"
