// SPDX-License-Identifier: MIT
#include "ptypair.h"
#include "restingreads.h"
#include "serial/cp932codec.h"
#include "serial/lineerrors.h"
#include "serial/linesettings.h"
#include "serial/portassignment.h"
#include "serial/portinventory.h"
#include "serial/portlocator.h"
#include "serial/portreadgate.h"
#include "serial/serialchannel.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <thread>

#include <poll.h>
#include <unistd.h>

using namespace std::chrono_literals;

class TstSerial : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensRawAt115200With8N1AndNoFlowControl();
    void refusesASecondOpenOfTheSamePort();
    void failedOpenLeavesPortClosedAndSaysWhy();
    void findsDeviceThroughPortDirectory();
    void raisesReceiveEventAndYieldsInput_data();
    void raisesReceiveEventAndYieldsInput();
    void joinsCp932CharacterSplitAcrossReads();
    void closeLetsEveryQueuedByteLeaveInOrder();
    void pushOutputWritesWhileTheLineTakesBytes();
    void zeroInBufferCountDiscardsWaitingInput();
    void closesItselfWhenTheDeviceGoesAway();
    void keepsReceivingAFastStreamWhileInputEmptiesTheTty();
    void restingReadsTakeEveryByteInOrder();
    void readsAFloodBesideTheEventLoop_data();
    void readsAFloodBesideTheEventLoop();
    void gateTakesWaitingBytesOnlyWhenARestEnds();
    void postedEventsReachHandlersInOrder();
    void heldEventsWaitUntilReleased();

    void mapsRisingCountersToEventCodes_data();
    void mapsRisingCountersToEventCodes();
    void parsesLineSettings_data();
    void parsesLineSettings();
    void decodesCp932InPieces_data();
    void decodesCp932InPieces();
    void decodesRandomSplitsLikeOneRead();
    void encodesCp932_data();
    void encodesCp932();

    void findsDevicesUnderStableNames_data();
    void findsDevicesUnderStableNames();
    void knowsAUartPlaceholderIsNoDevice_data();
    void knowsAUartPlaceholderIsNoDevice();
    void assignedPortOpensTheDeviceAcrossAReplug();
    void replacesAndRemovesAnAssignment();
    void refusedAssignmentChangesNothing_data();
    void refusedAssignmentChangesNothing();

private:
    void openChannel();
    InventorySources sources() const;
    QString linkIn(const QString &name, const QString &target) const;
    QStringList entries() const;
    void verifyPortReaches(int port, PtyPair &board);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<PtyReader> m_reader;
    std::unique_ptr<SerialChannel> m_channel;
};

void TstSerial::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    qputenv("TOLVANE_PORT_DIR", m_dir->path().toLocal8Bit());
    m_pty = std::make_unique<PtyPair>(m_dir->path(), 3);
    QVERIFY(m_pty->isValid());
    m_reader = std::make_unique<PtyReader>(m_pty->masterFd());
    m_channel = std::make_unique<SerialChannel>();
    m_channel->setCommPort(3);
    QVERIFY(m_channel->setSettings(QStringLiteral("115200,n,8,1")));
    m_channel->setRThreshold(1);
}

void TstSerial::cleanup()
{
    m_channel.reset();
    m_reader.reset();
    m_pty.reset();
    m_dir.reset();
}

void TstSerial::openChannel()
{
    QVERIFY2(m_channel->setPortOpen(true), qPrintable(m_channel->errorString()));
    QVERIFY(m_channel->portOpen());
}

void TstSerial::opensRawAt115200With8N1AndNoFlowControl()
{
    openChannel();
    const termios line = m_pty->lineSettings();
    QCOMPARE(cfgetospeed(&line), speed_t(B115200));
    QCOMPARE(cfgetispeed(&line), speed_t(B115200));
    QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(line.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), tcflag_t(0));
    QCOMPARE(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
    QCOMPARE(line.c_oflag & OPOST, tcflag_t(0));

    m_channel->setPortOpen(false);
    QVERIFY(!m_channel->portOpen());
}

