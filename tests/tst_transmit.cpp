// SPDX-License-Identifier: MIT
#include "app/frmmain.h"
#include "serial/serialchannel.h"
#include "transmit/compactrow.h"
#include "transmit/hexbytebox.h"
#include "transmit/hexbytetext.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;

namespace {

// Field index -> text; the fields not named are empty.
using Row = QMap<int, QString>;

QList<QByteArray> oneByteCalls(std::initializer_list<int> bytes)
{
    QList<QByteArray> calls;
    for (int byte : bytes)
        calls.append(QByteArray(1, char(byte)));
    return calls;
}

// Chooses the item at path (submenu captions, then the item; the text
// before any tab) in the popup menu that opens next, as the keyboard does.
void chooseInNextMenu(const QStringList &path)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, path, depth = qsizetype(0)]() mutable {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu || (depth > 0 && menu->menuAction()->text() != path[depth - 1]))
            return;
        for (QAction *action : menu->actions()) {
            if (action->text().section(u'\t', 0, 0) == path[depth]) {
                menu->setActiveAction(action);
                QTest::keyClick(menu, action->menu() ? Qt::Key_Right : Qt::Key_Return);
                break;
            }
        }
        if (++depth == path.size())
            timer->deleteLater();
    });
    timer->start();
}

void openContextMenu(QWidget *widget, const QStringList &path)
{
    chooseInNextMenu(path);
    const QPoint at(4, 4);
    QContextMenuEvent event(QContextMenuEvent::Keyboard, at, widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &event);
}

QByteArray joined(const QList<QByteArray> &calls)
{
    QByteArray all;
    for (const QByteArray &call : calls)
        all += call;
    return all;
}

} // namespace

class TstTransmit : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void checksHexByteText_data();
    void checksHexByteText();
    void readsTheByteValue_data();
    void readsTheByteValue();
    void compactionMatchesAStableFilterForRandomRows();

    void typingIntoABoxLeavesOnlyHexDigits_data();
    void typingIntoABoxLeavesOnlyHexDigits();
    void pastingIntoABoxInsertsOnlyWhatFits_data();
    void pastingIntoABoxInsertsOnlyWhatFits();
    void programWritesAreCheckedOnceAndSettle_data();
    void programWritesAreCheckedOnceAndSettle();

    void sendsOneByteCallPerFieldAfterCompaction_data();
    void sendsOneByteCallPerFieldAfterCompaction();
    void hexSendWithPortClosedWarnsAfterCompacting();

    void sendsTheTypedLine_data();
    void sendsTheTypedLine();
    void textSendWithPortClosedWarnsAndSendsNothing();
    void enterInTheTextFieldSendsNothing();

    void upAndDownRecallLinesSentAcrossARestart();
    void addsTheChosenLineEndAcrossARestart_data();
    void addsTheChosenLineEndAcrossARestart();
    void macroKeysSendExactBytesFromAnyField();

private:
    HexByteBox *box(int index) const;
    QLineEdit *txtAscSnd() const;
    QCheckBox *chkCrLf() const;
    void openPort();
    void restartWindow();
    void send(const QString &line);
    QByteArray takeReceived(qsizetype size);
    void verifyPortNotOpenWarning() const;
    void paste(QWidget *field, const QString &text);
    void fillRow(const Row &row);
    QStringList rowTexts() const;

    WindowFixture m_fx;
    std::unique_ptr<QSignalSpy> m_outputs;
};

void TstTransmit::init()
{
    QVERIFY(m_fx.setUp());
    m_outputs = std::make_unique<QSignalSpy>(&m_fx.window->channel(), &SerialChannel::outputTaken);
    QVERIFY(m_outputs->isValid());
}

void TstTransmit::cleanup()
{
    m_outputs.reset();
    m_fx.tearDown();
}

HexByteBox *TstTransmit::box(int index) const
{
    return m_fx.window->findChild<HexByteBox *>(QStringLiteral("txtBinSnd%1").arg(index));
}

QLineEdit *TstTransmit::txtAscSnd() const
{
    return m_fx.window->findChild<QLineEdit *>(QStringLiteral("txtAscSnd"));
}

