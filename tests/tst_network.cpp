// SPDX-License-Identifier: MIT
#include "download/downloadengine.h"
#include "fakerfc2217server.h"
#include "restingreads.h"
#include "ser2netdaemon.h"
#include "serial/lineerrors.h"
#include "serial/linepacer.h"
#include "serial/networkaddress.h"
#include "serial/networkport.h"
#include "serial/portassignment.h"
#include "serial/portinventory.h"
#include "serial/portlocator.h"
#include "serial/rfc2217codec.h"
#include "serial/serialchannel.h"
#include "settings/portassigndialog.h"
#include "settings/portassignlauncher.h"
#include "windowfixture.h"

#include <QLineEdit>
#include <QTreeWidget>

#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <termios.h>

using namespace std::chrono_literals;

namespace {

constexpr auto kRfc2217 = Ser2netDaemon::Accepter::Rfc2217;
constexpr auto kTcp = Ser2netDaemon::Accepter::RawTcp;

QByteArray everyByte(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char(i * 7 % 256); // 0xFF included: telnet must double it
    return bytes;
}

} // namespace

class TstNetwork : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void codecReadsWhatAServerSends_data();
    void codecReadsWhatAServerSends();
    void pacerKeepsAtMost100msAhead();
    void addressesAreParsedAndAssignedAsLinkText_data();
    void addressesAreParsedAndAssignedAsLinkText();
    void assignmentDialogGivesANumberToAnAddress();

    void downloadsExactlyThroughSer2net_data();
    void downloadsExactlyThroughSer2net();
    void sendsAndReceives_data();
    void sendsAndReceives();
    void restingReadsTakeEveryByteInOrder_data();
    void restingReadsTakeEveryByteInOrder();
    void stoppedDaemonMidDownloadExitsWithIo_data();
    void stoppedDaemonMidDownloadExitsWithIo();
    void stoppedDaemonWhileIdleTellsTheOperator();
    void returningDaemonReopensThePortWhenAsked();
    void refusedOpenInTheWindowGivesTheServersReason();
    void secondClientIsRefusedWithTheServersText_data();
    void secondClientIsRefusedWithTheServersText();
    void socketWatchesASilentPeerThroughTheKernel();

    void lineStateNotificationsBecomeLineErrors();
    void serverRefusingTheSettingIsARefusedOpen();
    void finalResetPurgesTheFarPortAfterTheLastByte();

private:
    void startDaemon(Ser2netDaemon::Accepter accepter, const QString &line = QStringLiteral("115200n81"));
    void startCli(const QStringList &arguments);
    int finishCli();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<PtyReader> m_reader;
    std::unique_ptr<Ser2netDaemon> m_daemon;
    std::unique_ptr<QProcess> m_cli;
    QByteArray m_stderr;
};

void TstNetwork::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_pty = std::make_unique<PtyPair>(m_dir->filePath(QStringLiteral("ports")));
    QVERIFY(m_pty->isValid());
    ::fcntl(m_pty->masterFd(), F_SETFD, FD_CLOEXEC);
    m_reader = std::make_unique<PtyReader>(m_pty->masterFd());
    m_cli = std::make_unique<QProcess>();
}

void TstNetwork::cleanup()
{
    m_cli.reset();
    m_daemon.reset();
    m_reader.reset();
    m_pty.reset();
    m_dir.reset();
}

void TstNetwork::startDaemon(Ser2netDaemon::Accepter accepter, const QString &line)
{
    m_daemon = std::make_unique<Ser2netDaemon>(m_dir->path(), m_pty->slavePath(), accepter, line);
    QVERIFY(m_daemon->start());
}

void TstNetwork::startCli(const QStringList &arguments)
{
    m_cli->start(QStringLiteral(TOLVANE_CLI), arguments);
    QVERIFY(m_cli->waitForStarted());
}

