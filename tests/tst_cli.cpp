// SPDX-License-Identifier: MIT
#include "cli/consoletext.h"
#include "cli/transferfigures.h"
#include "download/bitheader.h"
#include "ptypair.h"
#include "serial/serialchannel.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <memory>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>

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

    void sendsTheWindowsBytes_data();
    void sendsTheWindowsBytes();
    void endsWithTheStatusOfItsCause_data();
    void endsWithTheStatusOfItsCause();
    void failsWithIoWhenTheDeviceVanishes();
    void stopsOnSigintAndDiscardsTheRest();
    void waitsForTheExpectedText();
    void sendsTextInCp932AndHexBytes();
    void monitorsUntilTheTextAndLogsWhatItShows_data();
    void monitorsUntilTheTextAndLogsWhatItShows();
    void monitorStampsEachLineOfACrOnlyBoard();
    void monitorRefusesClashingOptions_data();
    void monitorRefusesClashingOptions();
    void monitorShowsControlsAsPicturesOnATerminal();
    void monitorEndsWithIoErrorWhenTheLogCannotGrow();
    void monitorKeepsTheWholeRecordingOnSigtermAndSighup_data();
    void monitorKeepsTheWholeRecordingOnSigtermAndSighup();
    void monitorSummarisesInJsonWhateverTheOutcome_data();
    void monitorSummarisesInJsonWhateverTheOutcome();

private:
    QString makeFile(const QByteArray &bytes, const QString &name = QStringLiteral("config.bit"));
    void start(const QStringList &arguments);
    // Standard output is a terminal of its own, read through terminal.
    void startOnTerminal(const QStringList &arguments);
    int finish();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<PtyReader> m_reader;
    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<PtyPair> m_terminal;
    std::unique_ptr<PtyReader> m_terminalReader;
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
    m_process->setProcessEnvironment(environment);
}

void TstCli::cleanup()
{
    m_process.reset();
    m_terminalReader.reset();
    m_terminal.reset();
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

void TstCli::startOnTerminal(const QStringList &arguments)
{
    m_terminal = std::make_unique<PtyPair>(m_dir->filePath(QStringLiteral("ports")), 4);
    QVERIFY(m_terminal->isValid());
    ::fcntl(m_terminal->masterFd(), F_SETFD, FD_CLOEXEC);
    m_terminalReader = std::make_unique<PtyReader>(m_terminal->masterFd());
    m_process->setStandardOutputFile(m_terminal->slavePath());
    start(arguments);
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
    // Recorded as the window records, whatever --hex says: stamped lines between the port's markers.
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    const QString device = m_pty->slavePath();
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0].mid(26), u"--- ポートオープン COM3 "_qs + device + u" ---"_qs);
    QVERIFY2(lines[1].mid(26).startsWith(u"ｱ OK"_qs), qPrintable(lines[1]));
    QCOMPARE(lines[2].mid(26), u"--- ポートクローズ COM3 "_qs + device + u" ---"_qs);
    QVERIFY(lines[3].isEmpty());
}

// A CR alone ends a line: each gets its own stamp, and none overwrites another.
void TstCli::monitorStampsEachLineOfACrOnlyBoard()
{
    start({QStringLiteral("monitor"), QStringLiteral("--timestamps"), QStringLiteral("--until"), QStringLiteral("END")});
    while (!m_process->waitForFinished(200))
        QVERIFY(m_pty->write("one\rtwo\rEND\r"));
    QCOMPARE(finish(), 0);
    const QByteArray output = m_process->readAllStandardOutput();
    QVERIFY2(!output.contains('\r'), output.constData());
    const QRegularExpression line(u"^\\[\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] (one|two|END)$"_qs);
    const QList<QByteArray> lines = output.split('\n');
    QVERIFY(lines.size() >= 3);
    for (const QByteArray &shown : lines.first(lines.size() - 1))
        QVERIFY2(line.match(QString::fromUtf8(shown)).hasMatch(), shown.constData());
}

void TstCli::monitorRefusesClashingOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<QString>("message");

    QTest::newRow("raw and timestamps") << QStringList{"--raw", "--timestamps"} << false << "cannot go with --timestamps";
    QTest::newRow("raw and hex") << QStringList{"--raw", "--hex"} << false << "cannot go with --hex";
    QTest::newRow("raw and json") << QStringList{"--raw", "--json", "--log", "x.bin"} << false << "cannot go with --json";
    QTest::newRow("raw on a terminal") << QStringList{"--raw"} << true << "refused on a terminal";
    QTest::newRow("json without a log") << QStringList{"--json"} << false << "--json needs --log";
}

void TstCli::monitorRefusesClashingOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, terminal);
    QFETCH(QString, message);
    arguments.prepend(QStringLiteral("monitor"));
    if (terminal)
        startOnTerminal(arguments);
    else
        start(arguments);
    QCOMPARE(finish(), 2);
    QVERIFY2(m_stderr.contains(message.toUtf8()), m_stderr.constData());
}

