// SPDX-License-Identifier: MIT
#include "cli/consoletext.h"
#include "capture/hexpattern.h"
#include "cli/transferfigures.h"
#include "download/bitheader.h"
#include "ptypair.h"
#include "serial/sendmacros.h"
#include "serial/serialchannel.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <memory>

#include <csignal>
#include <fcntl.h>

using namespace std::chrono_literals;

namespace {

QByteArray bigEndian(quint32 value, int width)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes.right(width);
}

QByteArray field(char tag, QByteArray text)
{
    text.append('\0');
    return tag + bigEndian(text.size(), 2) + text;
}

// A header as the vendor's tools write it, then the data: FF padding and the sync word.
QByteArray bitFile(const QByteArray &part, const QByteArray &extraField = {}, int lengthError = 0)
{
    const QByteArray data = QByteArray(32, '\xFF') + QByteArray("\xAA\x99\x55\x66", 4) + QByteArray(64, 'x');
    return bigEndian(9, 2) + QByteArray::fromHex("0ff00ff00ff00ff000") + bigEndian(1, 2)
           + field('a', "blinky;UserID=0XFFFFFFFF;Version=2023.1") + extraField + field('b', part)
           + field('c', "2024/01/02") + field('d', "03:04:05") + 'e' + bigEndian(data.size() + lengthError, 4) + data;
}

QByteArray patternBytes(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char(i % 251);
    return bytes;
}

} // namespace

class TstCli : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readsTheBitstreamHeader_data();
    void readsTheBitstreamHeader();
    void formatsTransferFigures();
    void readsHexBytes_data();
    void readsHexBytes();
    void stampsEveryLineOnce();

    void sendsTheWindowsBytes_data();
    void sendsTheWindowsBytes();
    void endsWithTheStatusOfItsCause_data();
    void endsWithTheStatusOfItsCause();
    void failsWithIoWhenTheDeviceVanishes();
    void stopsOnSigintAndDiscardsTheRest();
    void waitsForTheExpectedText();
    void sendsTextInCp932AndHexBytes();
    void sendsTheWindowsMacroByNameOrSlot();
    void monitorsUntilTheTextAndLogsWhatItShows_data();
    void monitorsUntilTheTextAndLogsWhatItShows();

private:
    QString makeFile(const QByteArray &bytes, const QString &name = QStringLiteral("config.bit"));
    void start(const QStringList &arguments);
    int finish();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<PtyReader> m_reader;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_stderr;
};

void TstCli::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_pty = std::make_unique<PtyPair>(m_dir->filePath(QStringLiteral("ports")));
    QVERIFY(m_pty->isValid());
    // The board's end must not live on in the program, or it could never go away.
    ::fcntl(m_pty->masterFd(), F_SETFD, FD_CLOEXEC);
    m_reader = std::make_unique<PtyReader>(m_pty->masterFd());
    m_process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TOLVANE_PORT_DIR"), m_dir->filePath(QStringLiteral("ports")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir->filePath(QStringLiteral("config")));
    m_process->setProcessEnvironment(environment);
}

void TstCli::cleanup()
{
    m_process.reset();
    m_reader.reset();
    m_pty.reset();
    m_dir.reset();
}

QString TstCli::makeFile(const QByteArray &bytes, const QString &name)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

void TstCli::start(const QStringList &arguments)
{
    m_process->start(QStringLiteral(TOLVANE_CLI), arguments);
    QVERIFY(m_process->waitForStarted());
}

// The exit status; standard error is kept, and must never hold control codes.
int TstCli::finish()
{
    if (m_process->state() != QProcess::NotRunning && !m_process->waitForFinished(30000))
        return -1;
    m_stderr = m_process->readAllStandardError();
    for (const char byte : m_stderr) {
        if ((quint8(byte) < 0x20 && byte != '\n') || byte == 0x7F)
            return -2;
    }
    return m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -3;
}