QCheckBox *TstTransmit::chkCrLf() const
{
    return m_fx.window->findChild<QCheckBox *>(QStringLiteral("chkCrLf"));
}

void TstTransmit::openPort()
{
    QVERIFY(m_fx.openPort());
}

void TstTransmit::verifyPortNotOpenWarning() const
{
    QCOMPARE(m_fx.answerer->messages.size(), 1);
    const ModalAnswerer::Seen seen = m_fx.answerer->messages.first();
    QCOMPARE(seen.title, QStringLiteral("警告"));
    QCOMPARE(seen.text, QStringLiteral("ポートをオープンして下さい"));
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
    QCOMPARE(seen.buttons, 1);
    QCOMPARE(m_outputs->size(), 0);
    m_fx.reader->settle();
    QCOMPARE(m_fx.reader->size(), 0);
}

void TstTransmit::paste(QWidget *field, const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
}

void TstTransmit::fillRow(const Row &row)
{
    for (auto it = row.cbegin(); it != row.cend(); ++it) {
        QTest::keyClicks(box(it.key()), it.value());
        QCOMPARE(box(it.key())->text(), it.value().toUpper());
    }
}

QStringList TstTransmit::rowTexts() const
{
    QStringList texts;
    for (int i = 0; i < 16; ++i)
        texts.append(box(i)->text());
    return texts;
}

void TstTransmit::checksHexByteText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("checked");

    QTest::newRow("empty") << "" << "";
    QTest::newRow("range ends") << "09" << "09";
    QTest::newRow("lower range ends") << "af" << "AF";
    QTest::newRow("upper range ends") << "AF" << "AF";
    QTest::newRow("mixed case") << "fA" << "FA";
    // The neighbours of each range by character code.
    QTest::newRow("slash") << "/" << "";
    QTest::newRow("colon") << ":" << "";
    QTest::newRow("at sign") << "@" << "";
    QTest::newRow("G") << "G" << "";
    QTest::newRow("backquote") << "`" << "";
    QTest::newRow("g") << "g" << "";
    QTest::newRow("bad first") << "x1" << "";
    QTest::newRow("full-width a") << "ａ" << "";
    QTest::newRow("ff ligature") << "\uFB00" << "";
}

void TstTransmit::checksHexByteText()
{
    QFETCH(QString, text);
    QFETCH(QString, checked);

    QCOMPARE(checkHexByteText(text), checked);
    // A checked text passes the check again unchanged, so a nested run ends at once.
    QCOMPARE(checkHexByteText(checked), checked);
}

void TstTransmit::readsTheByteValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");

    QTest::newRow("empty") << "" << 0x00;
    QTest::newRow("lone 0") << "0" << 0x00;
    QTest::newRow("lone 7") << "7" << 0x07;
    QTest::newRow("lone A") << "A" << 0x0A;
    QTest::newRow("lone F") << "F" << 0x0F;
    QTest::newRow("0A") << "0A" << 0x0A;
    QTest::newRow("70") << "70" << 0x70;
    QTest::newRow("A5") << "A5" << 0xA5;
    QTest::newRow("9F") << "9F" << 0x9F;
    QTest::newRow("FF") << "FF" << 0xFF;
}

void TstTransmit::readsTheByteValue()
{
    QFETCH(QString, text);
    QFETCH(int, value);

    QCOMPARE(int(hexByteValue(text)), value);
}

void TstTransmit::compactionMatchesAStableFilterForRandomRows()
{
    QRandomGenerator random(20240605);
    for (int round = 0; round < 20000; ++round) {
        // A density per row, so that long gaps and nearly full rows both come up.
        const int fillPercent = int(random.bounded(101));
        ByteRowTexts row;
        for (QString &text : row) {
            if (int(random.bounded(100)) < fillPercent)
                text = QString::number(random.bounded(256), 16).toUpper();
        }

        QStringList expected;
        for (const QString &text : row) {
            if (!text.isEmpty())
                expected.append(text);
        }
        const int expectedLast = qMax(0, int(expected.size()) - 1);
        while (expected.size() < 16)
            expected.append(QString());

        ByteRowTexts compacted = row;
        const int last = compactRow(compacted);
        const QStringList got(compacted.cbegin(), compacted.cend());
        QVERIFY2(got == expected && last == expectedLast,
                 qPrintable(QStringLiteral("round %1: [%2] gave [%3], last %4")
                                .arg(round)
                                .arg(QStringList(row.cbegin(), row.cend()).join(u','), got.join(u','))
                                .arg(last)));
    }
}