int TstNetwork::finishCli()
{
    if (m_cli->state() != QProcess::NotRunning && !m_cli->waitForFinished(30000))
        return -1;
    m_stderr = m_cli->readAllStandardError();
    return m_cli->exitStatus() == QProcess::NormalExit ? m_cli->exitCode() : -3;
}

void TstNetwork::codecReadsWhatAServerSends_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("answers"); // COM-PORT-OPTION answers kept
    QTest::addColumn<QByteArray>("replies");

    const QByteArray baudAnswer = QByteArray::fromHex("fffa2c650001c200fff0");
    QTest::newRow("plain data") << QByteArray("ab\r\n") << QByteArray("ab\r\n") << 0 << QByteArray();
    QTest::newRow("doubled IAC is one data byte") << QByteArray::fromHex("41ffff42") << QByteArray::fromHex("41ff42") << 0
                                                  << QByteArray();
    QTest::newRow("answer amid data") << "a" + baudAnswer + "b" << QByteArray("ab") << 1 << QByteArray();
    QTest::newRow("IAC inside a value is doubled") << QByteArray::fromHex("fffa2c6500ffff0000fff0") << QByteArray() << 1
                                                   << QByteArray();
    QTest::newRow("offers taken, unknown refused")
        << QByteArray::fromHex("fffb03fffd00fffb18fffd18") << QByteArray() << 0
        << QByteArray::fromHex("fffd03fffb00fffe18fffc18");
    QTest::newRow("a repeated request gets no second reply")
        << QByteArray::fromHex("fffb18fffb18") << QByteArray() << 0 << QByteArray::fromHex("fffe18");
    QTest::newRow("client's own codes are no answers") << QByteArray::fromHex("fffa2c0100fff0") << QByteArray() << 0
                                                       << QByteArray();
    QTest::newRow("oversized subnegotiation dropped")
        << QByteArray::fromHex("fffa2c65") + QByteArray(500, 'x') + QByteArray::fromHex("fff0") + "z" << QByteArray("z")
        << 0 << QByteArray();
    QTest::newRow("other option's subnegotiation ignored") << QByteArray::fromHex("fffa1800fff0") + "q"
                                                           << QByteArray("q") << 0 << QByteArray();
}

// Fed a byte at a time and whole: a message split by the network reads the same.
void TstNetwork::codecReadsWhatAServerSends()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, data);
    QFETCH(int, answers);
    QFETCH(QByteArray, replies);
    for (const qsizetype piece : {qsizetype(1), input.size()}) {
        Rfc2217Codec codec;
        QByteArray got;
        for (qsizetype at = 0; at < input.size(); at += piece)
            codec.decode(input.constData() + at, qMin(piece, input.size() - at), got);
        QCOMPARE(got, data);
        QCOMPARE(codec.takeAnswers().size(), answers);
        QCOMPARE(codec.takeReplies(), replies);
    }
}

void TstNetwork::pacerKeepsAtMost100msAhead()
{
    LinePacer pacer;
    const auto start = LinePacer::Clock::now();
    const qint64 most = 11520 * LinePacer::kCountedAhead.count() / 1000;
    QVERIFY(most <= 1152);
    QCOMPARE(pacer.room(start), most);
    pacer.sent(most, start);
    QCOMPARE(pacer.room(start), 0);
    QCOMPARE(pacer.ahead(start + 50ms), most - 576);
    QCOMPARE(pacer.room(start + 50ms), 576);
    QVERIFY(pacer.untilRoom(start) > 0ns && pacer.untilRoom(start) < 1ms);
    QVERIFY(pacer.untilRoom(start, 64) > 5ms && pacer.untilRoom(start, 64) < 6ms);
    // Idle time is not credit: after a pause, no more than the bound goes ahead again.
    QCOMPARE(pacer.room(start + 10s), most);
    pacer.sent(100, start + 10s);
    QCOMPARE(pacer.ahead(start + 10s), 100);
}