void TstCli::readsTheBitstreamHeader_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("part"); // empty: no header

    const QByteArray file = bitFile("7a35tcpg236");
    QTest::newRow("with preamble") << file << "7a35tcpg236";
    QTest::newRow("without preamble") << file.sliced(13) << "7a35tcpg236";
    QTest::newRow("unknown tag skipped") << bitFile("7a35t", field('z', "later tools")) << "7a35t";
    QTest::newRow("data length past the end") << bitFile("7a35t", {}, 1) << QString();
    QTest::newRow("field length past the end") << file.first(40) << QString();
    QTest::newRow("truncated before the data") << file.first(file.indexOf('e', 60) + 3) << QString();
    QTest::newRow("no sync word") << QByteArray(file).replace("\xAA\x99", "\x12\x34") << QString();
    QTest::newRow("raw data only") << patternBytes(1000) << QString();
    QTest::newRow("empty") << QByteArray() << QString();
}

void TstCli::readsTheBitstreamHeader()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, part);
    const std::optional<BitHeader> header = readBitHeader(bytes, bytes.size());
    QCOMPARE(header.has_value(), !part.isEmpty());
    if (!header)
        return;
    QCOMPARE(header->part, part);
    QCOMPARE(headerLine(header), QStringLiteral("blinky / %1 / 2024/01/02 03:04:05").arg(part));
    QCOMPARE(header->userId, QStringLiteral("0XFFFFFFFF"));
    QCOMPARE(header->version, QStringLiteral("2023.1"));
    QCOMPARE(header->dataOffset + header->dataLength, qint64(bytes.size()));
}

void TstCli::formatsTransferFigures()
{
    QCOMPARE(transferfigures::crc32("123456789"), 0xCBF43926u);
    QCOMPARE(transferfigures::crc32("56789", transferfigures::crc32("1234")), 0xCBF43926u);
    QCOMPARE(transferfigures::tenthsReached(899, 900), 9);
    QCOMPARE(transferfigures::tenthsReached(0, 0), 10);
    QCOMPARE(transferfigures::terminalLine(5760, 11520, 0.5), QStringLiteral("5760 / 11520 bytes   50%  11520 B/s  0:01 left"));
    QCOMPARE(transferfigures::summary(900, 3, 0.5, 0xCBF43926u),
             QStringLiteral("sent 900 bytes in 3 blocks, 0.50 s, 1800 B/s, CRC-32 cbf43926"));
    QCOMPARE(consoletext::withoutControls(u"a\x1b[2Jb\u009bc"), QStringLiteral("a?[2Jb?c"));
}

void TstCli::readsHexBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes"); // empty: refused

    QTest::newRow("pairs") << "11 22 33" << QByteArray("\x11\x22\x33");
    QTest::newRow("lone digit and lower case") << " 7\tff " << QByteArray("\x07\xFF");
    QTest::newRow("run of pairs") << "0D0A" << QByteArray("\x0D\x0A");
    QTest::newRow("lone digits") << "D A" << QByteArray("\x0D\x0A");
    QTest::newRow("three digits") << "123" << QByteArray();
    QTest::newRow("not hex") << "1g" << QByteArray();
    QTest::newRow("nothing") << "  " << QByteArray();
}

void TstCli::readsHexBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(hexpattern::parse(text).bytes, bytes);
}

void TstCli::stampsEveryLineOnce()
{
    LineStamper stamper;
    const QTime at(12, 34, 56, 789);
    QCOMPARE(stamper.stamp(u"ab\ncd", at), QStringLiteral("[12:34:56.789] ab\n[12:34:56.789] cd"));
    QCOMPARE(stamper.stamp(u"e\n", at), QStringLiteral("e\n"));
    QCOMPARE(stamper.breakLine(), QString());
    QCOMPARE(stamper.stamp(u"f", at), QStringLiteral("[12:34:56.789] f"));
    QCOMPARE(stamper.breakLine(), QStringLiteral("\n"));
}

void TstCli::sendsTheWindowsBytes_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("sent");
    QTest::addColumn<QString>("blocks");

    QTest::newRow("914 bytes") << 914 << 900 << "3 blocks";
    QTest::newRow("814 bytes") << 814 << 800 << "2 blocks";
    QTest::newRow("413 bytes") << 413 << 399 << "1 blocks";
    QTest::newRow("exactly 14 bytes") << 14 << 0 << "0 blocks";
    QTest::newRow("empty file") << 0 << 0 << "nothing sent";
}