void TstTransmit::typingIntoABoxLeavesOnlyHexDigits_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("shown");

    QTest::newRow("a5") << QStringList{"a", "5"} << "A5";
    QTest::newRow("lower after digit") << QStringList{"1", "a"} << "1A";
    QTest::newRow("two lower") << QStringList{"f", "e"} << "FE";
    QTest::newRow("1 then g") << QStringList{"1", "g"} << "";
    QTest::newRow("G") << QStringList{"G"} << "";
    QTest::newRow("blank") << QStringList{" "} << "";
    QTest::newRow("minus") << QStringList{"-"} << "";
    QTest::newRow("full-width digit") << QStringList{"１"} << "";
    QTest::newRow("third digit") << QStringList{"1", "2", "3"} << "12";
    QTest::newRow("again after emptied") << QStringList{"z", "b"} << "B";
}

void TstTransmit::typingIntoABoxLeavesOnlyHexDigits()
{
    QFETCH(QStringList, keys);
    QFETCH(QString, shown);

    HexByteBox *field = box(4);
    field->setFocus();
    for (const QString &key : keys)
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, key, Qt::NoModifier);
    QCOMPARE(field->text(), shown);
    QCOMPARE(field->cursorPosition(), int(shown.size()));
}

void TstTransmit::pastingIntoABoxInsertsOnlyWhatFits_data()
{
    QTest::addColumn<QString>("typedFirst");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("shown");

    QTest::newRow("a5") << "" << "a5" << "A5";
    QTest::newRow("12345") << "" << "12345" << "12";
    QTest::newRow("onto one digit") << "1" << "2345" << "12";
    QTest::newRow("fits then bad") << "" << "1g" << "";
    QTest::newRow("bad beyond the limit") << "" << "12g" << "12";
    QTest::newRow("full-width digit") << "" << "１" << "";
    QTest::newRow("ff ligature") << "" << "\uFB00" << "";
    QTest::newRow("onto a full field") << "AB" << "1" << "AB";
}

void TstTransmit::pastingIntoABoxInsertsOnlyWhatFits()
{
    QFETCH(QString, typedFirst);
    QFETCH(QString, pasted);
    QFETCH(QString, shown);

    HexByteBox *field = box(9);
    QTest::keyClicks(field, typedFirst);
    paste(field, pasted);
    QCOMPARE(field->text(), shown);
    QCOMPARE(field->cursorPosition(), int(shown.size()));
}

void TstTransmit::programWritesAreCheckedOnceAndSettle_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("changes");

    // The check's own write raises one more change, whose nested check leaves it be.
    QTest::newRow("lower case") << "b7" << "B7" << 2;
    QTest::newRow("valid") << "C" << "C" << 1;
    QTest::newRow("invalid") << "x" << "" << 2;
}

void TstTransmit::programWritesAreCheckedOnceAndSettle()
{
    QFETCH(QString, written);
    QFETCH(QString, shown);
    QFETCH(int, changes);

    HexByteBox *field = box(0);
    QTest::keyClicks(field, QStringLiteral("9"));
    QSignalSpy spy(field, &QLineEdit::textChanged);
    QVERIFY(spy.isValid());

    field->setText(written);
    QCOMPARE(field->text(), shown);
    QCOMPARE(spy.size(), changes);
    QCOMPARE(field->cursorPosition(), int(shown.size()));
}