void TstNetwork::addressesAreParsedAndAssignedAsLinkText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("bytesOnly");
    QTest::newRow("rfc2217") << "rfc2217://rack3:7001" << true << false;
    QTest::newRow("raw tcp") << "socket://10.0.0.5:7002" << true << true;
    QTest::newRow("IPv6") << "rfc2217://[::1]:7001" << true << false;
    QTest::newRow("no port") << "rfc2217://rack3" << false << false;
    QTest::newRow("options") << "rfc2217://rack3:7001?logging=debug" << false << false;
    QTest::newRow("path") << "socket://rack3:7002/x" << false << true;
    QTest::newRow("no host") << "socket://:7002" << false << true;
}

void TstNetwork::addressesAreParsedAndAssignedAsLinkText()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QFETCH(bool, bytesOnly);
    const std::optional<NetworkAddress> address = NetworkAddress::parse(name);
    QCOMPARE(address.has_value(), valid);
    QVERIFY(NetworkAddress::hasScheme(name));
    PortAssignment assignment(m_dir->filePath(QStringLiteral("ports")));
    QCOMPARE(assignment.assign(5, name), valid);
    if (!valid)
        return;
    QCOMPARE(address->bytesOnly(), bytesOnly);
    qputenv("TOLVANE_PORT_DIR", m_dir->filePath(QStringLiteral("ports")).toLocal8Bit());
    QCOMPARE(portlocator::devicePathForPort(5), name);
    const PortLink link = PortInventory(InventorySources::fromEnvironment()).portLink(5);
    QVERIFY(link.present);
    QCOMPARE(link.target, name);
}

void TstNetwork::assignmentDialogGivesANumberToAnAddress()
{
    InventorySources sources;
    sources.portDir = m_dir->filePath(QStringLiteral("ports"));
    sources.systemPorts = false;
    PortAssignDialog dialog(4, sources);
    dialog.show();
    auto *ports = dialog.findChild<QTreeWidget *>(QStringLiteral("lstPorts"));
    auto *assign = dialog.findChild<QPushButton *>(QStringLiteral("cmdAssign"));
    auto *address = dialog.findChild<QLineEdit *>(QStringLiteral("txtAddress"));
    QTest::keyClicks(address, QStringLiteral("socket://rack3:70"));
    QVERIFY(assign->isEnabled());
    QTest::keyClicks(address, QStringLiteral("02?x")); // not an address: nothing to assign
    QVERIFY(!assign->isEnabled());
    QTest::keyClick(address, Qt::Key_Backspace);
    QTest::keyClick(address, Qt::Key_Backspace);
    QTest::mouseClick(assign, Qt::LeftButton);
    QCOMPARE(ports->topLevelItem(3)->text(1), QStringLiteral("socket://rack3:7002"));
    QCOMPARE(portlocator::linkText(sources.portDir + QStringLiteral("/com4")), QStringLiteral("socket://rack3:7002"));
    QVERIFY(address->text().isEmpty());
    QVERIFY(portToolTip(QStringLiteral("socket://rack3:7002")).contains(QLatin1String("bytes only")));
}

void TstNetwork::downloadsExactlyThroughSer2net_data()
{
    sendsAndReceives_data();
}

// The last bytes reach the board before the final reset.
void TstNetwork::downloadsExactlyThroughSer2net()
{
    QFETCH(Ser2netDaemon::Accepter, accepter);
    startDaemon(accepter);
    m_reader = std::make_unique<PtyReader>(m_pty->masterFd(), 11520);
    const QByteArray file = everyByte(3014);
    QFile bit(m_dir->filePath(QStringLiteral("config.bit")));
    QVERIFY(bit.open(QIODevice::WriteOnly) && bit.write(file) == file.size());
    bit.close();
    startCli({QStringLiteral("download"), bit.fileName(), QStringLiteral("--port"), m_daemon->address(),
              QStringLiteral("--drop"), QStringLiteral("14"), QStringLiteral("--yes")});
    QCOMPARE(finishCli(), 0);
    QVERIFY2(m_stderr.contains("8 blocks"), m_stderr.constData());
    QVERIFY(m_reader->waitFor(3000, 1s));
    m_reader->settle();
    QCOMPARE(m_reader->received(), file.first(3000));
}