void TstSerial::refusesASecondOpenOfTheSamePort()
{
    openChannel();
    SerialChannel second;
    second.setCommPort(3);
    QVERIFY(second.setSettings(QStringLiteral("115200,n,8,1")));
    QVERIFY(!second.setPortOpen(true));
    QVERIFY(!second.portOpen());
    QVERIFY(second.errorString().contains(QLatin1String("busy")));
}

void TstSerial::failedOpenLeavesPortClosedAndSaysWhy()
{
    QFile::link(m_dir->filePath(QStringLiteral("unplugged")), m_dir->filePath(QStringLiteral("com7")));
    m_channel->setCommPort(7);
    QVERIFY(!m_channel->setPortOpen(true));
    QVERIFY(!m_channel->portOpen());
    QCOMPARE(m_channel->devicePath(), m_dir->filePath(QStringLiteral("unplugged")));
    QVERIFY2(m_channel->errorString().contains(QLatin1String("No such file")),
             qPrintable(m_channel->errorString()));
}

void TstSerial::findsDeviceThroughPortDirectory()
{
    QCOMPARE(portlocator::portDirectory(), m_dir->path());
    QCOMPARE(portlocator::devicePathForPort(3), m_pty->slavePath());
    QCOMPARE(portlocator::devicePathForPort(12), QStringLiteral("/dev/ttyS11"));

    qunsetenv("TOLVANE_PORT_DIR");
    qputenv("XDG_CONFIG_HOME", "/tmp/tolvane-config");
    QCOMPARE(portlocator::portDirectory(), QStringLiteral("/tmp/tolvane-config/tolvane/ports"));
}

void TstSerial::raisesReceiveEventAndYieldsInput_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QVariant>("expected");

    const QByteArray bytes("\x00\x0a\x41\xff", 4);
    QTest::newRow("binary keeps every byte") << 1 << bytes << QVariant(bytes);
    QTest::newRow("text is ASCII as is") << 0 << QByteArray("OK\r\n") << QVariant(QStringLiteral("OK\r\n"));
    QTest::newRow("text decodes CP932") << 0 << QByteArray("\x82\xa0\x83\x41") << QVariant(QStringLiteral("あア"));
    QTest::newRow("text keeps a leading NUL") << 0 << QByteArray("\0AB", 3)
                                              << QVariant(QString(QChar(0)) + QStringLiteral("AB"));
}

void TstSerial::raisesReceiveEventAndYieldsInput()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, sent);
    QFETCH(QVariant, expected);

    openChannel();
    QSignalSpy events(m_channel.get(), &SerialChannel::onComm);
    QVERIFY(events.isValid());
    QVERIFY(m_pty->write(sent));
    QTRY_VERIFY(m_channel->inBufferCount() >= sent.size() || !events.isEmpty());
    QTRY_VERIFY(!events.isEmpty());
    QCOMPARE(m_channel->commEvent(), commevent::kReceive);

    m_channel->setInputMode(SerialChannel::InputMode(mode));
    QTRY_COMPARE(m_channel->inBufferCount(), qint64(sent.size()));
    const SerialChannel::Input input = m_channel->input();
    if (mode == 1)
        QCOMPARE(std::get<QByteArray>(input), expected.toByteArray());
    else
        QCOMPARE(std::get<QString>(input), expected.toString());
    QCOMPARE(m_channel->inBufferCount(), qint64(0));
}