void TstTransmit::sendsOneByteCallPerFieldAfterCompaction_data()
{
    QTest::addColumn<Row>("before");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QList<QByteArray>>("calls");

    Row full;
    QStringList fullTexts;
    QList<QByteArray> fullCalls;
    for (int i = 0; i < 16; ++i) {
        const int byte = 16 * i + (15 - i);
        const QString text = QString::number(byte, 16).toUpper().rightJustified(2, u'0');
        full.insert(i, text);
        fullTexts.append(text);
        fullCalls.append(QByteArray(1, char(byte)));
    }
    auto padded = [](QStringList texts) {
        while (texts.size() < 16)
            texts.append(QString());
        return texts;
    };

    QTest::newRow("fields 2 5 9") << Row{{2, "11"}, {5, "22"}, {9, "33"}} << padded({"11", "22", "33"})
                                  << oneByteCalls({0x11, 0x22, 0x33});
    QTest::newRow("only field 15") << Row{{15, "7F"}} << padded({"7F"}) << oneByteCalls({0x7F});
    QTest::newRow("gap of eleven") << Row{{0, "1"}, {12, "2"}, {13, "3"}} << padded({"1", "2", "3"})
                                   << oneByteCalls({0x01, 0x02, 0x03});
    QTest::newRow("byte values") << Row{{0, "7"}, {1, "0A"}, {2, "FF"}, {3, "0"}}
                                 << padded({"7", "0A", "FF", "0"})
                                 << oneByteCalls({0x07, 0x0A, 0xFF, 0x00});
    QTest::newRow("typed lower case") << Row{{6, "a5"}} << padded({"A5"}) << oneByteCalls({0xA5});
    QTest::newRow("all sixteen") << full << fullTexts << fullCalls;
    QTest::newRow("all empty") << Row{} << padded({}) << oneByteCalls({0x00});
}

void TstTransmit::sendsOneByteCallPerFieldAfterCompaction()
{
    QFETCH(Row, before);
    QFETCH(QStringList, after);
    QFETCH(QList<QByteArray>, calls);

    openPort();
    fillRow(before);
    // Twice: the fields keep their texts and a second click sends the same bytes.
    for (int click = 1; click <= 2; ++click) {
        m_outputs->clear();
        QTest::mouseClick(m_fx.control<QPushButton>("cmdBinSnd"), Qt::LeftButton);
        QCOMPARE(rowTexts(), after);
        QList<QByteArray> made;
        for (const QList<QVariant> &call : std::as_const(*m_outputs))
            made.append(call.first().toByteArray());
        QCOMPARE(made, calls);
        QVERIFY(m_fx.reader->waitFor(click * joined(calls).size()));
    }
    m_fx.reader->settle();
    QCOMPARE(m_fx.reader->received(), joined(calls) + joined(calls));
    QVERIFY(m_fx.answerer->messages.isEmpty());
}

void TstTransmit::hexSendWithPortClosedWarnsAfterCompacting()
{
    fillRow(Row{{3, "C3"}, {8, "5"}, {15, "e0"}});
    QStringList shownWhileWarning;
    m_fx.answerer->onMessage = [&](QMessageBox *) { shownWhileWarning = rowTexts(); };

    QTest::mouseClick(m_fx.control<QPushButton>("cmdBinSnd"), Qt::LeftButton);

    verifyPortNotOpenWarning();
    QStringList compacted{"C3", "5", "E0"};
    while (compacted.size() < 16)
        compacted.append(QString());
    QCOMPARE(shownWhileWarning, compacted);
    QCOMPARE(rowTexts(), compacted);
}

void TstTransmit::sendsTheTypedLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("crLf");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("abc") << "abc" << false << QByteArray("abc");
    QTest::newRow("abc with CR LF") << "abc" << true << QByteArray("abc\r\n");
    QTest::newRow("empty") << "" << false << QByteArray();
    QTest::newRow("empty with CR LF") << "" << true << QByteArray("\r\n");
    QTest::newRow("Japanese") << "送信データ" << true
                              << QByteArray("\x91\x97\x90\x4d\x83\x66\x81\x5b\x83\x5e\r\n");
    QTest::newRow("half-width katakana") << "ｱｲ" << false << QByteArray("\xB1\xB2");
    QTest::newRow("unrepresentable") << "a한b" << false << QByteArray("a?b");
    QTest::newRow("outside the BMP") << "x\U0001F600" << false << QByteArray("x?");
}

