// SPDX-License-Identifier: MIT
#include "app/frmmain.h"
#include "capture/controlpictures.h"
#include "capture/hexgroups.h"
#include "capture/receivestore.h"
#include "capture/recordlines.h"
#include "receive/receiveview.h"
#include "receive/rowlayout.h"
#include "receive/rowpainter.h"
#include "capture/spillfile.h"
#include "serial/cp932codec.h"
#include "serial/serialchannel.h"
#include "residentmemory.h"
#include "screenshot.h"
#include "windowfixture.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QMenu>
#include <QPainter>
#include <QApplication>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <malloc.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

} // namespace

class TstReceive : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void showsDataInTheModeOfTheSelectedTab_data();
    void showsDataInTheModeOfTheSelectedTab();
    void dropsAChunkBeginningWithNulAndFollowsTheEndOtherwise();
    void tabClickEmptiesTheBox_data();
    void tabClickEmptiesTheBox();
    void ignoresModemAndBufferEvents_data();
    void ignoresModemAndBufferEvents();
    void reportsLineErrors_data();
    void reportsLineErrors();
    void eachErrorEventGetsItsOwnBox();
    void keepsShowingDataWhileAnErrorBoxIsOpen();
    void losesNoDataWhileErrorBoxesStackUp();
    void survivesTheBoardGoingAwayMidStream();
    void joinsACp932CharacterSplitAcrossChunks();
    void showsEveryByteOfALongStream_data();
    void showsEveryByteOfALongStream();
    void givesTheMemoryBackWhenTheBoxIsEmptied_data();
    void givesTheMemoryBackWhenTheBoxIsEmptied();
    void copiesTheMouseSelection_data();
    void copiesTheMouseSelection();
    void selectsAllAndCopiesFromKeyboardAndMenu_data();
    void selectsAllAndCopiesFromKeyboardAndMenu();
    void drawsReceivedTextWithItsSelection();

    void laysOutRows_data();
    void laysOutRows();
    void stampsRowsAsTheMonitorStampsLines_data();
    void stampsRowsAsTheMonitorStampsLines();
    void drawsControlCharactersAsDimPictures();
    void laysOutPiecesLikeTheWhole();
    void keepsTheBoxTextWhenTheModeChangesWithoutEmptying();
    void showsWhatAWholeFrameShowsWhileDrawingOnlyNewRows_data();
    void showsWhatAWholeFrameShowsWhileDrawingOnlyNewRows();
    void copiesCharactersExactlyAsItWouldDrawThem_data();
    void copiesCharactersExactlyAsItWouldDrawThem();

private:
    SerialChannel &channel() const { return m_fx.window->channel(); }
    void openPort();
    void selectTab(int index);
    void send(const QByteArray &bytes);
    void waitUntilHandled();
    QPoint cellPoint(int row, qreal column) const;

    WindowFixture m_fx;
    QTabBar *m_tabs = nullptr;
    ReceiveView *m_view = nullptr;
    int m_events = 0;
};

void TstReceive::init()
{
    QVERIFY(m_fx.setUp());
    m_tabs = m_fx.window->findChild<QTabBar *>(QStringLiteral("TabStrip1"));
    m_view = m_fx.window->findChild<ReceiveView *>(QStringLiteral("rtxtAscRcv"));
    QVERIFY(m_tabs && m_view);
    m_events = 0;
    connect(&channel(), &SerialChannel::onComm, this, [this] { ++m_events; });
    openPort();
}

void TstReceive::cleanup()
{
    m_fx.tearDown();
}

void TstReceive::openPort()
{
    QVERIFY(m_fx.openPort());
}

void TstReceive::selectTab(int index)
{
    QTest::mouseClick(m_tabs, Qt::LeftButton, {}, m_tabs->tabRect(index).center());
    QCOMPARE(m_tabs->currentIndex(), index);
}

void TstReceive::send(const QByteArray &bytes)
{
    const int before = m_events;
    QVERIFY(m_fx.pty->write(bytes));
    QTRY_VERIFY(m_events > before);
    waitUntilHandled();
}

// Until the channel holds nothing more and its events have run.
void TstReceive::waitUntilHandled()
{
    QTRY_COMPARE(channel().inBufferCount(), qint64(0));
    QTest::qWait(30);
    QCOMPARE(channel().inBufferCount(), qint64(0));
}

QPoint TstReceive::cellPoint(int row, qreal column) const
{
    const QFontMetricsF metrics(m_view->font());
    const int lineHeight = qCeil(metrics.lineSpacing());
    const qreal firstRow = m_view->verticalScrollBar()->value();
    return QPoint(qRound(2 + column * metrics.horizontalAdvance(QLatin1Char('0'))),
                  int((row - firstRow) * lineHeight + lineHeight / 2));
}