void TstSerial::joinsCp932CharacterSplitAcrossReads()
{
    openChannel();
    m_channel->setInputMode(SerialChannel::InputMode::Text);
    QVERIFY(m_pty->write(QByteArray("A\x82")));
    QTRY_COMPARE(m_channel->inBufferCount(), qint64(2));
    QCOMPARE(std::get<QString>(m_channel->input()), QStringLiteral("A"));
    QVERIFY(m_pty->write(QByteArray("\xa0" "B")));
    QTRY_COMPARE(m_channel->inBufferCount(), qint64(2));
    QCOMPARE(std::get<QString>(m_channel->input()), QStringLiteral("あB"));
}

void TstSerial::closeLetsEveryQueuedByteLeaveInOrder()
{
    openChannel();
    QByteArray payload(256 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(42);
    generator.fillRange(reinterpret_cast<quint32 *>(payload.data()), payload.size() / 4);

    QSignalSpy taken(m_channel.get(), &SerialChannel::outputTaken);
    m_channel->output(payload);
    QCOMPARE(taken.size(), 1);
    m_channel->setPortOpen(false);
    QVERIFY(!m_channel->portOpen());
    QVERIFY(m_reader->waitFor(payload.size()));
    m_reader->settle();
    QCOMPARE(m_reader->size(), payload.size());
    QVERIFY(m_reader->received() == payload);
}

// No turn of the event loop: what the line takes leaves at once, and a full
// line ends the wait without an error.
void TstSerial::pushOutputWritesWhileTheLineTakesBytes()
{
    openChannel();
    QVERIFY(!m_channel->pushOutput(0ms));
    QByteArray payload(256 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(payload.data()), payload.size() / 4);
    m_channel->output(payload);
    while (m_channel->outBufferCount() > 0)
        QVERIFY(m_channel->pushOutput(5s));
    QVERIFY(m_reader->waitFor(payload.size()));
    m_reader->settle();
    QVERIFY(m_reader->received() == payload);

    m_reader.reset(); // nobody reads: the line fills up
    m_channel->output(payload);
    while (m_channel->pushOutput(20ms)) {
    }
    QVERIFY(m_channel->outBufferCount() > 0);
    QVERIFY(m_channel->portOpen());
    m_channel->setOutBufferCount(0); // a close would wait for the line
}

void TstSerial::zeroInBufferCountDiscardsWaitingInput()
{
    openChannel();
    QVERIFY(m_pty->write(QByteArray("discard me")));
    QTRY_COMPARE(m_channel->inBufferCount(), qint64(10));
    m_channel->setInBufferCount(0);
    QCOMPARE(m_channel->inBufferCount(), qint64(0));
    m_channel->setInputMode(SerialChannel::InputMode::Binary);
    QCOMPARE(std::get<QByteArray>(m_channel->input()), QByteArray());

    QVERIFY(m_pty->write(QByteArray("kept")));
    QTRY_COMPARE(m_channel->inBufferCount(), qint64(4));
    QCOMPARE(std::get<QByteArray>(m_channel->input()), QByteArray("kept"));
}

void TstSerial::closesItselfWhenTheDeviceGoesAway()
{
    openChannel();
    QSignalSpy gone(m_channel.get(), &SerialChannel::disconnected);
    QVERIFY(gone.isValid());
    m_reader.reset();
    m_pty->closeMaster();
    QTRY_COMPARE(gone.size(), 1);
    QVERIFY(!m_channel->portOpen());

    // The board is back under the same link: the same port number opens.
    m_pty = std::make_unique<PtyPair>(m_dir->path(), 3);
    m_reader = std::make_unique<PtyReader>(m_pty->masterFd());
    openChannel();
    m_channel->output(QByteArray("again"));
    QVERIFY(m_reader->waitFor(5));
    QCOMPARE(m_reader->received(), QByteArray("again"));
}

void TstSerial::keepsReceivingAFastStreamWhileInputEmptiesTheTty()
{
    // input() also takes what is still in the tty, so QSerialPort's own read
    // notification can come to an empty tty: that must neither close the port
    // nor stop the events.
    openChannel();
    m_channel->setInputMode(SerialChannel::InputMode::Binary);
    QByteArray received;
    connect(m_channel.get(), &SerialChannel::onComm, this,
            [&] { received += std::get<QByteArray>(m_channel->input()); });
    QSignalSpy gone(m_channel.get(), &SerialChannel::disconnected);
    QByteArray payload(1024 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(3);
    generator.fillRange(reinterpret_cast<quint32 *>(payload.data()), payload.size() / 4);

    QVERIFY(m_pty->write(payload));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), payload.size(), 20000);
    QVERIFY(received == payload);
    QVERIFY(m_channel->portOpen());
    QVERIFY(gone.isEmpty());
}