void TstNetwork::sendsAndReceives_data()
{
    QTest::addColumn<Ser2netDaemon::Accepter>("accepter");
    QTest::newRow("rfc2217") << kRfc2217;
    QTest::newRow("raw tcp") << kTcp;
}

void TstNetwork::sendsAndReceives()
{
    QFETCH(Ser2netDaemon::Accepter, accepter);
    startDaemon(accepter);
    startCli({QStringLiteral("send"), QStringLiteral("41 ff 0d 0a 42"), QStringLiteral("--hex"), QStringLiteral("--port"),
              m_daemon->address()});
    QCOMPARE(finishCli(), 0);
    QVERIFY(m_reader->waitFor(5));
    QCOMPARE(m_reader->received(), QByteArray::fromHex("41ff0d0a42"));

    startCli({QStringLiteral("monitor"), QStringLiteral("--until"), QStringLiteral("READY"), QStringLiteral("--duration"),
              QStringLiteral("5"), QStringLiteral("--port"), m_daemon->address()});
    // The board says it until someone hears: the program's open takes its time.
    QTimer board;
    connect(&board, &QTimer::timeout, this, [this] { m_pty->write("READY\r\n"); });
    board.start(100ms);
    QTRY_VERIFY_WITH_TIMEOUT(m_cli->state() == QProcess::NotRunning, 10000);
    QCOMPARE(finishCli(), 0);
    QVERIFY(m_cli->readAllStandardOutput().contains("READY"));
}

void TstNetwork::restingReadsTakeEveryByteInOrder_data()
{
    sendsAndReceives_data();
}

void TstNetwork::restingReadsTakeEveryByteInOrder()
{
    // The flood holds 0xFF, which telnet doubles.
    QFETCH(Ser2netDaemon::Accepter, accepter);
    startDaemon(accepter);
    SerialChannel channel;
    channel.setReadRest(14ms);
    channel.setDevicePath(m_daemon->address());
    QVERIFY(channel.setSettings(QStringLiteral("115200,n,8,1")));
    QVERIFY2(channel.setPortOpen(true), qPrintable(channel.errorString()));
    channel.setInputMode(SerialChannel::InputMode::Binary);
    checkRestingReads(*m_pty, channel, everyByte(256 * 1024));
}

void TstNetwork::stoppedDaemonMidDownloadExitsWithIo_data()
{
    sendsAndReceives_data();
}

void TstNetwork::stoppedDaemonMidDownloadExitsWithIo()
{
    QFETCH(Ser2netDaemon::Accepter, accepter);
    startDaemon(accepter);
    m_reader = std::make_unique<PtyReader>(m_pty->masterFd(), 11520);
    QFile bit(m_dir->filePath(QStringLiteral("big.bit")));
    QVERIFY(bit.open(QIODevice::WriteOnly) && bit.write(everyByte(200 * 1024)) > 0);
    bit.close();
    startCli({QStringLiteral("download"), bit.fileName(), QStringLiteral("--port"), m_daemon->address(),
              QStringLiteral("--yes")});
    QVERIFY(m_reader->waitFor(2000));
    m_daemon->stop();
    QCOMPARE(finishCli(), 5);
    QVERIFY2(m_stderr.contains("went away"), m_stderr.constData());
}