void TstReceive::showsDataInTheModeOfTheSelectedTab_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");

    QTest::newRow("text: O K CR LF") << 0 << QByteArray("OK\r\n") << QStringLiteral("OK\r\n");
    QTest::newRow("text: NUL inside a chunk is kept") << 0 << QByteArray("A\0B", 3) << QStringLiteral("A%1B").arg(QChar(0));
    QTest::newRow("text: CP932") << 0 << QByteArray("\x82\xa0\x83\x41\xb1") << QStringLiteral("あアｱ");
    QTest::newRow("text: invalid CP932 shows a substitute")
        << 0 << QByteArray("\x80Z") << QStringLiteral("%1Z").arg(QChar(0x1a));
    QTest::newRow("hex: 00 0A 41 FF") << 1 << QByteArray("\x00\x0a\x41\xff", 4) << QStringLiteral("00 0A 41 FF ");
    QTest::newRow("hex: a lone 00") << 1 << QByteArray(1, '\0') << QStringLiteral("00 ");
    QTest::newRow("hex: text bytes") << 1 << QByteArray("OK\r\n") << QStringLiteral("4F 4B 0D 0A ");
}

void TstReceive::showsDataInTheModeOfTheSelectedTab()
{
    QFETCH(int, tab);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);

    if (tab != 0)
        selectTab(tab);
    send(bytes);
    QCOMPARE(m_view->store().text(), shown);
    QCOMPARE(channel().inputMode(), tab == 0 ? SerialChannel::InputMode::Text : SerialChannel::InputMode::Binary);
    QVERIFY(m_fx.answerer->messages.isEmpty());
}

void TstReceive::dropsAChunkBeginningWithNulAndFollowsTheEndOtherwise()
{
    QByteArray lines;
    for (int i = 0; i < 100; ++i)
        lines += "line " + QByteArray::number(i) + "\r\n";
    send(lines);
    QScrollBar *bar = m_view->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
    bar->setValue(0);

    send(QByteArray("\0dropped", 8));
    QTest::qWait(50);
    QCOMPARE(m_view->store().text(), QString::fromLatin1(lines));
    QCOMPARE(bar->value(), 0);

    send("kept");
    QCOMPARE(m_view->store().text(), QString::fromLatin1(lines + "kept"));
    QTRY_COMPARE(bar->value(), bar->maximum());

    // A receive event that finds nothing still brings the end into view.
    bar->setValue(0);
    QMetaObject::invokeMethod(&channel(), "onComm");
    QTRY_COMPARE(bar->value(), bar->maximum());
}

void TstReceive::tabClickEmptiesTheBox_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("empties");
    QTest::addColumn<QString>("nextShown");

    QTest::newRow("click on the binary tab") << "click 1" << true << "61 62 ";
    QTest::newRow("click on the selected text tab") << "click 0" << true << "ab";
    QTest::newRow("back to the text tab") << "click 1, click 0" << true << "ab";
    QTest::newRow("arrow key on the strip") << "key right" << true << "61 62 ";
    QTest::newRow("click beside the tabs") << "click beside" << false << "xyab";
}

void TstReceive::tabClickEmptiesTheBox()
{
    QFETCH(QString, how);
    QFETCH(bool, empties);
    QFETCH(QString, nextShown);

    send("xy");
    QCOMPARE(m_view->store().text(), QStringLiteral("xy"));
    for (const QString &step : how.split(QStringLiteral(", "))) {
        if (step == QLatin1String("key right")) {
            m_tabs->setFocus();
            QTest::keyClick(m_tabs, Qt::Key_Right);
        } else if (step == QLatin1String("click beside")) {
            QTest::mouseClick(m_tabs, Qt::LeftButton, {}, QPoint(m_tabs->width() - 4, m_tabs->height() / 2));
        } else {
            selectTab(step.back().digitValue());
        }
    }
    QCOMPARE(m_view->store().isEmpty(), empties);
    QCOMPARE(channel().portOpen(), true);
    send("ab");
    QCOMPARE(m_view->store().text(), nextShown);
}

void TstReceive::ignoresModemAndBufferEvents_data()
{
    QTest::addColumn<int>("code");
    for (const int code : {1, 3, 4, 5, 6, 7})
        QTest::newRow(qPrintable(QString::number(code))) << code;
}

void TstReceive::ignoresModemAndBufferEvents()
{
    QFETCH(int, code);
    send("before");
    channel().postCommEvent(code);
    // Events run in order: once the data behind it shows, the code was handled.
    send("after");
    QCOMPARE(m_view->store().text(), QStringLiteral("beforeafter"));
    QVERIFY(m_fx.answerer->messages.isEmpty());
}