void TstSerial::restingReadsTakeEveryByteInOrder()
{
    m_channel->setReadRest(std::chrono::milliseconds(14));
    openChannel();
    m_channel->setInputMode(SerialChannel::InputMode::Binary);
    QByteArray flood(512 * 1024, Qt::Uninitialized);
    QRandomGenerator(5).fillRange(reinterpret_cast<quint32 *>(flood.data()), flood.size() / 4);
    checkRestingReads(*m_pty, *m_channel, flood);
}

void TstSerial::readsAFloodBesideTheEventLoop_data()
{
    QTest::addColumn<int>("handlingMs");
    QTest::newRow("taken as it comes") << 0;
    QTest::newRow("taken slowly: the reader waits for room") << 30;
}

void TstSerial::readsAFloodBesideTheEventLoop()
{
    // Written from a thread as fast as the tty takes it, the flood fills far
    // more than a tty holds between two reads, and reading moves to a thread
    // of its own. Every byte comes whole and in order, and once it is over
    // a lone byte still wakes the channel.
    QFETCH(int, handlingMs);
    openChannel();
    m_channel->setInputMode(SerialChannel::InputMode::Binary);
    QByteArray received;
    connect(m_channel.get(), &SerialChannel::onComm, this, [&] {
        QThread::msleep(ulong(handlingMs));
        received += std::get<QByteArray>(m_channel->input());
    });
    QByteArray flood(4 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(11).fillRange(reinterpret_cast<quint32 *>(flood.data()), flood.size() / 4);
    std::atomic<bool> stop{false};
    std::thread writer([fd = m_pty->masterFd(), &flood, &stop] {
        for (qsizetype done = 0; done < flood.size() && !stop;) {
            const ssize_t written = ::write(fd, flood.constData() + done, size_t(flood.size() - done));
            pollfd room{fd, POLLOUT, 0};
            if (written > 0)
                done += written;
            else if (errno == EAGAIN)
                ::poll(&room, 1, 5);
            else if (errno != EINTR)
                return;
        }
    });
    const auto joined = qScopeGuard([&] {
        stop = true;
        writer.join();
    });
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), flood.size(), 30000);
    QVERIFY(received == flood);
    QTest::qWait(150);
    QVERIFY(m_pty->write("z"));
    QTRY_COMPARE(received.size(), flood.size() + 1);
    QCOMPARE(received.back(), 'z');
    QCOMPARE(m_channel->inBufferCount(), qint64(0));
}

void TstSerial::gateTakesWaitingBytesOnlyWhenARestEnds()
{
    // A hold ends inside the owner's own calls (a close, a drop of input):
    // reading and raising events there would run handlers in the middle of
    // them, and show what was to be dropped.
    QBuffer device;
    QVERIFY(device.open(QIODevice::ReadOnly));
    PortReadGate gate;
    gate.setDevice(&device);
    gate.setPeriod(5ms);
    int asked = 0;
    gate.setTakeWaiting([&] {
        ++asked;
        return false;
    });
    gate.hold(true);
    gate.hold(false);
    QCOMPARE(asked, 0);
    gate.rest(1);
    QTRY_COMPARE(asked, 1);
}