void TstNetwork::stoppedDaemonWhileIdleTellsTheOperator()
{
    WindowFixture fx;
    QVERIFY(fx.setUp());
    m_daemon = std::make_unique<Ser2netDaemon>(m_dir->path(), fx.pty->slavePath(), kRfc2217, QStringLiteral("115200n81"));
    QVERIFY(m_daemon->start());
    // The operator's shell: ln -sf rfc2217://host:port com3.
    QVERIFY(PortAssignment(fx.dir->path()).assign(3, m_daemon->address()));
    auto *toggle = fx.control<QPushButton>("cmdComOpen");
    QTest::mouseClick(toggle, Qt::LeftButton);
    QVERIFY(fx.window->channel().portOpen());
    QCOMPARE(toggle->text(), QStringLiteral("COM クローズ"));

    m_daemon->stop();
    QTRY_COMPARE(fx.answerer->messages.size(), 1);
    QCOMPARE(fx.answerer->messages.first().text, QStringLiteral("ポートが切断されました"));
    QCOMPARE(toggle->text(), QStringLiteral("COM オープン"));
    fx.tearDown();
}

void TstNetwork::returningDaemonReopensThePortWhenAsked()
{
    WindowFixture fx;
    QVERIFY(fx.setUp());
    m_daemon = std::make_unique<Ser2netDaemon>(m_dir->path(), fx.pty->slavePath(), kRfc2217, QStringLiteral("115200n81"));
    QVERIFY(m_daemon->start());
    QVERIFY(PortAssignment(fx.dir->path()).assign(3, m_daemon->address()));
    QVERIFY(fx.chooseFromContextMenu(fx.control("Label3"), QStringLiteral("自動再接続")));
    QVERIFY(fx.openPort());

    m_daemon->stop();
    QTRY_COMPARE(fx.answerer->messages.size(), 1);
    QVERIFY(!fx.window->channel().portOpen());
    QTest::qWait(1500); // tried, and refused, while the daemon is away
    QVERIFY(m_daemon->start());
    QTRY_VERIFY_WITH_TIMEOUT(fx.window->channel().portOpen(), 5000);
    QCOMPARE(fx.control<QPushButton>("cmdComOpen")->text(), QStringLiteral("COM クローズ"));
    QCOMPARE(fx.answerer->messages.size(), 1);
    fx.tearDown();
}

void TstNetwork::refusedOpenInTheWindowGivesTheServersReason()
{
    WindowFixture fx;
    QVERIFY(fx.setUp());
    m_daemon = std::make_unique<Ser2netDaemon>(m_dir->path(), fx.pty->slavePath(), kTcp);
    QVERIFY(m_daemon->start());
    SerialChannel first;
    first.setDevicePath(m_daemon->address());
    QVERIFY(first.setSettings(QStringLiteral("115200,n,8,1")));
    QVERIFY(first.setPortOpen(true));
    QVERIFY(PortAssignment(fx.dir->path()).assign(3, m_daemon->address()));
    fx.click("cmdComOpen");
    QTRY_COMPARE(fx.answerer->messages.size(), 1);
    QVERIFY2(fx.answerer->messages.first().text.startsWith(QStringLiteral("ポートをオープンできません\n%1\nPort already in use")
                                                               .arg(m_daemon->address())),
             qPrintable(fx.answerer->messages.first().text));
    QVERIFY(!fx.window->channel().portOpen());
    fx.tearDown();
}

void TstNetwork::secondClientIsRefusedWithTheServersText_data()
{
    QTest::addColumn<Ser2netDaemon::Accepter>("accepter");
    QTest::addColumn<int>("farSpeed"); // the far port's speed while open
    QTest::newRow("rfc2217 sets the line") << kRfc2217 << int(B115200);
    QTest::newRow("raw tcp keeps the server's") << kTcp << int(B9600);
}

// ser2net takes the second connection, says why it cannot have the port and closes.
void TstNetwork::secondClientIsRefusedWithTheServersText()
{
    QFETCH(Ser2netDaemon::Accepter, accepter);
    QFETCH(int, farSpeed);
    startDaemon(accepter, QStringLiteral("9600n81"));
    SerialChannel first;
    first.setDevicePath(m_daemon->address());
    QVERIFY(first.setSettings(QStringLiteral("115200,n,8,1")));
    QVERIFY2(first.setPortOpen(true), qPrintable(first.errorString()));
    const termios far = m_pty->lineSettings();
    QCOMPARE(int(cfgetospeed(&far)), farSpeed);
    startCli({QStringLiteral("send"), QStringLiteral("x"), QStringLiteral("--port"), m_daemon->address()});
    QCOMPARE(finishCli(), 3);
    QVERIFY2(m_stderr.contains("Port already in use"), m_stderr.constData());
    m_reader->settle();
    QVERIFY(m_reader->received().isEmpty());
}

