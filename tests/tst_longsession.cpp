// SPDX-License-Identifier: MIT
#include "capture/chunkedbuffer.h"
#include "capture/hexgroups.h"
#include "receive/receiveview.h"
#include "capture/spillfile.h"
#include "serial/cp932codec.h"
#include "windowfixture.h"

#include <QClipboard>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTabBar>
#include <QtTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// A session longer than the memory budget: its older blocks live in the
// cache directory's file, with the budget cut to one block per store.
class TstLongSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void keepsRowsSelectionAndCopyAcrossBlocksInTheFile_data();
    void keepsRowsSelectionAndCopyAcrossBlocksInTheFile();
    void tabClickGivesTheFileSpaceBack();
    void keepsEveryByteWhenTheDiskRefuses_data();
    void keepsEveryByteWhenTheDiskRefuses();

private:
    void receive(int tab, const QByteArray &stream);
    QString copyAll();
    qint64 spilledBytes() const;

    QTemporaryDir m_cache;
    WindowFixture m_fx;
    ReceiveView *m_view = nullptr;
};

namespace {

// More rows than a block of row starts holds, each ending as given.
QByteArray numberedRows(const QByteArray &end = "\r\n")
{
    QByteArray rows;
    for (int row = 0; row < 70000; ++row)
        rows += QByteArray::number(row).rightJustified(5, '0') + end;
    return rows;
}

QByteArray randomBytes()
{
    QByteArray bytes(200000, Qt::Uninitialized);
    QRandomGenerator(13).fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    return bytes;
}

} // namespace

void TstLongSession::initTestCase()
{
    SpillFile::setMemoryBudget(0);
    std::signal(SIGXFSZ, SIG_IGN);
}

void TstLongSession::init()
{
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_cache.path()));
    QVERIFY(m_fx.setUp());
    m_view = m_fx.window->findChild<ReceiveView *>(QStringLiteral("rtxtAscRcv"));
    QVERIFY(m_fx.openPort());
}

void TstLongSession::cleanup()
{
    m_fx.tearDown();
    const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &unlimited);
}

void TstLongSession::receive(int tab, const QByteArray &stream)
{
    auto *tabs = m_fx.control<QTabBar>("TabStrip1");
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(tab).center());
    QVERIFY(m_fx.pty->write(stream));
    QTRY_COMPARE_WITH_TIMEOUT(m_view->store().byteCount(), qint64(stream.size()), 20000);
}

QString TstLongSession::copyAll()
{
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(m_view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(m_view, Qt::Key_C, Qt::ControlModifier);
    return QGuiApplication::clipboard()->text();
}

// What this process's nameless files in the cache directory hold.
qint64 TstLongSession::spilledBytes() const
{
    const QByteArray dir = QFile::encodeName(QDir(SpillFile::directory()).canonicalPath()) + '/';
    qint64 total = 0;
    for (int fd = 0; fd < 1024; ++fd) {
        char target[4096];
        const ssize_t length = readlink(("/proc/self/fd/" + QByteArray::number(fd)).constData(), target, sizeof target);
        struct stat status;
        if (length > 0 && QByteArrayView(target, length).startsWith(dir) && fstat(fd, &status) == 0)
            total += status.st_size;
    }
    return total;
}

void TstLongSession::keepsRowsSelectionAndCopyAcrossBlocksInTheFile_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("firstCells");

    QTest::newRow("text") << 0 << numberedRows() << QStringLiteral("00000\r\n00001");
    QTest::newRow("text, double-byte") << 0 << numberedRows(" \x82\xa0\r\n") << QStringLiteral("00000 あ\r\n00001");
    QTest::newRow("hex") << 1 << randomBytes() << hexgroups::format(randomBytes().left(1)).trimmed();
}

void TstLongSession::keepsRowsSelectionAndCopyAcrossBlocksInTheFile()
{
    QFETCH(int, tab);
    QFETCH(QByteArray, stream);
    QFETCH(QString, firstCells);

    receive(tab, stream);
    QTRY_VERIFY(spilledBytes() >= 2 * ChunkedBuffer<char>::kBlockBytes);
    QCOMPARE(copyAll(), tab == 0 ? Cp932Decoder().decode(stream) : hexgroups::format(stream));

    // The first rows, drawn from the file: drag over them as an operator would.
    m_view->verticalScrollBar()->setValue(0);
    const QFontMetricsF metrics(m_view->font());
    const int lineHeight = qCeil(metrics.lineSpacing());
    const int cell = qRound(metrics.horizontalAdvance(QLatin1Char('0')));
    const QPoint to(2 + cell * (tab == 0 ? 5 : 2), tab == 0 ? lineHeight * 3 / 2 : lineHeight / 2);
    QTest::mousePress(m_view->viewport(), Qt::LeftButton, {}, QPoint(2, lineHeight / 2));
    QTest::mouseMove(m_view->viewport(), to);
    QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, {}, to);
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(m_view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), firstCells);
}

void TstLongSession::tabClickGivesTheFileSpaceBack()
{
    receive(0, numberedRows());
    QTRY_VERIFY(spilledBytes() > 0);
    auto *tabs = m_fx.control<QTabBar>("TabStrip1");
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    QVERIFY(m_view->store().isEmpty());
    QTRY_COMPARE(spilledBytes(), 0);
}

void TstLongSession::keepsEveryByteWhenTheDiskRefuses_data()
{
    QTest::addColumn<bool>("cacheUnderAFile");
    QTest::addColumn<QString>("reason");

    // Running as root, a read-only directory would still be written to.
    QTest::newRow("cache directory cannot be made") << true << QString::fromLocal8Bit(strerror(ENOTDIR));
    QTest::newRow("file full after two blocks") << false << QString::fromLocal8Bit(strerror(EFBIG));
}

void TstLongSession::keepsEveryByteWhenTheDiskRefuses()
{
    QFETCH(bool, cacheUnderAFile);
    QFETCH(QString, reason);

    if (cacheUnderAFile) {
        QFile file(m_cache.filePath(QStringLiteral("file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(file.fileName() + QStringLiteral("/cache")));
    } else {
        const rlimit twoBlocks{2 * ChunkedBuffer<char>::kBlockBytes, RLIM_INFINITY};
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &twoBlocks), 0);
    }
    const QByteArray stream = numberedRows();
    receive(0, stream);
    QTRY_COMPARE(m_fx.answerer->messages.size(), 1);
    QCOMPARE(copyAll(), QString::fromLatin1(stream));
    QVERIFY(m_fx.answerer->messages.first().text.startsWith(QStringLiteral("受信データを一時ファイルに保存できません\n")));
    QVERIFY(m_fx.answerer->messages.first().text.endsWith(reason));
    QCOMPARE(m_fx.answerer->messages.size(), 1);
}

QTEST_MAIN(TstLongSession)
#include "tst_longsession.moc"