void TstSerial::postedEventsReachHandlersInOrder()
{
    openChannel();
    QList<int> codes;
    connect(m_channel.get(), &SerialChannel::onComm, this, [&] { codes.append(m_channel->commEvent()); });
    m_channel->postCommEvent(commevent::kFrame);
    m_channel->postCommEvent(1010);
    QVERIFY(codes.isEmpty()); // never from inside the caller
    QTRY_COMPARE(codes, (QList<int>{commevent::kFrame, 1010}));
}

void TstSerial::heldEventsWaitUntilReleased()
{
    openChannel();
    QList<int> codes;
    connect(m_channel.get(), &SerialChannel::onComm, this, [&] { codes.append(m_channel->commEvent()); });
    m_channel->holdEvents(true);
    QVERIFY(m_pty->write(QByteArray("abc")));
    m_channel->postCommEvent(commevent::kFrame);
    QTRY_COMPARE(m_channel->inBufferCount(), qint64(3));
    QTest::qWait(100);
    QVERIFY(codes.isEmpty());

    m_channel->holdEvents(false);
    QTRY_COMPARE(codes.size(), 2);
    std::sort(codes.begin(), codes.end());
    QCOMPARE(codes, (QList<int>{commevent::kReceive, commevent::kFrame}));
    m_channel->setInputMode(SerialChannel::InputMode::Binary);
    QCOMPARE(std::get<QByteArray>(m_channel->input()), QByteArray("abc"));
}

void TstSerial::mapsRisingCountersToEventCodes_data()
{
    QTest::addColumn<LineErrorCounters>("before");
    QTest::addColumn<LineErrorCounters>("after");
    QTest::addColumn<QList<int>>("events");

    const LineErrorCounters base{5, 6, 7, 8, 9};
    QTest::newRow("nothing changed") << base << base << QList<int>{};
    QTest::newRow("break") << base << LineErrorCounters{6, 6, 7, 8, 9} << QList<int>{1001};
    QTest::newRow("framing") << base << LineErrorCounters{5, 9, 7, 8, 9} << QList<int>{1004};
    QTest::newRow("overrun") << base << LineErrorCounters{5, 6, 8, 8, 9} << QList<int>{1006};
    QTest::newRow("buffer overflow") << base << LineErrorCounters{5, 6, 7, 9, 9} << QList<int>{1008};
    QTest::newRow("parity") << base << LineErrorCounters{5, 6, 7, 8, 10} << QList<int>{1009};
    QTest::newRow("all at once, in code order")
        << base << LineErrorCounters{6, 7, 8, 9, 10} << QList<int>{1001, 1004, 1006, 1008, 1009};
    QTest::newRow("counter wraps") << LineErrorCounters{0, 0xffffffffu, 0, 0, 0}
                                   << LineErrorCounters{0, 1, 0, 0, 0} << QList<int>{1004};
    QTest::newRow("counter reset is no error") << base << LineErrorCounters{} << QList<int>{};
}

void TstSerial::mapsRisingCountersToEventCodes()
{
    QFETCH(LineErrorCounters, before);
    QFETCH(LineErrorCounters, after);
    QFETCH(QList<int>, events);
    QCOMPARE(lineErrorEvents(before, after), events);
}

void TstSerial::parsesLineSettings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("dataBits");

    QTest::newRow("the program's own") << "115200,n,8,1" << true << 115200 << 8;
    QTest::newRow("upper case parity") << "9600,E,7,2" << true << 9600 << 7;
    QTest::newRow("missing field") << "115200,n,8" << false << 0 << 0;
    QTest::newRow("bad parity") << "115200,x,8,1" << false << 0 << 0;
    QTest::newRow("bad data bits") << "115200,n,9,1" << false << 0 << 0;
    QTest::newRow("bad baud") << "fast,n,8,1" << false << 0 << 0;
}