void TstReceive::reportsLineErrors_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("prompt");

    QTest::newRow("1001 break") << 1001 << QStringLiteral("中断信号が受信されました");
    QTest::newRow("1004 framing") << 1004 << QStringLiteral("フレームエラー");
    QTest::newRow("1006 overrun") << 1006 << QStringLiteral("ポートオーバーラン");
    QTest::newRow("1008 receive overflow") << 1008 << QStringLiteral("受信オーバーフロー");
    QTest::newRow("1009 parity") << 1009 << QStringLiteral("パリティエラー");
    QTest::newRow("1010 transmit buffer full") << 1010 << QStringLiteral("送信バッファフル");
    QTest::newRow("1011 DCB") << 1011 << QStringLiteral("DCB取得エラー");
    QTest::newRow("1002 unlisted") << 1002 << QStringLiteral("その他のエラー");
    QTest::newRow("0 unlisted") << 0 << QStringLiteral("その他のエラー");
    QTest::newRow("8 unlisted") << 8 << QStringLiteral("その他のエラー");
}

void TstReceive::reportsLineErrors()
{
    QFETCH(int, code);
    QFETCH(QString, prompt);

    selectTab(1);
    send("\x12");
    channel().postCommEvent(code);
    QTRY_COMPARE(m_fx.answerer->messages.size(), 1);
    const ModalAnswerer::Seen seen = m_fx.answerer->messages.first();
    QCOMPARE(seen.text, prompt);
    QCOMPARE(seen.title, QStringLiteral("通信エラー"));
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QCOMPARE(seen.buttons, 1);
    QCOMPARE(m_view->store().text(), QStringLiteral("12 "));
    QVERIFY(channel().portOpen());
    QCOMPARE(m_tabs->currentIndex(), 1);
}

void TstReceive::eachErrorEventGetsItsOwnBox()
{
    for (const int code : {1004, 1004, 1009})
        channel().postCommEvent(code);
    QTRY_COMPARE(m_fx.answerer->messages.size(), 3);
    QTest::qWait(50);
    // Each box opens while the one before is still showing, so the operator
    // meets them from the newest down; what counts is one box per event.
    QStringList seen = m_fx.answerer->texts();
    seen.sort();
    QCOMPARE(seen, (QStringList{QStringLiteral("パリティエラー"), QStringLiteral("フレームエラー"), QStringLiteral("フレームエラー")}));
}

void TstReceive::keepsShowingDataWhileAnErrorBoxIsOpen()
{
    bool shownDuringBox = false;
    m_fx.answerer->onMessage = [&](QMessageBox *) {
        QVERIFY(m_fx.pty->write("while open"));
        shownDuringBox = QTest::qWaitFor([&] { return m_view->store().text() == QLatin1String("while open"); }, 5000);
    };
    channel().postCommEvent(1004);
    QTRY_COMPARE(m_fx.answerer->messages.size(), 1);
    QVERIFY(shownDuringBox);
}

void TstReceive::losesNoDataWhileErrorBoxesStackUp()
{
    constexpr int kErrors = 40;
    const auto openBoxes = [] {
        const QWidgetList windows = QApplication::topLevelWidgets();
        return std::count_if(windows.cbegin(), windows.cend(), [](const QWidget *window) {
            return qobject_cast<const QMessageBox *>(window) && window->isVisible();
        });
    };
    QByteArray sent;
    bool allShownWhileStacked = false;
    QDeadlineTimer giveUp(10000);
    // Every box stays open, one above the other, until all have come and
    // every byte sent in between is shown.
    m_fx.answerer->holdWhile = [&] {
        allShownWhileStacked = allShownWhileStacked
                               || (openBoxes() == 1 + kErrors && m_view->store().length() == sent.size());
        return !allShownWhileStacked && !giveUp.hasExpired();
    };
    channel().postCommEvent(1004);
    for (int i = 0; i < kErrors; ++i) {
        channel().postCommEvent(i % 2 ? 1006 : 1001);
        const QByteArray piece = QByteArray::number(i).repeated(100) + "\r\n";
        sent += piece;
        QVERIFY(m_fx.pty->write(piece));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!m_fx.answerer->messages.isEmpty() && openBoxes() == 0, 15000);
    QVERIFY(allShownWhileStacked);
    waitUntilHandled();
    QCOMPARE(m_view->store().text(), QString::fromLatin1(sent));
    QVERIFY(channel().portOpen());
}

