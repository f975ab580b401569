// SPDX-License-Identifier: MIT
#include "capture/interruptwatch.h"
#include "capture/spillfile.h"
#include "failingreader.h"
#include "receive/receiveview.h"
#include "serial/serialchannel.h"
#include "windowfixture.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTabBar>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using namespace std::chrono_literals;

class TstRecord : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void recordsEveryByteReadAcrossTabsNulAndReopen();
    void recordsTimedLinesAndMarkers();
    void stopsAndTellsWhenTheFileCannotGrow();
    void closesOnSigtermWithABoxOpenAndTheRecordingWhole();
    void showsTimesAndSixteenByteRows_data();
    void showsTimesAndSixteenByteRows();
    void offersToSaveASelectionTooLargeToCopy_data();
    void offersToSaveASelectionTooLargeToCopy();
    void findsTextAcrossBlocksAndBytesInHex();
    void marksAnUnreadableBlockAndRefusesToSaveIt();
    void staysWhereTheOperatorScrolledWithoutAutoScroll();
    void aWheelOverTheTabsChangesNothing();
    void aTabClickForgetsAHeldLeadByte();
    void sendsALineLongerThan32767Characters();
    void everyItemOfAReopenedMenuIsReadable();

private:
    SerialChannel &channel() const { return m_fx.window->channel(); }
    void chooseFromMenu(const QString &text);
    void send(const QByteArray &bytes);
    void startRecording(const QString &path);
    QString path(const QString &name) const { return m_fx.dir->filePath(name); }

    WindowFixture m_fx;
    QTabBar *m_tabs = nullptr;
    ReceiveView *m_view = nullptr;
};

void TstRecord::init()
{
    QVERIFY(m_fx.setUp());
    m_tabs = m_fx.control<QTabBar>("TabStrip1");
    m_view = m_fx.control<ReceiveView>("rtxtAscRcv");
    QVERIFY(m_fx.openPort());
}

void TstRecord::cleanup()
{
    ReceiveView::setCopyLimit(qint64(64) << 20);
    m_fx.tearDown();
}

// Opens the box's context menu and clicks the item, as an operator would.
void TstRecord::chooseFromMenu(const QString &text)
{
    bool found = false;
    QTimer::singleShot(50, m_view, [&found, text] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        for (QAction *action : menu ? menu->actions() : QList<QAction *>()) {
            if (action->text() == text && action->isEnabled()) {
                found = true;
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                return;
            }
        }
        if (menu)
            menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), m_view->viewport()->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(m_view->viewport(), &event);
    QVERIFY2(found, qPrintable(text));
}

void TstRecord::send(const QByteArray &bytes)
{
    QSignalSpy events(&channel(), &SerialChannel::inputTaken);
    QVERIFY(events.isValid());
    QVERIFY(m_fx.pty->write(bytes));
    QTRY_VERIFY(!events.isEmpty());
    QTRY_COMPARE(channel().inBufferCount(), qint64(0));
    QTest::qWait(40);
}

void TstRecord::startRecording(const QString &file)
{
    m_fx.answerer->otherModal = chooseFile(file);
    chooseFromMenu(QStringLiteral("記録開始..."));
    m_fx.answerer->otherModal = nullptr;
}

void TstRecord::recordsEveryByteReadAcrossTabsNulAndReopen()
{
    auto *frame = m_fx.control<QGroupBox>("Frame2");
    startRecording(path(QStringLiteral("raw")));
    QCOMPARE(frame->title(), QStringLiteral("受信データ ● 記録中"));
    const QByteArray pieces[] = {"text\x82", "\xa0\r\n", QByteArray("\0kept off the screen", 20), "\xff\x00hex"};
    send(pieces[0]);
    send(pieces[1]);
    send(pieces[2]);
    QTest::mouseClick(m_tabs, Qt::LeftButton, {}, m_tabs->tabRect(1).center());
    m_fx.click("cmdComOpen");
    QVERIFY(m_fx.openPort());
    send(pieces[3]);
    chooseFromMenu(QStringLiteral("記録停止"));
    QCOMPARE(frame->title(), QStringLiteral("受信データ"));
    QFile file(path(QStringLiteral("raw.bin")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), pieces[0] + pieces[1] + pieces[2] + pieces[3]);
}