void TstSerial::parsesLineSettings()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const auto settings = parseLineSettings(text);
    QCOMPARE(settings.has_value(), valid);
    if (valid) {
        QFETCH(int, baud);
        QFETCH(int, dataBits);
        QCOMPARE(settings->baudRate, baud);
        QCOMPARE(settings->dataBits, dataBits);
    }
}

void TstSerial::decodesCp932InPieces_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("ascii") << QByteArrayList{"abc", "def"} << QStringList{"abc", "def"};
    QTest::newRow("lead byte at the end")
        << QByteArrayList{"x\x82", "\xa0y"} << QStringList{"x", QStringLiteral("あy")};
    QTest::newRow("lone lead byte piece")
        << QByteArrayList{"\x82", "\xa0"} << QStringList{"", QStringLiteral("あ")};
    QTest::newRow("trail byte looks like ASCII")
        << QByteArrayList{"\x83", "\x41"} << QStringList{"", QStringLiteral("ア")};
    QTest::newRow("half-width katakana is one byte")
        << QByteArrayList{"\xb1", "A"} << QStringList{QStringLiteral("ｱ"), "A"};
    QTest::newRow("second byte of a pair is not a lead")
        << QByteArrayList{"\x82\x81", "A"} << QStringList{QStringLiteral("ａ"), "A"};
    QTest::newRow("ASCII controls keep their codes beside double-byte text")
        << QByteArrayList{"\x82\xa0\x1a\x1c\x7f", "\x7f"}
        << QStringList{QStringLiteral("あ\x1a\x1c\x7f"), "\x7f"};
    QTest::newRow("lead byte without a trail byte")
        << QByteArrayList{"\x82\x0d" "A\x82\x7f"} << QStringList{QStringLiteral("\x1a\rA\x1a\x7f")};
}

void TstSerial::decodesCp932InPieces()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(QStringList, texts);
    Cp932Decoder decoder;
    for (qsizetype i = 0; i < pieces.size(); ++i)
        QCOMPARE(decoder.decode(pieces[i]), texts[i]);
    QVERIFY(!decoder.hasPendingByte());
}

void TstSerial::decodesRandomSplitsLikeOneRead()
{
    QRandomGenerator generator(7);
    const QByteArray alphabet("AZaz09\r\n\x82\xa0\x83\x41\x88\x9f\xb1\xdf\x81\x40\xe0\x40");
    for (int round = 0; round < 200; ++round) {
        QByteArray stream;
        for (int i = 0; i < 64; ++i) {
            const int at = generator.bounded(int(alphabet.size() / 2)) * 2;
            stream.append(alphabet.mid(at, 2));
        }
        Cp932Decoder whole;
        const QString expected = whole.decode(stream);
        Cp932Decoder pieces;
        QString joined;
        for (qsizetype at = 0; at < stream.size();) {
            const qsizetype length = qMin<qsizetype>(1 + generator.bounded(5), stream.size() - at);
            joined += pieces.decode(stream.mid(at, length));
            at += length;
        }
        QCOMPARE(joined, expected);
    }
}

void TstSerial::encodesCp932_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("ascii") << "abc\r\n" << QByteArray("abc\r\n");
    QTest::newRow("hiragana and katakana") << QStringLiteral("あア") << QByteArray("\x82\xa0\x83\x41");
    QTest::newRow("half-width katakana") << QStringLiteral("ｱ") << QByteArray("\xb1");
    QTest::newRow("euro sign is unrepresentable") << QStringLiteral("a€b") << QByteArray("a?b");
    QTest::newRow("emoji is one question mark") << QStringLiteral("😀") << QByteArray("?");
    QTest::newRow("empty") << QString() << QByteArray();
}

void TstSerial::encodesCp932()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(encodeCp932(text), bytes);
}

InventorySources TstSerial::sources() const
{
    InventorySources sources;
    sources.byIdDir = m_dir->filePath(QStringLiteral("serial/by-id"));
    sources.byPathDir = m_dir->filePath(QStringLiteral("serial/by-path"));
    sources.portDir = m_dir->path();
    sources.systemPorts = false;
    return sources;
}