void TstReceive::survivesTheBoardGoingAwayMidStream()
{
    for (int i = 0; i < 64; ++i)
        QVERIFY(m_fx.pty->write(QByteArray(1024, char('a' + i % 26))));
    m_fx.unplugBoard();
    QTRY_COMPARE(m_fx.answerer->texts(), QStringList{QStringLiteral("ポートが切断されました")});
    QVERIFY(!channel().portOpen());
    QCOMPARE(m_fx.control<QPushButton>("cmdComOpen")->text(), QStringLiteral("COM オープン"));

    m_fx.plugInBoard();
    openPort();
    send("back");
    QVERIFY(m_view->store().text().endsWith(QLatin1String("back")));
}

void TstReceive::joinsACp932CharacterSplitAcrossChunks()
{
    send("A\x82");
    QCOMPARE(m_view->store().text(), QStringLiteral("A"));
    send("\xa0" "B");
    QCOMPARE(m_view->store().text(), QStringLiteral("AあB"));
}

void TstReceive::showsEveryByteOfALongStream_data()
{
    QTest::addColumn<int>("tab");
    QTest::newRow("text") << 0;
    QTest::newRow("hex") << 1;
}

void TstReceive::showsEveryByteOfALongStream()
{
    QFETCH(int, tab);
    if (tab != 0)
        selectTab(tab);

    // Enough to cross the store's blocks many times and to arrive in many
    // chunks of varying size. Text has no NUL, which could begin a chunk.
    QRandomGenerator generator(11);
    const QByteArrayList pieces{"a", "Z", "0", " ", "\r\n", "\n", "\r", "\t", "\x1b", "\x7f", "\x82\xa0",
                                "\x88\x9f", "\xb1", "\x81\x40"};
    QByteArray stream;
    while (stream.size() < 1024 * 1024) {
        if (tab == 0)
            stream += pieces[generator.bounded(int(pieces.size()))];
        else
            stream += char(generator.bounded(256));
    }
    QVERIFY(m_fx.pty->write(stream));
    const QString expected = tab == 0 ? Cp932Decoder().decode(stream) : hexgroups::format(stream);
    QTRY_COMPARE_WITH_TIMEOUT(m_view->store().byteCount(), qint64(stream.size()), 20000);
    QVERIFY(m_view->store().text() == expected);
    QTRY_COMPARE(m_view->verticalScrollBar()->value(), m_view->verticalScrollBar()->maximum());
}

void TstReceive::givesTheMemoryBackWhenTheBoxIsEmptied_data()
{
    QTest::addColumn<int>("tab");
    QTest::newRow("text") << 0;
    QTest::newRow("hex") << 1;
}

void TstReceive::givesTheMemoryBackWhenTheBoxIsEmptied()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer keeps freed memory in quarantine");
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    QSKIP("AddressSanitizer keeps freed memory in quarantine");
#endif
#endif
    QFETCH(int, tab);
    if (tab != 0)
        selectTab(tab);
    // As glibc does by itself once a large block has been freed: the
    // store's blocks then come from the heap, not from mappings of their own.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    // The whole stream stays in memory rather than moving to the cache directory.
    const auto budget = qScopeGuard([previous = SpillFile::memoryBudget()] { SpillFile::setMemoryBudget(previous); });
    SpillFile::setMemoryBudget(qint64(1) << 40);
    const qint64 before = residentKiB();

    // Whatever else the program allocates while data streams stays put
    // between the store's blocks; these are larger than any free chunk, so
    // they come from the top of the heap.
    const QByteArray line = QByteArray(78, 'x') + "\r\n";
    const QByteArray piece = line.repeated(1024 * 1024 / line.size());
    // The stream is written from the window's own thread, a little at a
    // time: resting between reads would only make it last longer.
    channel().setReadRest(std::chrono::milliseconds(0));
    std::vector<std::unique_ptr<char[]>> others;
    constexpr int kPieces = 32;
    for (int i = 0; i < kPieces; ++i) {
        QVERIFY(m_fx.pty->write(piece));
        others.push_back(std::make_unique_for_overwrite<char[]>(1024 * 1024));
    }
    const qint64 stored = tab == 0 ? kPieces * piece.size() : kPieces * piece.size() * hexgroups::kGroupWidth;
    QTRY_COMPARE_WITH_TIMEOUT(m_view->store().length(), stored, 20000);
    const qint64 full = residentKiB();
    QVERIFY2(full - before >= kPieces * 1024, "the stream should have taken memory");

    selectTab(1 - tab);
    QVERIFY(m_view->store().isEmpty());
    const qint64 after = residentKiB();
    QVERIFY2(after - before <= (full - before) / 8,
             qPrintable(QStringLiteral("resident %1 KiB before the stream, %2 KiB full, %3 KiB emptied")
                            .arg(before)
                            .arg(full)
                            .arg(after)));
}