void TstNetwork::socketWatchesASilentPeerThroughTheKernel()
{
    startDaemon(kTcp);
    NetworkPort port;
    QVERIFY(port.open(*NetworkAddress::parse(m_daemon->address()), {115200, 'n', 8, 1}, 0, false));
    const int fd = int(port.socketDescriptor());
    const auto option = [fd](int level, int name) {
        int value = -1;
        socklen_t size = sizeof value;
        return ::getsockopt(fd, level, name, &value, &size) == 0 ? value : -1;
    };
    QCOMPARE(option(SOL_SOCKET, SO_KEEPALIVE), 1);
    QCOMPARE(option(IPPROTO_TCP, TCP_KEEPIDLE), 5);
    QCOMPARE(option(IPPROTO_TCP, TCP_KEEPINTVL), 1);
    QCOMPARE(option(IPPROTO_TCP, TCP_KEEPCNT), 5);
    QCOMPARE(option(IPPROTO_TCP, TCP_USER_TIMEOUT), 10000);
}

void TstNetwork::lineStateNotificationsBecomeLineErrors()
{
    FakeRfc2217Server server;
    SerialChannel channel;
    channel.setDevicePath(QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.port()));
    QVERIFY(channel.setSettings(QStringLiteral("115200,n,8,1")));
    QVERIFY2(channel.setPortOpen(true), qPrintable(channel.errorString()));
    QList<int> events;
    connect(&channel, &SerialChannel::onComm, this, [&] { events.append(channel.commEvent()); });
    server.notifyLineState(0x1e); // break, framing, parity, overrun
    QTRY_COMPARE(events, (QList<int>{commevent::kBreak, commevent::kFrame, commevent::kOverrun, commevent::kParity}));
}

void TstNetwork::serverRefusingTheSettingIsARefusedOpen()
{
    FakeRfc2217Server server(9600);
    SerialChannel channel;
    channel.setDevicePath(QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.port()));
    QVERIFY(channel.setSettings(QStringLiteral("115200,n,8,1")));
    QVERIFY(!channel.setPortOpen(true));
    QVERIFY2(channel.errorString().contains(QLatin1String("9600")), qPrintable(channel.errorString()));
    QVERIFY(!channel.portOpen());
}

void TstNetwork::finalResetPurgesTheFarPortAfterTheLastByte()
{
    FakeRfc2217Server server;
    SerialChannel channel;
    channel.setDevicePath(QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.port()));
    QVERIFY(channel.setSettings(QStringLiteral("115200,n,8,1")));
    QVERIFY(channel.setPortOpen(true));
    const QByteArray file = everyByte(2000);
    QFile bit(m_dir->filePath(QStringLiteral("config.bit")));
    QVERIFY(bit.open(QIODevice::WriteOnly) && bit.write(file) == file.size());
    bit.close();
    DownloadEngine engine(channel);
    const std::optional<BlockPlan> plan = engine.plan(bit.fileName(), 0);
    QVERIFY(plan);
    QCOMPARE(engine.transfer(bit.fileName(), *plan), DownloadEngine::Outcome::Sent);
    QCOMPARE(server.data(), file);
    // The connection stays; the purge (both directions) is the last thing asked.
    QVERIFY(channel.portOpen());
    QCOMPARE(server.commands().last(), int(Rfc2217Codec::PurgeData));
}

QTEST_MAIN(TstNetwork)
#include "tst_network.moc"