// A link at a path relative to the port dir; the target is relative to it too.
QString TstSerial::linkIn(const QString &name, const QString &target) const
{
    const QString link = m_dir->filePath(name);
    QDir().mkpath(QFileInfo(link).path());
    QFile::remove(link);
    QFile::link(target.startsWith(QLatin1Char('/')) ? target : m_dir->filePath(target), link);
    return link;
}

QStringList TstSerial::entries() const
{
    return QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
}

void TstSerial::verifyPortReaches(int port, PtyPair &board)
{
    PtyReader reader(board.masterFd());
    m_channel->setCommPort(port);
    openChannel();
    m_channel->output(QStringLiteral("hello"));
    QVERIFY(reader.waitFor(5) && reader.received() == "hello");
    QVERIFY(m_channel->setPortOpen(false));
}

void TstSerial::findsDevicesUnderStableNames_data()
{
    // Links as "path -> target" inside the port dir, A and B standing for two
    // boards; each device as "name node ports", with com3 -> A always there.
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QStringList>("devices");

    QTest::newRow("by-id link")
        << QStringList{"serial/by-id/usb-FTDI_A-if00-port0 -> A"}
        << QStringList{"serial/by-id/usb-FTDI_A-if00-port0 A 3"};
    QTest::newRow("by-id wins over by-path")
        << QStringList{"serial/by-path/pci-B -> B", "serial/by-id/usb-B -> B"}
        << QStringList{"A A 3", "serial/by-id/usb-B B -"};
    QTest::newRow("by-path without by-id")
        << QStringList{"serial/by-path/pci-B -> B"} << QStringList{"A A 3", "serial/by-path/pci-B B -"};
    QTest::newRow("number through the stable name")
        << QStringList{"serial/by-id/usb-B -> B", "com5 -> serial/by-id/usb-B"}
        << QStringList{"A A 3", "serial/by-id/usb-B B 5"};
    QTest::newRow("two numbers, one device") << QStringList{"com4 -> A"} << QStringList{"A A 3,4"};
    QTest::newRow("dangling number kept, absent")
        << QStringList{"com9 -> gone"} << QStringList{"A A 3", "gone gone 9 absent"};
    QTest::newRow("dangling by-id is no device") << QStringList{"serial/by-id/usb-C -> gone"} << QStringList{"A A 3"};
}

void TstSerial::findsDevicesUnderStableNames()
{
    QFETCH(QStringList, links);
    QFETCH(QStringList, devices);
    PtyPair other(m_dir->filePath(QStringLiteral("scratch")), 1);
    const QHash<QString, QString> boards{{"A", m_pty->slavePath()}, {"B", other.slavePath()}};
    for (const QString &link : std::as_const(links)) {
        const QStringList parts = link.split(QStringLiteral(" -> "));
        linkIn(parts[0], boards.value(parts[1], parts[1]));
    }
    const auto shorten = [&](const QString &path) {
        return boards.key(path, QString(path).remove(m_dir->path() + QLatin1Char('/')));
    };
    QStringList found;
    for (const SerialDevice &device : PortInventory(sources()).devices()) {
        QStringList ports;
        for (const int port : device.ports)
            ports.append(QString::number(port));
        found.append(QStringLiteral("%1 %2 %3%4").arg(shorten(device.name()), shorten(device.node),
                                                     ports.isEmpty() ? QStringLiteral("-") : ports.join(','),
                                                     device.present ? QString() : QStringLiteral(" absent")));
    }
    found.sort();
    QCOMPARE(found, devices);
}

void TstSerial::knowsAUartPlaceholderIsNoDevice_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<bool>("uart");

    QTest::newRow("placeholder") << QByteArray("0\n") << false;
    QTest::newRow("16550A") << QByteArray("4\n") << true;
    QTest::newRow("no type, as a USB adapter") << QByteArray() << true;
}