void TstTransmit::sendsTheTypedLine()
{
    QFETCH(QString, text);
    QFETCH(bool, crLf);
    QFETCH(QByteArray, bytes);

    openPort();
    if (!text.isEmpty())
        paste(txtAscSnd(), text);
    QCOMPARE(txtAscSnd()->text(), text);
    if (crLf)
        chkCrLf()->click();
    QCOMPARE(chkCrLf()->isChecked(), crLf);

    QTest::mouseClick(m_fx.control<QPushButton>("cmdAscSnd"), Qt::LeftButton);

    QCOMPARE(m_outputs->size(), 1);
    QCOMPARE(m_outputs->first().first().toByteArray(), bytes);
    QVERIFY(m_fx.reader->waitFor(bytes.size()));
    m_fx.reader->settle();
    QCOMPARE(m_fx.reader->received(), bytes);
    QCOMPARE(txtAscSnd()->text(), text);
    QCOMPARE(chkCrLf()->isChecked(), crLf);
    QVERIFY(m_fx.answerer->messages.isEmpty());
}

void TstTransmit::textSendWithPortClosedWarnsAndSendsNothing()
{
    QTest::keyClicks(txtAscSnd(), QStringLiteral("abc"));
    chkCrLf()->click();

    QTest::mouseClick(m_fx.control<QPushButton>("cmdAscSnd"), Qt::LeftButton);

    verifyPortNotOpenWarning();
    QCOMPARE(txtAscSnd()->text(), QStringLiteral("abc"));
    QVERIFY(chkCrLf()->isChecked());
}

void TstTransmit::enterInTheTextFieldSendsNothing()
{
    openPort();
    QTest::keyClicks(txtAscSnd(), QStringLiteral("abc"));
    QTest::keyClick(txtAscSnd(), Qt::Key_Return);
    QTest::keyClick(txtAscSnd(), Qt::Key_Enter);
    QCOMPARE(m_outputs->size(), 0);
    m_fx.reader->settle();
    QCOMPARE(m_fx.reader->size(), 0);
    QCOMPARE(txtAscSnd()->text(), QStringLiteral("abc"));
}

void TstTransmit::restartWindow()
{
    m_outputs.reset();
    m_fx.window.reset();
    m_fx.window = std::make_unique<FrmMain>();
    m_fx.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_fx.window.get()));
    m_outputs = std::make_unique<QSignalSpy>(&m_fx.window->channel(), &SerialChannel::outputTaken);
}

void TstTransmit::send(const QString &line)
{
    txtAscSnd()->setText(line);
    QTest::mouseClick(m_fx.control<QPushButton>("cmdAscSnd"), Qt::LeftButton);
}

QByteArray TstTransmit::takeReceived(qsizetype size)
{
    const bool came = m_fx.reader->waitFor(size);
    m_fx.reader->settle();
    const QByteArray received = m_fx.reader->received();
    m_fx.reader->clear();
    return came ? received : QByteArray("(not all came) ") + received;
}

void TstTransmit::upAndDownRecallLinesSentAcrossARestart()
{
    // Refused by the closed port: not a line sent.
    send(QStringLiteral("closed"));
    QCOMPARE(m_fx.answerer->messages.size(), 1);
    openPort();
    for (const char *line : {"first", "second", "", "first", "third"})
        send(line);
    QCOMPARE(txtAscSnd()->text(), QStringLiteral("third"));
    restartWindow();

    QLineEdit *field = txtAscSnd();
    QTest::keyClicks(field, QStringLiteral("draft"));
    QStringList shown;
    for (Qt::Key key : {Qt::Key_Up, Qt::Key_Up, Qt::Key_Up, Qt::Key_Up, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down}) {
        QTest::keyClick(field, key);
        shown.append(field->text());
    }
    QCOMPARE(shown, (QStringList{"third", "first", "second", "second", "first", "third", "draft"}));
}