void TstReceive::copiesTheMouseSelection_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QPointF>("from");
    QTest::addColumn<QPointF>("to");
    QTest::addColumn<QString>("copied");

    // Points are (column, row) of the grid.
    QTest::newRow("text across a line break")
        << 0 << QByteArray("hello world\r\nsecond line") << QPointF(6.2, 0) << QPointF(6.2, 1)
        << QStringLiteral("world\r\nsecond");
    QTest::newRow("text backwards")
        << 0 << QByteArray("hello world\r\nsecond line") << QPointF(6.2, 1) << QPointF(0, 0)
        << QStringLiteral("hello world\r\nsecond");
    QTest::newRow("text past the end of a line")
        << 0 << QByteArray("ab\ncd") << QPointF(1, 0) << QPointF(40, 0) << QStringLiteral("b");
    QTest::newRow("text beside a tab and a wide character")
        << 0 << QByteArray("a\tb\x82\xa0" "c") << QPointF(8, 0) << QPointF(11.2, 0) << QStringLiteral("bあ");
    QTest::newRow("hex groups as shown")
        << 1 << QByteArray("\x00\x0a\x41\xff", 4) << QPointF(3, 0) << QPointF(11, 0) << QStringLiteral("0A 41 FF");
    QTest::newRow("hex below the last row takes the rest")
        << 1 << QByteArray("\x00\x0a\x41\xff", 4) << QPointF(6, 0) << QPointF(0, 5) << QStringLiteral("41 FF ");
}

void TstReceive::copiesTheMouseSelection()
{
    QFETCH(int, tab);
    QFETCH(QByteArray, bytes);
    QFETCH(QPointF, from);
    QFETCH(QPointF, to);
    QFETCH(QString, copied);

    if (tab != 0)
        selectTab(tab);
    send(bytes);
    QWidget *area = m_view->viewport();
    QTest::mousePress(area, Qt::LeftButton, {}, cellPoint(int(from.y()), from.x()));
    QTest::mouseMove(area, cellPoint(int(to.y()), to.x()));
    QTest::mouseRelease(area, Qt::LeftButton, {}, cellPoint(int(to.y()), to.x()));
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(m_view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
}

void TstReceive::selectsAllAndCopiesFromKeyboardAndMenu_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<bool>("byMenu");
    QTest::addColumn<QString>("copied");

    QTest::newRow("text, keys") << 0 << false << QStringLiteral("one\r\ntwo\tthree");
    QTest::newRow("text, menu") << 0 << true << QStringLiteral("one\r\ntwo\tthree");
    QTest::newRow("hex, keys") << 1 << false << QStringLiteral("6F 6E 65 0D 0A 74 77 6F 09 74 68 72 65 65 ");
    QTest::newRow("hex, menu") << 1 << true << QStringLiteral("6F 6E 65 0D 0A 74 77 6F 09 74 68 72 65 65 ");
}

void TstReceive::selectsAllAndCopiesFromKeyboardAndMenu()
{
    QFETCH(int, tab);
    QFETCH(bool, byMenu);
    QFETCH(QString, copied);

    if (tab != 0)
        selectTab(tab);
    send("one\r\ntwo\tthree");
    QGuiApplication::clipboard()->clear();
    if (!byMenu) {
        QTest::keyClick(m_view, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(m_view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);
        return;
    }
    QStringList seenActions;
    auto chooseFromMenu = [&](const QString &text) {
        QTimer::singleShot(50, m_view, [&seenActions, text] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction *action : menu->actions()) {
                seenActions.append(action->text());
                if (action->text() == text)
                    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), m_view->viewport()->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(m_view->viewport(), &event);
    };
    chooseFromMenu(QStringLiteral("すべて選択(&A)"));
    QCOMPARE(seenActions.mid(0, 2), (QStringList{QStringLiteral("コピー(&C)"), QStringLiteral("すべて選択(&A)")}));
    chooseFromMenu(QStringLiteral("コピー(&C)"));
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
}

void TstReceive::drawsReceivedTextWithItsSelection()
{
    send("Tolvane\tready\r\n\x82\xb1\x82\xea\x82\xcd\x83\x65\x83\x58\x83\x67\r\nESC\x1b[0m BEL\x07 DEL\x7f\r\n");
    QTest::keyClick(m_view, Qt::Key_A, Qt::ControlModifier);
    QTest::qWait(40);
    QStringList wrong = misdrawnControls(m_fx.window.get(), QStringLiteral("receive-text.png"));
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral(", "))));
    const QImage shown = m_view->viewport()->grab().toImage();
    const QRgb highlight = m_view->palette().color(QPalette::Highlight).rgb();
    bool selectionShown = false;
    for (int y = 0; y < shown.height() && !selectionShown; ++y) {
        for (int x = 0; x < shown.width() && !selectionShown; ++x)
            selectionShown = shown.pixel(x, y) == highlight;
    }
    QVERIFY(selectionShown);

    selectTab(1);
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes += char(i);
    send(bytes);
    QTest::qWait(40);
    wrong = misdrawnControls(m_fx.window.get(), QStringLiteral("receive-hex.png"));
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral(", "))));
}

