// SPDX-License-Identifier: MIT
#include "cli/commandline.h"
#include "cli/consoletext.h"
#include "cli/downloadsummary.h"
#include "cli/transferfigures.h"
#include "download/bitheader.h"
#include "bitfile.h"
#include "ptypair.h"
#include "serial/sendmacros.h"
#include "serial/serialchannel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/resource.h>

using namespace std::chrono_literals;

namespace {

QByteArray bitFile(const QByteArray &part)
{
    return bitfile::make(part);
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

    void formatsTransferFigures();
    void summarisesADownloadAsJson_data();
    void summarisesADownloadAsJson();

    void sendsTheWindowsBytes_data();
    void sendsTheWindowsBytes();
    void endsWithTheStatusOfItsCause_data();
    void endsWithTheStatusOfItsCause();
    void failsWithIoWhenTheDeviceVanishes();
    void stopsOnSigintAndDiscardsTheRest();
    void waitsForTheExpectedText();
    void hearsAnAnswerSentRightAfterTheLastByte();
    void reportsEveryOutcomeAsOneJsonObject_data();
    void reportsEveryOutcomeAsOneJsonObject();
    void printsWhatScriptsRead_data();
    void printsWhatScriptsRead();
    void sendsTextInCp932AndHexBytes();
    void sendsTheWindowsMacroByNameOrSlot();
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
    // The only adapter is the board's line, under a name a device could give itself.
    environment.insert(QStringLiteral("TOLVANE_SYSTEM_PORTS"), QStringLiteral("0"));
    environment.insert(QStringLiteral("TOLVANE_SERIAL_DIR"), m_dir->filePath(QStringLiteral("serial")));
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("serial/by-id"))));
    QVERIFY(QFile::link(m_pty->slavePath(), m_dir->filePath(QStringLiteral("serial/by-id/usb-Tolvane\x1b[31mBoard"))));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir->filePath(QStringLiteral("config")));
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

void TstCli::summarisesADownloadAsJson_data()
{
    QTest::addColumn<int>("exit");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<bool>("withHeader");
    QTest::addColumn<QByteArray>("json");

    QTest::newRow("sent, leading zeros kept in the CRC")
        << 0 << 0.5 << true
        << QByteArray(R"({"blocks":3,"bytes":900,"crc32":"00ab12cd","exit":0,"expect_seen":true,)"
                      R"("header":{"date":"2024/01/02","design":"blinky","part":"7a35t","time":"03:04:05"},)"
                      R"("outcome":"sent","rate_Bps":1800,"seconds":0.5})");
    QTest::newRow("failed at once: no rate, no header")
        << 3 << 0.0 << false
        << QByteArray(R"({"blocks":3,"bytes":900,"crc32":"00ab12cd","exit":3,"expect_seen":true,"header":null,)"
                      R"("outcome":"port","rate_Bps":0,"seconds":0})");
}

void TstCli::summarisesADownloadAsJson()
{
    QFETCH(int, exit);
    QFETCH(double, seconds);
    QFETCH(bool, withHeader);
    QFETCH(QByteArray, json);
    DownloadSummary summary{.exit = exit, .bytes = 900, .blocks = 3, .seconds = seconds, .crc32 = 0xAB12CD,
                            .header = {}, .expectSeen = true};
    if (withHeader)
        summary.header = readBitHeader(bitFile("7a35t"), bitFile("7a35t").size());
    QCOMPARE(commandline::jsonLine(QJsonDocument(summary.toJson())), QString::fromUtf8(json + '\n'));
    // A terminal takes U+009B for an escape as well as ESC.
    QCOMPARE(commandline::jsonLine(QJsonDocument(QJsonArray{QStringLiteral("a\x1b\u009bb")})), QStringLiteral("[\"a\\u001b\\u009bb\"]\n"));
}