void TstTransmit::addsTheChosenLineEndAcrossARestart_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("CR LF") << "CR LF" << QByteArray("\r\n");
    QTest::newRow("CR") << "CR" << QByteArray("\r");
    QTest::newRow("LF") << "LF" << QByteArray("\n");
}

void TstTransmit::addsTheChosenLineEndAcrossARestart()
{
    QFETCH(QString, item);
    QFETCH(QByteArray, bytes);

    // Away from the default first, so that CR LF is a choice too.
    openContextMenu(chkCrLf(), {item == QLatin1String("LF") ? "CR" : "LF"});
    openContextMenu(chkCrLf(), {item});
    QTRY_VERIFY(chkCrLf()->toolTip().endsWith(QLatin1String(": ") + item));
    restartWindow();
    QVERIFY(chkCrLf()->toolTip().endsWith(QLatin1String(": ") + item));
    QVERIFY(!chkCrLf()->isChecked());

    openPort();
    send(QStringLiteral("ab"));
    chkCrLf()->click();
    send(QStringLiteral("ab"));
    QCOMPARE(takeReceived(4 + bytes.size()), QByteArray("abab") + bytes);
}

void TstTransmit::macroKeysSendExactBytesFromAnyField()
{
    QStringList refusals;
    m_fx.answerer->otherModal = [&](QWidget *modal) {
        auto *dialog = qobject_cast<QDialog *>(modal);
        if (!dialog || dialog->windowTitle() != QStringLiteral("送信マクロ"))
            return false;
        // Each step once: typed, OK, refused; then mended, OK.
        const int step = dialog->property("step").toInt();
        if (step > 1 || (step == 1 && m_fx.answerer->messages.isEmpty()))
            return true;
        auto *content = dialog->findChild<QLineEdit *>(QStringLiteral("macroContent2"));
        if (step == 0) {
            dialog->findChild<QLineEdit *>(QStringLiteral("macroName2"))->setText(QStringLiteral("reset"));
            content->setText(QStringLiteral("R\\q"));
        } else {
            refusals = m_fx.answerer->texts();
            content->setText(QStringLiteral("AT\\r\\n\\x01\\\\"));
            dialog->findChild<QComboBox *>(QStringLiteral("macroKind12"))->setCurrentIndex(1);
            dialog->findChild<QLineEdit *>(QStringLiteral("macroContent12"))->setText(QStringLiteral("0D0A 7"));
        }
        dialog->setProperty("step", step + 1);
        QMetaObject::invokeMethod(dialog, &QDialog::accept, Qt::QueuedConnection);
        return true;
    };
    openContextMenu(txtAscSnd(), {"送信マクロ", "編集..."});
    QTRY_VERIFY(!refusals.isEmpty());
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QCOMPARE(refusals, QStringList{"マクロ 2: 2 文字目の「\\q」は使えません (\\r \\n \\t \\\\ \\xNN のみ)"});

    m_fx.answerer->messages.clear();
    QTest::keyClick(txtAscSnd(), Qt::Key_2, Qt::AltModifier);
    verifyPortNotOpenWarning();
    m_fx.answerer->messages.clear();

    openPort();
    chkCrLf()->click();
    QTest::keyClick(txtAscSnd(), Qt::Key_2, Qt::AltModifier);
    QTest::keyClick(box(3), Qt::Key_AsciiCircum, Qt::AltModifier);
    QTest::keyClick(box(3), Qt::Key_Equal, Qt::AltModifier);
    // A slot without a macro sends nothing and says nothing.
    QTest::keyClick(txtAscSnd(), Qt::Key_5, Qt::AltModifier);
    QCOMPARE(takeReceived(12), QByteArray("AT\r\n\x01\\\r\n\x07\r\n\x07"));
    QVERIFY(m_fx.answerer->messages.isEmpty());
    QCOMPARE(txtAscSnd()->text(), QString());
    QCOMPARE(box(3)->text(), QString());

    // The submenu sends the same bytes.
    openContextMenu(txtAscSnd(), {"送信マクロ", "2: reset"});
    QCOMPARE(takeReceived(6), QByteArray("AT\r\n\x01\\"));
}

QTEST_MAIN(TstTransmit)
#include "tst_transmit.moc"