void TstReceive::laysOutRows_data()
{
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("CR LF, lone LF, lone CR") << QStringList{"a\r\nb\nc\rd"} << false << 80 << QStringList{"a", "b", "c", "d"};
    QTest::newRow("CR LF split over two appends") << QStringList{"a\r", "\nb"} << false << 80 << QStringList{"a", "b"};
    QTest::newRow("CR CR and LF CR are two breaks") << QStringList{"a\r\rb\n\rc"} << false << 80
                                                    << QStringList{"a", "", "b", "", "c"};
    QTest::newRow("a final break opens an empty row") << QStringList{"a\r\n"} << false << 80 << QStringList{"a", ""};
    QTest::newRow("tabs go to multiples of 8") << QStringList{"a\tb\t12345678\tc"} << false << 80
                                               << QStringList{"a       b       12345678        c"};
    QTest::newRow("a tab at the edge stops there") << QStringList{"abcdefgh\tX"} << false << 10
                                                   << QStringList{"abcdefgh  ", "X"};
    QTest::newRow("a full row wraps") << QStringList{"abcdefghij"} << false << 4 << QStringList{"abcd", "efgh", "ij"};
    QTest::newRow("a full row then CR LF makes no empty row") << QStringList{"abcd\r\nef"} << false << 4
                                                              << QStringList{"abcd", "ef"};
    QTest::newRow("a wide character never straddles the edge") << QStringList{"abcdあb"} << false << 5
                                                               << QStringList{"abcd", "あb"};
    QTest::newRow("control characters as pictures") << QStringList{QStringLiteral("A%1B\x1b\x7f").arg(QChar(0))} << false
                                                    << 80 << QStringList{QStringLiteral("A␀B␛␡")};
    QTest::newRow("controls and wide characters amid plain runs")
        << QStringList{QStringLiteral("abcdefg\x7fhij\x1f" "klmnoあp")} << false << 80
        << QStringList{QStringLiteral("abcdefg␡hij␟klmnoあp")};
    QTest::newRow("hex groups wrap whole") << QStringList{} << true << 10 << QStringList{"00 0A 41 ", "FF "};
    QTest::newRow("hex keeps one group in a narrow box") << QStringList{} << true << 2
                                                        << QStringList{"00 ", "0A ", "41 ", "FF "};
}

void TstReceive::laysOutRows()
{
    QFETCH(QStringList, pieces);
    QFETCH(bool, hex);
    QFETCH(int, columns);
    QFETCH(QStringList, rows);

    ReceiveStore store;
    RowLayout layout(store);
    layout.setColumns(columns);
    if (hex)
        store.appendBytes(QByteArray("\x00\x0a\x41\xff", 4));
    for (const QString &piece : pieces) {
        store.appendText(piece);
        layout.sync();
    }
    layout.sync();
    QStringList shown;
    for (qint64 row = 0; row < layout.rowCount(); ++row)
        shown.append(layout.displayText(row));
    QCOMPARE(shown, rows);
}

void TstReceive::stampsRowsAsTheMonitorStampsLines_data()
{
    QTest::addColumn<QStringList>("pieces"); // 250 ms apart

    QTest::newRow("CR-only lines") << QStringList{"one\r", "two\r", "three"};
    QTest::newRow("the LF of a CR LF in the next piece") << QStringList{"a\r", "\nb", "c\r\n"};
    QTest::newRow("the LF alone, the line after it") << QStringList{"a\r", "\n", "b\n\rc"};
    QTest::newRow("a break at a piece's end") << QStringList{"a", "\r", "\r", "b"};
}

// The box and monitor --timestamps follow one rule: the same lines, each
// with the time its first character came.
void TstReceive::stampsRowsAsTheMonitorStampsLines()
{
    QFETCH(QStringList, pieces);
    constexpr qint64 kStart = 1796651101234;
    ReceiveStore store;
    RowLayout layout(store);
    layout.setColumns(80);
    layout.setDecorations(true, false);
    recordlines::LineStamper stamper(recordlines::LineStamper::Stamp::Short);
    QString stamped;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        store.appendText(pieces[i], kStart + 250 * i);
        layout.sync();
        stamped += stamper.feed(pieces[i], kStart + 250 * i);
    }
    QStringList shown;
    for (qint64 row = 0; row < layout.rowCount(); ++row)
        shown.append(layout.displayText(row));
    QStringList lines = stamped.split(u'\n');
    // After a final break the box already shows the next row, with no time
    // until its first character comes; the monitor has no line yet.
    if (lines.constLast().isEmpty()) {
        lines.removeLast();
        QCOMPARE(shown.constLast().trimmed(), QString());
        shown.removeLast();
    }
    QCOMPARE(shown, lines);
}