void TstRecord::recordsTimedLinesAndMarkers()
{
    startRecording(path(QStringLiteral("log.txt")));
    send("one\r\ntw");
    send("o\x82");
    send("\xa0\rthree\n");
    channel().postCommEvent(1004);
    QTRY_COMPARE(m_fx.answerer->messages.size(), 1);
    m_fx.click("cmdComOpen");
    chooseFromMenu(QStringLiteral("記録停止"));
    QFile file(path(QStringLiteral("log.txt")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    const QString device = channel().devicePath();
    const QStringList expected{u"one"_qs, u"twoあ"_qs, u"three"_qs, u"--- フレームエラー ---"_qs,
                               u"--- ポートクローズ COM3 "_qs + device + u" ---"_qs, QString()};
    QCOMPARE(lines.size(), expected.size());
    const QRegularExpression stamp(u"^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] "_qs);
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        QVERIFY2(stamp.match(lines[i]).hasMatch(), qPrintable(lines[i]));
        QCOMPARE(lines[i].mid(26), expected[i]);
    }
}

// A file-size limit makes writes fail for root too, part way through a batch.
void TstRecord::stopsAndTellsWhenTheFileCannotGrow()
{
    constexpr rlim_t kLimit = 5000;
    rlimit old{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = kLimit;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    startRecording(path(QStringLiteral("full.bin")));
    QByteArray sent;
    for (int i = 0; i < 40; ++i)
        sent += QByteArray::number(i).repeated(100);
    send(sent.left(3000));
    QTest::qWait(400);
    send(sent.mid(3000));
    QTRY_COMPARE(m_fx.answerer->messages.size(), 1);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(m_fx.answerer->messages[0].text.startsWith(u"記録を停止しました\n"_qs));
    QVERIFY2(m_fx.answerer->messages[0].text.contains(u"File too large"_qs), qPrintable(m_fx.answerer->messages[0].text));
    QCOMPARE(m_fx.control<QGroupBox>("Frame2")->title(), QStringLiteral("受信データ"));
    QFile file(path(QStringLiteral("full.bin")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), sent.left(kLimit));
}

// As the program's main() wires it: the signal closes the window as a close does.
void TstRecord::closesOnSigtermWithABoxOpenAndTheRecordingWhole()
{
    startRecording(path(QStringLiteral("log.txt")));
    send("one\r\ntwo");
    m_fx.answerer->holdWhile = [] { return true; };
    const QString device = channel().devicePath();
    InterruptWatch watch;
    connect(&watch, &InterruptWatch::interrupted, m_fx.window.get(), &FrmMain::closeBySignal);
    // The signal comes while the line error's box waits for the operator.
    QTimer::singleShot(300, m_fx.window.get(), [] { ::raise(SIGTERM); });
    channel().postCommEvent(1006);
    QTRY_VERIFY(!m_fx.window->isVisible());
    QCOMPARE(m_fx.answerer->messages.size(), 1);
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(!channel().portOpen());
    QCOMPARE(watch.exitStatus(), 143);
    m_fx.window.reset();
    QFile file(path(QStringLiteral("log.txt")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (QString &line : lines)
        line = line.mid(26);
    const QStringList expected{u"one"_qs, u"two"_qs, u"--- ポートオーバーラン ---"_qs,
                               u"--- ポートクローズ COM3 "_qs + device + u" ---"_qs, QString()};
    QCOMPARE(lines, expected);
}

void TstRecord::showsTimesAndSixteenByteRows_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QString>("shown");

    // Pieces are sent 150 ms apart; T stands for a time "[HH:MM:SS.mmm] ",
    // S for a time alone on its row.
    QTest::newRow("text: every line, also those received before")
        << 0 << QStringList{u"タイムスタンプ表示"_qs} << QByteArrayList{"ab\r\ncd", "ef\rg"}
        << u"Tab\r\nTcdef\rTg"_qs;
    QTest::newRow("hex: a pause starts a timed row")
        << 1 << QStringList{u"タイムスタンプ表示"_qs} << QByteArrayList{"AB", "C"} << u"T41 42 \nT43 \n"_qs;
    QTest::newRow("hex: sixteen bytes a row with offsets")
        << 1 << QStringList{u"16バイト単位で表示"_qs} << QByteArrayList{"0123456789abcdef\r\nX"}
        << u"00000000  30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66  0123456789abcdef\n"
           "00000010  0D 0A 58                                         ..X\n"_qs;
    QTest::newRow("hex: both")
        << 1 << QStringList{u"16バイト単位で表示"_qs, u"タイムスタンプ表示"_qs} << QByteArrayList{"A", "B"}
        << u"S\n00000000  41                                               A\n"
           "S\n00000001  42                                               B\n"_qs;
}

void TstRecord::showsTimesAndSixteenByteRows()
{
    QFETCH(int, tab);
    QFETCH(QStringList, options);
    QFETCH(QByteArrayList, pieces);
    QFETCH(QString, shown);

    if (tab != 0)
        QTest::mouseClick(m_tabs, Qt::LeftButton, {}, m_tabs->tabRect(tab).center());
    for (const QByteArray &piece : pieces) {
        send(piece);
        QTest::qWait(150);
    }
    for (const QString &option : options)
        chooseFromMenu(option);
    QTest::keyClick(m_view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(m_view, Qt::Key_C, Qt::ControlModifier);
    const QString copied = QGuiApplication::clipboard()->text();
    QString pattern = QRegularExpression::escape(shown);
    pattern.replace(u"T"_qs, u"\\[\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] "_qs);
    pattern.replace(u"S"_qs, u"\\[\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\]"_qs);
    QVERIFY2(QRegularExpression(u'^' + pattern + u'$').match(copied).hasMatch(), qPrintable(copied));
    // Every row fits the box: it has no horizontal scroll bar to reach a cut-off column.
    const int columns = int((m_view->viewport()->width() - 4) / QFontMetricsF(m_view->font()).horizontalAdvance(u'0'));
    for (const QString &row : copied.split(QRegularExpression(u"\r\n|\r|\n"_qs)))
        QVERIFY2(row.size() <= columns, qPrintable(row));

    m_fx.answerer->otherModal = chooseFile(path(QStringLiteral("shown.txt")));
    chooseFromMenu(QStringLiteral("名前を付けて保存..."));
    QFile saved(path(QStringLiteral("shown.txt")));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(saved.readAll()), copied);
}

void TstRecord::offersToSaveASelectionTooLargeToCopy_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<bool>("wholeBox");
    QTest::addColumn<bool>("byMenu");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<QString>("saved"); // empty: copied to the clipboard

    QTest::newRow("text, all, keys") << 0 << true << false << qint64(10) << u"hello world\r\nsecond"_qs;
    QTest::newRow("text, part, menu") << 0 << false << true << qint64(10) << u"hello world"_qs;
    QTest::newRow("hex, all, within the limit") << 1 << true << false << qint64(60) << QString();
}

void TstRecord::offersToSaveASelectionTooLargeToCopy()
{
    QFETCH(int, tab);
    QFETCH(bool, wholeBox);
    QFETCH(bool, byMenu);
    QFETCH(qint64, limit);
    QFETCH(QString, saved);

    ReceiveView::setCopyLimit(limit);
    if (tab != 0)
        QTest::mouseClick(m_tabs, Qt::LeftButton, {}, m_tabs->tabRect(tab).center());
    send("hello world\r\nsecond");
    if (wholeBox) {
        QTest::keyClick(m_view, Qt::Key_A, Qt::ControlModifier);
    } else {
        // From the first column to beyond the end of the first line.
        QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, QPoint(1, 2));
        QTest::mouseClick(m_view->viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(m_view->viewport()->width() - 2, 2));
    }
    QGuiApplication::clipboard()->setText(u"before"_qs);
    m_fx.answerer->onMessage = [](QMessageBox *box) {
        if (auto *save = box->findChild<QPushButton *>(QStringLiteral("cmdAction"))) {
            box->setProperty("answered", true);
            save->click();
        }
    };
    m_fx.answerer->otherModal = chooseFile(path(QStringLiteral("selection.txt")));
    if (byMenu)
        chooseFromMenu(QStringLiteral("コピー(&C)"));
    else
        QTest::keyClick(m_view, Qt::Key_C, Qt::ControlModifier);
    if (saved.isEmpty()) {
        QVERIFY(m_fx.answerer->messages.isEmpty());
        QCOMPARE(QGuiApplication::clipboard()->text(), u"68 65 6C 6C 6F 20 77 6F 72 6C 64 0D 0A 73 65 63 6F 6E 64 "_qs);
        return;
    }
    QCOMPARE(m_fx.answerer->texts(),
             QStringList{u"選択範囲が大きすぎるため、クリップボードにコピーできません。ファイルに保存しますか？"_qs});
    QCOMPARE(QGuiApplication::clipboard()->text(), u"before"_qs);
    QFile file(path(QStringLiteral("selection.txt")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()), saved);
}

void TstRecord::findsTextAcrossBlocksAndBytesInHex()
{
    QByteArray lines;
    while (lines.size() < 70000)
        lines += "filler line\r\n";
    lines.insert(65536 - 3, "NEEDLE");
    send(lines);
    QTest::keyClick(m_fx.window.get(), Qt::Key_F, Qt::ControlModifier);
    auto *find = m_fx.window->findChild<QDialog *>(QStringLiteral("frmFind"));
    QVERIFY(find && find->isVisible());
    QTest::keyClicks(find->findChild<QLineEdit *>(QStringLiteral("txtFind")), QStringLiteral("NEEDLE"));
    // Each key returned before the count, which follows.
    QCOMPARE(find->findChild<QLabel *>(QStringLiteral("lblMatches"))->text(), QStringLiteral("数えています..."));
    QTRY_COMPARE(find->findChild<QLabel *>(QStringLiteral("lblMatches"))->text(), QStringLiteral("1 件"));
    QTest::mouseClick(find->findChild<QPushButton *>(QStringLiteral("cmdFindNext")), Qt::LeftButton);
    QCOMPARE(m_view->selectedText(), QStringLiteral("NEEDLE"));
    // New data does not move the view while the window is open.
    QScrollBar *bar = m_view->verticalScrollBar();
    const int shownRow = bar->value();
    QVERIFY(shownRow < bar->maximum());
    send("more\r\n");
    QTest::qWait(50);
    QCOMPARE(bar->value(), shownRow);

    QTest::mouseClick(m_tabs, Qt::LeftButton, {}, m_tabs->tabRect(1).center());
    send("\r\nA\r\nB\r\n");
    auto *field = find->findChild<QLineEdit *>(QStringLiteral("txtFind"));
    field->clear();
    QTest::keyClicks(field, QStringLiteral("0d 0A"));
    QTRY_COMPARE(find->findChild<QLabel *>(QStringLiteral("lblMatches"))->text(), QStringLiteral("3 件"));
    QTest::keyClick(find, Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(m_view->selectedText(), QStringLiteral("0D 0A"));
}

void TstRecord::marksAnUnreadableBlockAndRefusesToSaveIt()
{
    const auto budget = qScopeGuard([previous = SpillFile::memoryBudget()] { SpillFile::setMemoryBudget(previous); });
    SpillFile::setMemoryBudget(0);
    constexpr qint64 kBlock = 65536;
    QByteArray lines;
    while (lines.size() < 3 * kBlock)
        lines += "filler line\r\n";
    send(lines);
    QTRY_COMPARE(m_view->store().length(), qint64(lines.size()));
    QScrollBar *bar = m_view->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 3 * kBlock / 13 - 20);
    FailingReader reader(lines, {kBlock});
    m_view->setBlockReader(&reader);
    const auto detach = qScopeGuard([this] { m_view->setBlockReader(nullptr); });

    QTest::keyClick(m_view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(m_view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromLatin1(lines.first(kBlock) + lines.sliced(2 * kBlock)));
    // The block's five thousand lines become one marked row.
    QTRY_VERIFY(bar->maximum() < 2 * kBlock / 13 + 20);
    QTRY_COMPARE(m_fx.answerer->messages.size(), 1);

    m_fx.answerer->otherModal = chooseFile(path(QStringLiteral("shown.txt")));
    chooseFromMenu(QStringLiteral("名前を付けて保存..."));
    m_fx.answerer->otherModal = chooseFile(path(QStringLiteral("shown.txt")));
    chooseFromMenu(QStringLiteral("名前を付けて保存..."));
    QTest::qWait(100);
    const QString cannotSave = u"保存できません\n"_qs + path(QStringLiteral("shown.txt"))
                               + u"\n受信データの一部を読み戻せません: Input/output error"_qs;
    QCOMPARE(m_fx.answerer->texts(),
             (QStringList{u"受信データの一部を一時ファイルから読み戻せません。その部分は表示・コピー・検索・保存できません\n"
                          "Input/output error"_qs,
                          cannotSave, cannotSave}));
    QVERIFY(!QFile::exists(path(QStringLiteral("shown.txt"))));
}

void TstRecord::staysWhereTheOperatorScrolledWithoutAutoScroll()
{
    const QByteArray lines = QByteArray("line\r\n").repeated(100);
    send(lines);
    QScrollBar *bar = m_view->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
    chooseFromMenu(QStringLiteral("自動スクロール"));
    bar->setValue(3);
    const int before = bar->maximum();
    send(lines);
    QTRY_VERIFY(bar->maximum() > before);
    QCOMPARE(bar->value(), 3);
    chooseFromMenu(QStringLiteral("自動スクロール"));
    QTRY_COMPARE(bar->value(), bar->maximum());
}

void TstRecord::aWheelOverTheTabsChangesNothing()
{
    send("kept");
    const QPoint at = m_tabs->tabRect(0).center();
    for (const int delta : {-120, 120, -120}) {
        QWheelEvent wheel(at, m_tabs->mapToGlobal(at), {}, QPoint(0, delta), Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_tabs, &wheel);
    }
    QCOMPARE(m_tabs->currentIndex(), 0);
    QCOMPARE(m_view->store().text(), QStringLiteral("kept"));
}

void TstRecord::aTabClickForgetsAHeldLeadByte()
{
    send("A\x82");
    QTest::mouseClick(m_tabs, Qt::LeftButton, {}, m_tabs->tabRect(1).center());
    QTest::mouseClick(m_tabs, Qt::LeftButton, {}, m_tabs->tabRect(0).center());
    send("B");
    QCOMPARE(m_view->store().text(), QStringLiteral("B"));
}

void TstRecord::sendsALineLongerThan32767Characters()
{
    QByteArray line;
    while (line.size() < 40000)
        line += "0123456789";
    QGuiApplication::clipboard()->setText(QString::fromLatin1(line));
    auto *field = m_fx.control<QLineEdit>("txtAscSnd");
    field->setFocus();
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    m_fx.click("cmdAscSnd");
    QVERIFY(m_fx.reader->waitFor(line.size()));
    QTest::qWait(50);
    QCOMPARE(m_fx.reader->received(), line);
}

// What a screen reader reads of the box's menu, opened twice.
void TstRecord::everyItemOfAReopenedMenuIsReadable()
{
    QList<QStringList> readings;
    for (int opening = 0; opening < 2; ++opening) {
        QStringList names;
        QTimer::singleShot(50, m_view, [&names] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QAccessibleInterface *read = menu ? QAccessible::queryAccessibleInterface(menu) : nullptr;
            for (int i = 0; read && i < read->childCount(); ++i) {
                QAccessibleInterface *item = read->child(i);
                if (!item || !item->isValid())
                    names.append(QStringLiteral("(invalid)"));
                else if (item->role() != QAccessible::Separator)
                    names.append(item->text(QAccessible::Name));
            }
            if (menu)
                menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), m_view->viewport()->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(m_view->viewport(), &event);
        readings.append(names);
    }
    QCOMPARE(readings.at(0).size(), 9);
    QVERIFY2(!readings.at(0).contains(QString()), qPrintable(readings.at(0).join(u'|')));
    QCOMPARE(readings.at(1), readings.at(0));
}

QTEST_MAIN(TstRecord)
#include "tst_record.moc"