void TstCli::sendsTheWindowsBytes_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("sent");
    QTest::addColumn<QString>("blocks");
    QTest::addColumn<int>("status");

    QTest::newRow("914 bytes") << 914 << 900 << "3 blocks" << 0;
    QTest::newRow("814 bytes") << 814 << 800 << "2 blocks" << 0;
    QTest::newRow("413 bytes") << 413 << 399 << "1 blocks" << 0;
    QTest::newRow("15 bytes") << 15 << 1 << "1 blocks" << 0;
    QTest::newRow("exactly 14 bytes") << 14 << 0 << "has 14 bytes, no more than the 14" << 4;
    QTest::newRow("empty file") << 0 << 0 << "nothing to send" << 4;
}

void TstCli::sendsTheWindowsBytes()
{
    QFETCH(int, length);
    QFETCH(int, sent);
    QFETCH(QString, blocks);
    QFETCH(int, status);
    const QByteArray file = patternBytes(length);
    start({QStringLiteral("download"), makeFile(file), QStringLiteral("--drop"), QStringLiteral("14")});
    QCOMPARE(finish(), status);
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
    QTest::newRow("nothing to send") << QStringList{"download", "@short"} << false << 4
                                     << "short.bit: nothing to send: the file has 10 bytes, no more than the 14";
    QTest::newRow("drop not whole") << QStringList{"download", file, "--drop", "2.5"} << false << 2
                                    << "--drop takes a whole number from 0 to 20, not \"2.5\"";
    QTest::newRow("timeout not a number") << QStringList{"download", file, "--timeout", "soon"} << false << 2
                                          << "--timeout takes a number from 0 to 86400, not \"soon\"";
    QTest::newRow("directory") << QStringList{"download", "@dir"} << false << 4 << "a directory, not a regular file";
    QTest::newRow("FIFO, not opened") << QStringList{"bitinfo", "@fifo"} << false << 4 << "a FIFO";
    QTest::newRow("device") << QStringList{"download", "/dev/null"} << false << 4 << "/dev/null: a character device";
    QTest::newRow("missing port names the adapters")
        << QStringList{"download", file, "--port", "/dev/tolvane-none"} << false << 3 << "usb-Tolvane?[31mBoard → /dev/";
    QTest::newRow("busy port points at ports") << QStringList{"send", "x"} << true << 3 << "\"tolvane-cli ports\" lists";
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
    const QString fifo = m_dir->filePath(QStringLiteral("fifo.bit"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    arguments.replaceInStrings(QStringLiteral("@file"), makeFile(bitFile("7a35t")));
    arguments.replaceInStrings(QStringLiteral("@short"), makeFile(patternBytes(10), QStringLiteral("short.bit")));
    arguments.replaceInStrings(QStringLiteral("@dir"), m_dir->path());
    arguments.replaceInStrings(QStringLiteral("@fifo"), fifo);
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
    start({QStringLiteral("download"), makeFile(file), QStringLiteral("--json")});
    QVERIFY(m_reader->waitFor(4000));
    ::kill(pid_t(m_process->processId()), SIGINT);
    QCOMPARE(finish(), 130);
    const QJsonObject summary = QJsonDocument::fromJson(m_process->readAllStandardOutput()).object();
    QCOMPARE(summary.value(QStringLiteral("outcome")).toString(), QStringLiteral("interrupted"));
    QCOMPARE(summary.value(QStringLiteral("exit")).toInt(), 130);
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

void TstCli::hearsAnAnswerSentRightAfterTheLastByte()
{
    m_reader.reset();
    const QByteArray file = bitFile("7a35t");
    const QString path = makeFile(file);
    // A few runs: the answer races the port's final reset.
    for (int run = 0; run < 3; ++run) {
        std::thread board([fd = m_pty->masterFd(), left = file.size() - 14] () mutable {
            char buffer[4096];
            pollfd readable{fd, POLLIN, 0};
            while (left > 0 && ::poll(&readable, 1, 10000) == 1) {
                const ssize_t got = ::read(fd, buffer, sizeof buffer);
                if (got <= 0)
                    return;
                left -= got;
            }
            [[maybe_unused]] const ssize_t written = ::write(fd, "DONE\n", 5);
        });
        start({QStringLiteral("download"), path, QStringLiteral("--expect"), QStringLiteral("DONE"),
               QStringLiteral("--timeout"), QStringLiteral("2")});
        const int status = finish();
        board.join();
        QVERIFY2(status == 0, qPrintable(QStringLiteral("run %1: %2 %3").arg(run).arg(status).arg(m_stderr)));
    }
}

void TstCli::reportsEveryOutcomeAsOneJsonObject_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<bool>("sent");

    const QString file = QStringLiteral("@file");
    QTest::newRow("sent") << QStringList{file} << 0 << "sent" << true;
    QTest::newRow("no answer") << QStringList{file, "--expect", "DONE", "--timeout", "0.2"} << 6 << "no-answer" << true;
    QTest::newRow("missing port") << QStringList{file, "--port", "/dev/tolvane-none"} << 3 << "port" << false;
    QTest::newRow("nothing to send") << QStringList{file, "@short"} << 4 << "file" << false;
    QTest::newRow("usage") << QStringList{file, "--drop", "2.5"} << 2 << "usage" << false;
}

void TstCli::reportsEveryOutcomeAsOneJsonObject()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, outcome);
    QFETCH(bool, sent);
    const QByteArray file = arguments.contains(QStringLiteral("@short")) ? bitFile("7a35t").first(10) : bitFile("7a35t");
    arguments.removeAll(QStringLiteral("@short"));
    arguments.replaceInStrings(QStringLiteral("@file"), makeFile(file));
    start(QStringList{QStringLiteral("download"), QStringLiteral("--json")} + arguments);
    QCOMPARE(finish(), status);
    const QByteArray output = m_process->readAllStandardOutput();
    QCOMPARE(output.count('\n'), 1);
    QJsonParseError error{};
    const QJsonObject summary = QJsonDocument::fromJson(output, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(summary.value(QStringLiteral("outcome")).toString(), outcome);
    QCOMPARE(summary.value(QStringLiteral("exit")).toInt(), status);
    const QByteArray payload = sent ? file.first(file.size() - 14) : QByteArray();
    QCOMPARE(summary.value(QStringLiteral("bytes")).toInteger(), payload.size());
    QCOMPARE(summary.value(QStringLiteral("crc32")).toString(),
             QStringLiteral("%1").arg(transferfigures::crc32(payload), 8, 16, QLatin1Char('0')));
    QCOMPARE(summary.value(QStringLiteral("expect_seen")).isNull(), !arguments.contains(QStringLiteral("--expect")));
    QCOMPARE(summary.value(QStringLiteral("header")).toObject().value(QStringLiteral("part")).toString(),
             status == 2 || outcome == QLatin1String("file") ? QString() : QStringLiteral("7a35t"));
}

void TstCli::printsWhatScriptsRead_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("inOrder");

    QTest::newRow("a header's escape shown harmless") << QStringList{"bitinfo", "@evil"}
                                                      << QStringList{"design:  blinky?[2J\n", "part:    7a35t\n"};
    QTest::newRow("and escaped in JSON") << QStringList{"bitinfo", "--json", "@evil"}
                                         << QStringList{R"("design": "blinky\u001b[2J")"};
    QTest::newRow("ports keeps its columns") << QStringList{"ports"}
                                             << QStringList{"3\t/dev/pts/", "/usb-Tolvane?[31mBoard\t-\t-\t-\tconnected\n"};
    QTest::newRow("help: options with defaults, then exit statuses")
        << QStringList{"download", "--help"} << QStringList{"--port", "(default 3)", "(default 14)", "--json", "Exit status:", "130"};
}

void TstCli::printsWhatScriptsRead()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, inOrder);
    arguments.replaceInStrings(QStringLiteral("@evil"), makeFile(bitfile::make("7a35t", {}, 0, "blinky\x1b[2J")));
    start(arguments);
    QCOMPARE(finish(), 0);
    const QString output = QString::fromUtf8(m_process->readAllStandardOutput());
    qsizetype from = 0;
    for (const QString &text : inOrder) {
        from = output.indexOf(text, from);
        QVERIFY2(from >= 0, qPrintable(text + QStringLiteral(" not in order in:\n") + output));
    }
    for (const QChar character : output)
        QVERIFY2(character >= QLatin1Char(' ') || character == QLatin1Char('\n') || character == QLatin1Char('\t'), qPrintable(output));
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