void TstReceive::drawsControlCharactersAsDimPictures()
{
    ReceiveStore store;
    RowLayout layout(store);
    store.appendText(u"ok\x1b[1mあ");
    layout.sync();
    QList<std::tuple<int, QString, bool>> runs;
    for (const RowRun &run : layout.runs(0))
        runs.append({run.column, run.text, run.control});
    QCOMPARE(runs, (QList<std::tuple<int, QString, bool>>{
                       {0, "ok", false}, {2, QStringLiteral("␛"), true}, {3, "[1m", false}, {6, "あ", false}}));

    // Drawn from their abbreviations where no font has the pictures.
    QSet<QString> names;
    for (char16_t unit = 0; unit < 0x80; ++unit) {
        if (controlpictures::isControl(unit))
            names.insert(controlpictures::nameOf(controlpictures::pictureOf(unit)));
    }
    QCOMPARE(names.size(), 33);
    QVERIFY(!names.contains(QString()));
    QCOMPARE(controlpictures::nameOf(controlpictures::pictureOf(0x7F)), QStringLiteral("DEL"));
}

void TstReceive::laysOutPiecesLikeTheWhole()
{
    QRandomGenerator generator(5);
    const QStringList alphabet{"a", "b", "\r", "\n", "\t", "あ", QString(QChar(0)), "\x1b", "xyz"};
    for (int round = 0; round < 50; ++round) {
        QString text;
        while (text.size() < 400)
            text += alphabet[generator.bounded(int(alphabet.size()))];
        const int columns = 1 + generator.bounded(20);

        ReceiveStore whole;
        RowLayout wholeLayout(whole);
        wholeLayout.setColumns(columns);
        whole.appendText(text);
        wholeLayout.sync();

        ReceiveStore pieces;
        RowLayout piecesLayout(pieces);
        piecesLayout.setColumns(columns);
        for (qsizetype at = 0; at < text.size();) {
            const qsizetype length = qMin<qsizetype>(1 + generator.bounded(7), text.size() - at);
            pieces.appendText(QStringView(text).sliced(at, length));
            piecesLayout.sync();
            at += length;
        }
        QCOMPARE(piecesLayout.rowCount(), wholeLayout.rowCount());
        for (qint64 row = 0; row < wholeLayout.rowCount(); ++row) {
            QCOMPARE(piecesLayout.rowStart(row), wholeLayout.rowStart(row));
            QVERIFY(wholeLayout.columnOf(row, wholeLayout.shownEnd(row)) <= qMax(columns, 2));
            // Drawn glyph by glyph, each width / size columns after the one before.
            for (const RowRun &run : wholeLayout.runs(row))
                QCOMPARE(run.width, run.text.size() * (run.text.contains(u'あ') ? 2 : 1));
        }
    }
}

void TstReceive::keepsTheBoxTextWhenTheModeChangesWithoutEmptying()
{
    // Not reachable from the tabs, which empty the box; the box then holds
    // one text, as if it had been a plain text field all along.
    ReceiveStore store;
    store.appendText(u"OK ");
    store.appendBytes(QByteArray("\x0a\xff"));
    QCOMPARE(store.text(), QStringLiteral("OK 0A FF "));

    store.clear();
    store.appendBytes(QByteArray("\x0a\xff"));
    store.appendText(u"OK");
    QCOMPARE(store.mode(), ReceiveStore::Mode::Text);
    QCOMPARE(store.text(), QStringLiteral("0A FF OK"));
    QCOMPARE(store.text(3, 7), QStringLiteral("FF O"));
}

void TstReceive::showsWhatAWholeFrameShowsWhileDrawingOnlyNewRows_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<bool>("scrolledUp");
    QTest::addColumn<bool>("uncovered");
    QTest::newRow("text, following the end") << 0 << false << false;
    QTest::newRow("hex, following the end") << 1 << false << false;
    QTest::newRow("text, scrolled up by the wheel") << 0 << true << false;
    // Qt shows an uncovered part of the window again from what it keeps of it.
    QTest::newRow("text, covered by a window and uncovered") << 0 << false << true;
}