void TstCli::sendsTheWindowsBytes()
{
    QFETCH(int, length);
    QFETCH(int, sent);
    QFETCH(QString, blocks);
    const QByteArray file = patternBytes(length);
    start({QStringLiteral("download"), makeFile(file), QStringLiteral("--drop"), QStringLiteral("14")});
    QCOMPARE(finish(), 0);
    m_reader->settle();
    QCOMPARE(m_reader->received(), file.first(sent));
    QVERIFY2(m_stderr.contains(blocks.toUtf8()), m_stderr.constData());
    if (sent > 0)
        QVERIFY(m_stderr.contains(QByteArray::number(transferfigures::crc32(file.first(sent)), 16)));
}

void TstCli::endsWithTheStatusOfItsCause_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");

    const QString file = QStringLiteral("@file");
    QTest::newRow("drop out of range") << QStringList{"download", file, "--drop", "21"} << false << 2 << "--drop";
    QTest::newRow("unknown command") << QStringList{"flash"} << false << 2 << "unknown command";
    QTest::newRow("missing port") << QStringList{"download", file, "--port", "/dev/tolvane-none"} << false << 3
                                  << "no such device";
    QTest::newRow("busy port") << QStringList{"send", "x"} << true << 3 << "busy";
    QTest::newRow("missing file") << QStringList{"download", "/nonexistent.bit"} << false << 4 << "no such file";
    QTest::newRow("other part") << QStringList{"download", file, "--part", "7a100t"} << false << 7 << "7a35t";
    QTest::newRow("no answer") << QStringList{"download", file, "--expect", "DONE", "--timeout", "0.3"} << false << 6
                               << "did not come";
    QTest::newRow("monitor until, not seen") << QStringList{"monitor", "--until", "DONE", "--duration", "0.3"} << false
                                             << 6 << "did not come";
}

void TstCli::endsWithTheStatusOfItsCause()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, busy);
    QFETCH(int, status);
    QFETCH(QString, message);
    arguments.replaceInStrings(QStringLiteral("@file"), makeFile(bitFile("7a35t")));
    SerialChannel holder;
    if (busy) {
        holder.setDevicePath(m_pty->slavePath());
        QVERIFY(holder.setSettings(QStringLiteral("115200,n,8,1")));
        QVERIFY(holder.setPortOpen(true));
    }
    start(arguments);
    QCOMPARE(finish(), status);
    QVERIFY2(m_stderr.contains(message.toUtf8()), m_stderr.constData());
    for (const QByteArray &line : m_stderr.trimmed().split('\n'))
        QVERIFY2(line.startsWith("tolvane-cli: "), line.constData());
    if (status != 6) {
        m_reader->settle();
        QVERIFY(m_reader->received().isEmpty());
    }
}

void TstCli::failsWithIoWhenTheDeviceVanishes()
{
    m_reader = std::make_unique<PtyReader>(m_pty->masterFd(), 11520);
    start({QStringLiteral("download"), makeFile(patternBytes(64 * 1024)), QStringLiteral("--yes")});
    QVERIFY(m_reader->waitFor(2000));
    m_reader.reset();
    m_pty->closeMaster();
    const int status = finish();
    QVERIFY2(m_stderr.contains("went away"), m_stderr.constData());
    QCOMPARE(status, 5);
}

void TstCli::stopsOnSigintAndDiscardsTheRest()
{
    const QByteArray file = patternBytes(64 * 1024);
    m_reader = std::make_unique<PtyReader>(m_pty->masterFd(), 11520);
    start({QStringLiteral("download"), makeFile(file)});
    QVERIFY(m_reader->waitFor(4000));
    ::kill(pid_t(m_process->processId()), SIGINT);
    QCOMPARE(finish(), 130);
    QVERIFY2(m_stderr.contains("interrupted after"), m_stderr.constData());
    // What was queued at the interrupt never reaches the board.
    m_reader->settle(300ms);
    const QByteArray received = m_reader->received();
    QVERIFY2(received.size() < 20000, qPrintable(QString::number(received.size())));
    QCOMPARE(received, file.first(received.size()));
}