void TstSerial::knowsAUartPlaceholderIsNoDevice()
{
    QFETCH(QByteArray, type);
    QFETCH(bool, uart);
    if (!type.isEmpty()) {
        QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("tty/ttyS2"))));
        QFile file(m_dir->filePath(QStringLiteral("tty/ttyS2/type")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(type);
    }
    QCOMPARE(hasUart(m_dir->filePath(QStringLiteral("tty")), QStringLiteral("/dev/ttyS2")), uart);
}

void TstSerial::assignedPortOpensTheDeviceAcrossAReplug()
{
    auto board = std::make_unique<PtyPair>(m_dir->filePath(QStringLiteral("scratch")), 1);
    const QString stable = linkIn(QStringLiteral("serial/by-id/usb-Tolvane_T100_42-if00-port0"), board->slavePath());
    const QList<SerialDevice> devices = PortInventory(sources()).devices();
    const auto device = std::find_if(devices.begin(), devices.end(),
                                     [&](const SerialDevice &found) { return found.node == board->slavePath(); });
    QVERIFY(device != devices.end());
    PortAssignment assignment(m_dir->path());
    QVERIFY2(assignment.assign(5, *device), qPrintable(assignment.errorString()));
    QCOMPARE(QFile::symLinkTarget(m_dir->filePath(QStringLiteral("com5"))), stable);
    verifyPortReaches(5, *board);

    // Replugged: udev moves the by-id link to whatever node the adapter gets now.
    board = std::make_unique<PtyPair>(m_dir->filePath(QStringLiteral("scratch")), 2);
    linkIn(QStringLiteral("serial/by-id/usb-Tolvane_T100_42-if00-port0"), board->slavePath());
    verifyPortReaches(5, *board);
}

void TstSerial::replacesAndRemovesAnAssignment()
{
    PtyPair first(m_dir->filePath(QStringLiteral("scratch")), 1);
    PtyPair second(m_dir->filePath(QStringLiteral("scratch")), 2);
    PortAssignment assignment(m_dir->path());
    QVERIFY(assignment.assign(3, first.slavePath()));
    verifyPortReaches(3, first);
    QVERIFY(assignment.assign(3, second.slavePath()));
    verifyPortReaches(3, second);
    QVERIFY(assignment.release(3));
    QCOMPARE(portlocator::devicePathForPort(3), QStringLiteral("/dev/ttyS2"));
    QVERIFY(assignment.release(3));
    QCOMPARE(entries(), QStringList{"scratch"}); // nothing left under a temporary name
}

void TstSerial::refusedAssignmentChangesNothing_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("portDir");
    QTest::addColumn<QString>("reason");

    QTest::newRow("port 0") << 0 << "A" << "" << "not within 1 to 16";
    QTest::newRow("port 17") << 17 << "A" << "" << "not within 1 to 16";
    QTest::newRow("device gone") << 5 << "gone" << "" << "No such file";
    // Root writes into any directory; a path through a regular file refuses even root.
    QTest::newRow("port dir unwritable") << 5 << "A" << "file/ports" << "Not a directory";
}

void TstSerial::refusedAssignmentChangesNothing()
{
    QFETCH(int, port);
    QFETCH(QString, target);
    QFETCH(QString, portDir);
    QFETCH(QString, reason);
    QFile file(m_dir->filePath(QStringLiteral("file")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QStringList before = entries();
    PortAssignment assignment(m_dir->filePath(portDir));
    QVERIFY(!assignment.assign(port, target == QLatin1String("A") ? m_pty->slavePath() : m_dir->filePath(target)));
    QVERIFY2(assignment.errorString().contains(reason), qPrintable(assignment.errorString()));
    QCOMPARE(entries(), before);
}

QTEST_GUILESS_MAIN(TstSerial)
#include "tst_serial.moc"