// Frames draw only rows that grew or scrolled in; the pixels on the screen
// must still be those a whole frame draws.
void TstReceive::showsWhatAWholeFrameShowsWhileDrawingOnlyNewRows()
{
    QFETCH(int, tab);
    QFETCH(bool, scrolledUp);
    QFETCH(bool, uncovered);
    selectTab(tab);
    const auto shown = [this] {
        const QPoint at = m_view->viewport()->mapTo(m_fx.window.get(), QPoint());
        return QGuiApplication::primaryScreen()
            ->grabWindow(m_fx.window->winId(), at.x(), at.y(), m_view->viewport()->width(), m_view->viewport()->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    // Rows grow piece by piece, over more than a screenful, a frame apart.
    for (int piece = 0; piece < 3 * m_view->visibleRows(); ++piece) {
        send(QByteArray::number(piece) + (piece % 3 == 2 ? "\r\n" : " \x82\xa0 "));
        QTest::qWait(20);
    }
    if (scrolledUp) {
        // Rows enough above the end, each its own, for the wheel to go up by several.
        QByteArray more;
        for (int row = 0; row < m_view->visibleRows(); ++row)
            more += "more " + QByteArray::number(row) + "\r\n";
        send(more);
        QTest::qWait(20);
        QWheelEvent wheel(QPointF(20, 20), m_view->viewport()->mapToGlobal(QPointF(20, 20)), {}, QPoint(0, 240),
                          Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_view->viewport(), &wheel);
        // Drawn scrolled up before the next frame jumps to the end again, bringing old rows in.
        QTest::qWait(40);
        send("while scrolled up\r\n");
        QTest::qWait(40);
    }
    if (uncovered) {
        QWidget cover;
        cover.setGeometry(QRect(m_view->viewport()->mapToGlobal(QPoint()), m_view->viewport()->size()));
        cover.show();
        QVERIFY(QTest::qWaitForWindowExposed(&cover));
        cover.hide();
    }
    const QImage whole = m_view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QTRY_COMPARE(shown(), whole);
}

void TstReceive::copiesCharactersExactlyAsItWouldDrawThem_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QRect>("clip");

    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    const QByteArray text = "WMm@_|gjy{} \t~\x82\xb1\x82\xea\x83\x65\x1b[0m\x7f\r\n" + all.mid(0x20, 0x60);
    QTest::newRow("text, wide ink, kanji and control pictures") << text << false << QRect();
    QTest::newRow("hex dump, stamps dimmed") << all << true << QRect();
    QTest::newRow("clipped through cells") << text << false << QRect(9, 5, 101, 20);
}

// Rows copied from tiles look as the same rows drawn glyph by glyph.
void TstReceive::copiesCharactersExactlyAsItWouldDrawThem()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, hex);
    QFETCH(QRect, clip);
    ReceiveStore store;
    RowLayout layout(store);
    RowPainter painter;
    painter.setFont(m_view->font());
    layout.setCellMeasure(painter.cellMeasure());
    layout.setColumns(painter.columnsIn(m_view->viewport()->width()));
    layout.setDecorations(hex, false);
    if (hex)
        store.appendBytes(bytes);
    else
        store.appendCp932(bytes);
    layout.sync();
    const QPalette palette = m_view->palette();
    const auto draw = [&](bool tiled) {
        QImage image(m_view->viewport()->width(), int(layout.rowCount()) * painter.lineHeight(), QImage::Format_RGB32);
        image.fill(palette.color(QPalette::Base));
        QPainter on(&image);
        on.setClipRect(clip.isValid() ? clip : image.rect());
        const std::optional<GlyphTiles::Frame> tiles = tiled ? GlyphTiles::frameOf(on) : std::nullopt;
        for (qint64 row = 0; row < layout.rowCount(); ++row)
            painter.paintRow(on, layout, row, qreal(row * painter.lineHeight()), 0, 0, palette,
                             tiles ? &*tiles : nullptr);
        return image;
    };
    QImage probe(8, 8, QImage::Format_RGB32);
    QPainter probing(&probe);
    probing.setClipRect(probe.rect());
    QVERIFY2(GlyphTiles::frameOf(probing), "an opaque image with a clip takes tiles");
    probing.end();
    // Ink that reaches into a neighbour's cell is blended there after the
    // tiles, not before: where two glyphs overlap a level may round apart.
    const QImage tiled = draw(true);
    const QImage drawn = draw(false);
    QCOMPARE(tiled.size(), drawn.size());
    int worst = 0;
    for (int y = 0; y < tiled.height(); ++y) {
        for (int x = 0; x < tiled.width(); ++x) {
            const QRgb a = tiled.pixel(x, y);
            const QRgb b = drawn.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b))});
        }
    }
    QVERIFY2(worst <= 1, qPrintable(QStringLiteral("a channel differs by %1").arg(worst)));
}

QTEST_MAIN(TstReceive)
#include "tst_receive.moc"