void TstCli::waitsForTheExpectedText()
{
    start({QStringLiteral("download"), makeFile(bitFile("7a35t")), QStringLiteral("--expect"), QStringLiteral("DONE"),
           QStringLiteral("--part"), QStringLiteral("7A35T")});
    // The board answers until heard: its answer during the transfer is discarded.
    while (!m_process->waitForFinished(100))
        QVERIFY(m_pty->write(QByteArray("DO") + QByteArray("NE\n")));
    QCOMPARE(finish(), 0);
    QVERIFY(m_process->readAllStandardOutput().contains("DONE"));
    QVERIFY(m_stderr.contains("bitstream: blinky / 7a35t / 2024/01/02 03:04:05"));
}

void TstCli::sendsTextInCp932AndHexBytes()
{
    start({QStringLiteral("send"), QStringLiteral("--crlf"), QStringLiteral("ｱ漢€")});
    QCOMPARE(finish(), 0);
    start({QStringLiteral("send"), QStringLiteral("--hex"), QStringLiteral("11 2 ff")});
    QCOMPARE(finish(), 0);
    QVERIFY(m_reader->waitFor(9));
    QCOMPARE(m_reader->received(), QByteArray("\xB1\x8A\xBF?\r\n\x11\x02\xFF"));
}

void TstCli::sendsTheWindowsMacroByNameOrSlot()
{
    SendMacros macros;
    macros.set(1, {QStringLiteral("reset"), SendMacro::Kind::Text, QStringLiteral("R\\x1b\\r")});
    macros.set(11, {QString(), SendMacro::Kind::Hex, QStringLiteral("0D0A 7")});
    QVERIFY(macros.save(m_dir->filePath(QStringLiteral("config/tolvane/send-macros.json"))));

    start({QStringLiteral("send"), QStringLiteral("--macro"), QStringLiteral("reset")});
    QCOMPARE(finish(), 0);
    start({QStringLiteral("send"), QStringLiteral("--macro"), QStringLiteral("12")});
    QCOMPARE(finish(), 0);
    for (const QStringList &refused : {QStringList{"--macro", "Reset"}, QStringList{"--macro", "3"},
                                       QStringList{"--macro", "reset", "--crlf"}}) {
        start(QStringList{QStringLiteral("send")} + refused);
        QCOMPARE(finish(), 2);
    }
    QVERIFY2(m_stderr.contains("exactly its bytes"), m_stderr.constData());
    QVERIFY(m_reader->waitFor(6));
    m_reader->settle();
    QCOMPARE(m_reader->received(), QByteArray("R\x1b\r\r\n\x07"));
}

void TstCli::monitorsUntilTheTextAndLogsWhatItShows_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QByteArray>("shown");

    QTest::newRow("text, CP932 to UTF-8") << false << QByteArray("\xEF\xBD\xB1 OK");
    QTest::newRow("hex groups") << true << QByteArray("B1 20 4F 4B ");
}

void TstCli::monitorsUntilTheTextAndLogsWhatItShows()
{
    QFETCH(bool, hex);
    QFETCH(QByteArray, shown);
    const QString log = m_dir->filePath(QStringLiteral("board.txt"));
    QStringList arguments{QStringLiteral("monitor"), QStringLiteral("--until"), QStringLiteral("OK"),
                          QStringLiteral("--log"), log};
    if (hex)
        arguments << QStringLiteral("--hex");
    start(arguments);
    // The port opens some time after the start; what came before it is not the monitor's.
    while (!m_process->waitForFinished(200))
        QVERIFY(m_pty->write("\xB1 OK"));
    QCOMPARE(finish(), 0);
    const QByteArray output = m_process->readAllStandardOutput();
    QVERIFY2(output.startsWith(shown), output.constData());
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), output);
}

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
