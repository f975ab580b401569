// SPDX-License-Identifier: MIT
#include "capture/boardcapture.h"
#include "capture/hexpattern.h"
#include "capture/recordlines.h"
#include "cli/monitoroutput.h"
#include "cli/monitorsummary.h"
#include "serial/cp932codec.h"
#include "serial/serialchannel.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>

namespace {

// 2026-12-07 13:45:01.234 UTC
constexpr qint64 kTime = 1796651101234;

QString at(int offset, bool full = false)
{
    const qint64 time = kTime + offset;
    return full ? recordlines::fullStamp(time) : recordlines::shortStamp(time);
}

// One step of a board session: "=bytes" arrives, "!code" is a line error,
// "open", "close", "gone", "dl+" and "dl-" are what their names say.
using Script = QStringList;

} // namespace

class TstCapture : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void splitsAndStampsLines_data();
    void splitsAndStampsLines();
    void readsHexBytes_data();
    void readsHexBytes();
    void showsTheBoardOnAStream_data();
    void showsTheBoardOnAStream();
    void summarisesTheMonitorInJson_data();
    void summarisesTheMonitorInJson();
    void recordsTheSameFileForBothFrontEnds_data();
    void recordsTheSameFileForBothFrontEnds();
    void writesWhileTheLineTalksAndAfterAPause();

private:
    QByteArray record(const Script &script, bool window, ReceiveRecorder::Format format);

    QTemporaryDir m_dir;
};

void TstCapture::initTestCase()
{
    qputenv("TZ", "UTC");
    ::tzset();
}

void TstCapture::splitsAndStampsLines_data()
{
    QTest::addColumn<bool>("stamped");
    QTest::addColumn<QStringList>("pieces"); // each 10 ms after the last
    QTest::addColumn<QString>("written");

    QTest::newRow("a CR ends its line at once") << true << QStringList{u"one\r"_qs} << at(0) + "one\n";
    QTest::newRow("a CR-only board: one line each")
        << true << QStringList{u"one\r"_qs, u"two\r"_qs} << at(0) + "one\n" + at(10) + "two\n";
    QTest::newRow("the LF of a CR LF in the next read")
        << true << QStringList{u"a\r"_qs, u"\nb"_qs} << at(0) + "a\n" + at(10) + "b";
    QTest::newRow("LF CR is two line ends") << true << QStringList{u"a\n\rb"_qs} << at(0) + "a\n" + at(0) + "\n" + at(0) + "b";
    QTest::newRow("stamped at the first character's arrival")
        << true << QStringList{u"ab"_qs, u"c\nd"_qs} << at(0) + "abc\n" + at(10) + "d";
    QTest::newRow("unstamped: every end becomes LF") << false << QStringList{u"a\r\nb\rc\n\r"_qs} << u"a\nb\nc\n\n"_qs;
}

void TstCapture::splitsAndStampsLines()
{
    QFETCH(bool, stamped);
    QFETCH(QStringList, pieces);
    QFETCH(QString, written);
    using Stamp = recordlines::LineStamper::Stamp;
    recordlines::LineStamper stamper(stamped ? Stamp::Short : Stamp::None);
    QString out;
    for (qsizetype i = 0; i < pieces.size(); ++i)
        out += stamper.feed(pieces[i], kTime + 10 * i);
    QCOMPARE(out, written);
}

void TstCapture::readsHexBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes"); // empty: refused
    QTest::addColumn<int>("column");

    QTest::newRow("pairs") << "11 22 33" << QByteArray("\x11\x22\x33") << 0;
    QTest::newRow("lone digit and lower case") << " 7\tff " << QByteArray("\x07\xFF") << 0;
    QTest::newRow("run of pairs") << "0D0A" << QByteArray("\x0D\x0A") << 0;
    QTest::newRow("lone digits") << "D A" << QByteArray("\x0D\x0A") << 0;
    QTest::newRow("three digits") << "0D 123" << QByteArray() << 4;
    QTest::newRow("not hex") << "1g" << QByteArray() << 1;
    QTest::newRow("nothing") << "  " << QByteArray() << 1;
}

void TstCapture::readsHexBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(int, column);
    const hexpattern::Parsed parsed = hexpattern::parse(text);
    QCOMPARE(parsed.bytes, bytes);
    if (bytes.isEmpty())
        QCOMPARE(parsed.refusedColumn, column);
}