void TstCli::monitorShowsControlsAsPicturesOnATerminal()
{
    startOnTerminal({QStringLiteral("monitor"), QStringLiteral("--until"), QStringLiteral("END")});
    while (!m_process->waitForFinished(200))
        QVERIFY(m_pty->write("\x1b[2J\x07" "END"));
    QCOMPARE(finish(), 0);
    m_terminalReader->settle();
    const QByteArray shown = m_terminalReader->received();
    QVERIFY2(shown.contains("\xE2\x90\x9B" "[2J\xE2\x90\x87" "END"), shown.toHex().constData());
    QVERIFY(!shown.contains('\x1b'));
}

// A file-size limit makes the log's writes fail (EFBIG) part way.
void TstCli::monitorEndsWithIoErrorWhenTheLogCannotGrow()
{
    constexpr rlim_t kLimit = 3000;
    m_process->setChildProcessModifier([] {
        const rlimit limit{kLimit, kLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN);
    });
    const QString log = m_dir->filePath(QStringLiteral("board.bin"));
    start({QStringLiteral("monitor"), QStringLiteral("--log"), log, QStringLiteral("--duration"), QStringLiteral("10")});
    const QByteArray sent = patternBytes(10000);
    for (int piece = 0; piece < 20 && m_process->state() == QProcess::Running; ++piece) {
        QVERIFY(m_pty->write(sent.mid(piece * 500 % sent.size(), 500)));
        m_process->waitForFinished(100);
    }
    QCOMPARE(finish(), 5);
    QVERIFY2(m_stderr.contains("File too large"), m_stderr.constData());
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.size(), qint64(kLimit));
}

void TstCli::monitorKeepsTheWholeRecordingOnSigtermAndSighup_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<QString>("log");

    QTest::newRow("SIGTERM, exact bytes") << int(SIGTERM) << "board.bin";
    QTest::newRow("SIGHUP, exact bytes") << int(SIGHUP) << "board.bin";
    QTest::newRow("SIGTERM, text") << int(SIGTERM) << "board.txt";
}

// Everything shown before the signal is in the file, which ends as a close ends it.
void TstCli::monitorKeepsTheWholeRecordingOnSigtermAndSighup()
{
    QFETCH(int, signalNumber);
    QFETCH(QString, log);
    const QString path = m_dir->filePath(log);
    start({QStringLiteral("monitor"), QStringLiteral("--log"), path});
    QByteArray sent;
    QByteArray shown;
    for (int line = 0; !shown.contains("line 40\n"); ++line) {
        QVERIFY(line < 200);
        const QByteArray piece = "line " + QByteArray::number(line) + '\n';
        QVERIFY(m_pty->write(piece));
        sent += piece;
        m_process->waitForReadyRead(20);
        shown += m_process->readAllStandardOutput();
    }
    // The last line shown arrived well within the recorder's flush interval.
    ::kill(pid_t(m_process->processId()), signalNumber);
    QCOMPARE(finish(), 128 + signalNumber);
    shown += m_process->readAllStandardOutput();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray recorded = file.readAll();
    if (log.endsWith(u".bin")) {
        QVERIFY2(recorded.startsWith(shown), recorded.right(40).constData());
        return;
    }
    const QList<QByteArray> lines = recorded.trimmed().split('\n');
    QVERIFY2(lines.last().contains("--- ポートクローズ"), lines.last().constData());
    QVERIFY2(lines.at(lines.size() - 2).endsWith(shown.trimmed().split('\n').last()), recorded.right(80).constData());
}

void TstCli::monitorSummarisesInJsonWhateverTheOutcome_data()
{
    QTest::addColumn<bool>("interrupt");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("outcome");

    QTest::newRow("until seen") << false << 0 << "done";
    QTest::newRow("interrupted") << true << 130 << "interrupted";
}

void TstCli::monitorSummarisesInJsonWhateverTheOutcome()
{
    QFETCH(bool, interrupt);
    QFETCH(int, status);
    QFETCH(QString, outcome);
    const QString log = m_dir->filePath(QStringLiteral("board.txt"));
    start({QStringLiteral("monitor"), QStringLiteral("--json"), QStringLiteral("--log"), log, QStringLiteral("--until"),
           interrupt ? QStringLiteral("NEVER") : QStringLiteral("OK")});
    for (int i = 0; i < 10 && m_process->state() == QProcess::Running; ++i) {
        QVERIFY(m_pty->write("a\r\nOK\n"));
        m_process->waitForFinished(100);
    }
    if (interrupt)
        ::kill(pid_t(m_process->processId()), SIGINT);
    QCOMPARE(finish(), status);
    const QByteArray output = m_process->readAllStandardOutput();
    QCOMPARE(output.count('\n'), 1);
    const QJsonObject summary = QJsonDocument::fromJson(output).object();
    QCOMPARE(summary.value(u"outcome").toString(), outcome);
    QCOMPARE(summary.value(u"exit").toInt(), status);
    QCOMPARE(summary.value(u"until_seen").toBool(), !interrupt);
    // Until the text is seen, at least the first "a\r\nOK" came.
    QVERIFY(summary.value(u"bytes").toInteger() >= 5);
    QVERIFY(summary.value(u"lines").toInteger() >= 1);
    QVERIFY(summary.value(u"seconds").toDouble() > 0);
}

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