void TstCapture::showsTheBoardOnAStream_data()
{
    using Form = MonitorOutput::Form;
    QTest::addColumn<int>("form");
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<bool>("stamped");
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QList<int>>("offsets"); // arrival of each piece, ms after kTime
    QTest::addColumn<QByteArray>("shown");
    QTest::addColumn<qint64>("lines");

    const QList<QByteArray> escape{"a\x1b[2J\tb\r\n\x07"};
    QTest::newRow("terminal: controls as pictures") << int(Form::Text) << true << false << escape << QList<int>{0}
                                                    << QByteArray("a\xE2\x90\x9B[2J\tb\n\xE2\x90\x87") << qint64(1);
    QTest::newRow("pipe: controls unchanged, ends as LF")
        << int(Form::Text) << false << false << escape << QList<int>{0} << QByteArray("a\x1b[2J\tb\n\x07") << qint64(1);
    QTest::newRow("CP932 decoded to UTF-8") << int(Form::Text) << false << false << QList<QByteArray>{"\xB1\x82", "\xA0"}
                                            << QList<int>{0, 5} << QByteArray("\xEF\xBD\xB1\xE3\x81\x82") << qint64(0);
    QTest::newRow("CR-only board, stamped") << int(Form::Text) << true << true << QList<QByteArray>{"one\rtw", "o\r"}
                                            << QList<int>{0, 30}
                                            << (at(0) + "one\n" + at(0) + "two\n").toUtf8() << qint64(2);
    QTest::newRow("raw: the bytes as they came") << int(Form::Raw) << false << false << escape << QList<int>{0}
                                                 << escape[0] << qint64(1);
    QTest::newRow("hex: a pause of 100 ms starts a stamped line")
        << int(Form::Hex) << true << true << QList<QByteArray>{"A\r", "B", "C"} << QList<int>{0, 99, 199}
        << (at(0) + "41 0D 42 \n" + at(199) + "43 ").toUtf8() << qint64(1);
    QTest::newRow("json: nothing shown, lines still counted")
        << int(Form::Nothing) << false << false << QList<QByteArray>{"a\r", "\nb\n"} << QList<int>{0, 1} << QByteArray()
        << qint64(2);
}

void TstCapture::showsTheBoardOnAStream()
{
    QFETCH(int, form);
    QFETCH(bool, terminal);
    QFETCH(bool, stamped);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QList<int>, offsets);
    QFETCH(QByteArray, shown);
    QFETCH(qint64, lines);
    MonitorOutput output(MonitorOutput::Form(form), stamped, terminal);
    Cp932Decoder decoder;
    QByteArray out;
    for (qsizetype i = 0; i < pieces.size(); ++i)
        out += output.render(pieces[i], decoder.decode(pieces[i]), kTime + offsets[i]);
    QCOMPARE(out, shown);
    QCOMPARE(output.lines(), lines);
}

void TstCapture::summarisesTheMonitorInJson_data()
{
    QTest::addColumn<int>("exit");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<bool>("untilSeen");
    QTest::addColumn<QByteArray>("json");

    QTest::newRow("until seen") << 0 << 1.23456 << true
                                << QByteArray(R"({"bytes":7,"exit":0,"lines":2,"outcome":"done","seconds":1.235,"until_seen":true})");
    QTest::newRow("write failed") << 5 << 2.0 << false
                                  << QByteArray(R"({"bytes":7,"exit":5,"lines":2,"outcome":"io_error","seconds":2,"until_seen":false})");
    QTest::newRow("SIGTERM") << 143 << 0.5 << false
                             << QByteArray(R"({"bytes":7,"exit":143,"lines":2,"outcome":"terminated","seconds":0.5,"until_seen":false})");
}

void TstCapture::summarisesTheMonitorInJson()
{
    QFETCH(int, exit);
    QFETCH(double, seconds);
    QFETCH(bool, untilSeen);
    QFETCH(QByteArray, json);
    QCOMPARE(MonitorSummary({exit, 7, 2, seconds, untilSeen}).toJson(), json + '\n');
}

// Fed as each front end wires the capture: the window takes the port's
// input for its box and tells of downloads; the command line does neither.
QByteArray TstCapture::record(const Script &script, bool window, ReceiveRecorder::Format format)
{
    const QString path = m_dir.filePath(window ? u"window"_qs : u"cli"_qs);
    SerialChannel channel;
    channel.setDevicePath(u"/dev/ttyUSB0"_qs);
    BoardCapture capture(channel);
    capture.setTakesInput(!window);
    int offset = 0;
    capture.setClock([&offset] { return kTime + offset; });
    if (!capture.recorder().start(path, format))
        return {};
    for (const QString &step : script) {
        offset += 7;
        if (step.startsWith(u'='))
            capture.addBytes(step.mid(1).toLatin1());
        else if (step.startsWith(u'!'))
            capture.addLineError(step.mid(1).toInt());
        else if (step == u"open" || step == u"close")
            emit channel.portOpenChanged(step == u"open");
        else if (step == u"gone")
            emit channel.disconnected();
        else if (window && step == u"dl+")
            capture.onDownloadStarted();
        else if (window && step == u"dl-")
            capture.onDownloadFinished();
    }
    capture.recorder().stop();
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TstCapture::recordsTheSameFileForBothFrontEnds_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<QString>("text"); // the command line's .txt, stamps shown as @offset

    QTest::newRow("lines, errors, a download, a lost device")
        << Script{u"open"_qs, u"=one\r"_qs, u"=\ntw"_qs, u"=o\x82"_qs, u"=\xA0\r"_qs, u"!1004"_qs, u"dl+"_qs,
                  u"=x\n"_qs, u"dl-"_qs, u"gone"_qs, u"close"_qs}
        << u"@7--- ポートオープン COM1 /dev/ttyUSB0 ---\n@14one\n@21twoあ\n@42--- フレームエラー ---\n@56x\n"
           "@70--- デバイス切断 ---\n@77--- ポートクローズ COM1 /dev/ttyUSB0 ---\n"_qs;
    QTest::newRow("a marker ends a line under way")
        << Script{u"=ab"_qs, u"!1009"_qs, u"=c"_qs} << u"@7ab\n@14--- パリティエラー ---\n@21c"_qs;
}

void TstCapture::recordsTheSameFileForBothFrontEnds()
{
    QFETCH(Script, script);
    QFETCH(QString, text);
    const QByteArray window = record(script, true, ReceiveRecorder::Format::Text);
    const QByteArray cli = record(script, false, ReceiveRecorder::Format::Text);
    static const QRegularExpression stamp(u"@(\\d+)"_qs);
    QString expected = text;
    for (QRegularExpressionMatch match = stamp.match(expected); match.hasMatch(); match = stamp.match(expected))
        expected.replace(match.capturedStart(), match.capturedLength(), at(match.captured(1).toInt(), true));
    QCOMPARE(QString::fromUtf8(cli), expected);
    // The window's file is the same but for the download markers, which only it has.
    QStringList windowLines = QString::fromUtf8(window).split(u'\n');
    windowLines.removeIf([](const QString &line) { return line.contains(u"--- ダウンロード"); });
    QCOMPARE(windowLines.join(u'\n'), expected);
    QCOMPARE(record(script, true, ReceiveRecorder::Format::Binary), record(script, false, ReceiveRecorder::Format::Binary));
}

// The file follows a recording as it goes: each interval while the line
// talks, and again when bytes come after a quiet interval left the writer idle.
void TstCapture::writesWhileTheLineTalksAndAfterAPause()
{
    const QString path = m_dir.filePath(u"talking"_qs);
    ReceiveRecorder recorder;
    QVERIFY(recorder.start(path, ReceiveRecorder::Format::Binary));
    const auto written = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QByteArray sent;
    for (int piece = 0; piece < 6; ++piece) {
        sent += "piece " + QByteArray::number(piece) + '\n';
        recorder.addBytesNow(sent.last(8));
        QTest::qWait(60);
    }
    QTRY_COMPARE(written(), sent);
    QTest::qWait(400);
    recorder.addBytesNow("after the pause\n");
    sent += "after the pause\n";
    QTRY_COMPARE(written(), sent);
    recorder.stop();
}

QTEST_GUILESS_MAIN(TstCapture)
#include "tst_capture.moc"
