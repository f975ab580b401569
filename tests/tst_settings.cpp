// SPDX-License-Identifier: MIT
#include "app/frmmain.h"
#include "serial/serialchannel.h"
#include "settings/frmcfg.h"
#include "settings/numberreader.h"
#include "settings/portassigndialog.h"
#include "screenshot.h"
#include "windowfixture.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWindow>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

class TstSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readsNumbers_data();
    void readsNumbers();

    void firstOpeningShowsInitialTextsAtItsPlace();
    void placesEveryControl_data();
    void placesEveryControl();
    void setAppliesOrRefuses_data();
    void setAppliesOrRefuses();
    void bothOutOfRangeReportsOnlyThePort();
    void setClosesAnOpenPortAndLeavesItClosed_data();
    void setClosesAnOpenPortAndLeavesItClosed();
    void cancelWritesBackAfterARefusal_data();
    void cancelWritesBackAfterARefusal();
    void enterAndEscapeDoNothing();
    void hidingKeepsTheDialogAndAFrameCloseDiscardsIt();
    void drawsEveryControlInsideTheDialog();

    void failedOpenListsDevicesAndLeadsToTheirAssignment();
    void assignmentDialogFollowsDevicesPluggedInAndOut();
    void portMenuOpensFromEitherLabel_data();
    void portMenuOpensFromEitherLabel();
    void toolTipNamesTheStableNameOfThePort();

private:
    QLabel *label4() const;
    void operatePortAssign(const std::function<void()> &trigger, const std::function<void(QDialog &)> &steps);
    void chooseFromPortLabelMenu();
    QString plugAdapter(const QString &name, const QString &node);

    WindowFixture m_fx;
};

namespace {

QLineEdit *field(FrmCfg &dialog, const char *name)
{
    return dialog.findChild<QLineEdit *>(QLatin1String(name));
}

QPushButton *button(FrmCfg &dialog, const char *name)
{
    return dialog.findChild<QPushButton *>(QLatin1String(name));
}

void click(FrmCfg &dialog, const char *name)
{
    QTest::mouseClick(button(dialog, name), Qt::LeftButton);
}

// As an operator would: select what is there and type over it.
void type(FrmCfg &dialog, const char *name, const QString &text)
{
    QLineEdit *edit = field(dialog, name);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

const QString kPortMessage = QStringLiteral("ポート番号 範囲外");
const QString kCountMessage = QStringLiteral("バイト数 範囲外");

} // namespace

void TstSettings::init()
{
    QVERIFY(m_fx.setUp());
}

void TstSettings::cleanup()
{
    m_fx.tearDown();
}

QLabel *TstSettings::label4() const
{
    return m_fx.window->findChild<QLabel *>(QStringLiteral("Label4"));
}

void TstSettings::readsNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("fitsInt32");

    const double inf = qInf();
    QTest::newRow("blanks ignored") << "1 2" << 12.0 << true;
    QTest::newRow("tabs and line feeds ignored") << "\t-\n1 0 " << -10.0 << true;
    QTest::newRow("stops at x") << "7x" << 7.0 << true;
    QTest::newRow("leading zero") << "05" << 5.0 << true;
    QTest::newRow("exponent") << "1e1" << 10.0 << true;
    QTest::newRow("exponent with sign") << "25E-1" << 2.0 << true;
    QTest::newRow("E without digits stops") << "3e+" << 3.0 << true;
    QTest::newRow("hexadecimal") << "&HF" << 15.0 << true;
    QTest::newRow("hexadecimal lower case") << "&hff" << 255.0 << true;
    QTest::newRow("octal") << "&O17" << 15.0 << true;
    QTest::newRow("sign before &H") << "-&H1" << 0.0 << true;
    QTest::newRow("empty") << "" << 0.0 << true;
    QTest::newRow("letters") << "abc" << 0.0 << true;
    QTest::newRow("lone point") << "." << 0.0 << true;
    QTest::newRow("comma is no point") << "2,7" << 2.0 << true;
    QTest::newRow("full-width digits") << "１２" << 0.0 << true;
    QTest::newRow("half down to even") << "2.5" << 2.0 << true;
    QTest::newRow("half up to even") << "3.5" << 4.0 << true;
    QTest::newRow("16.5") << "16.5" << 16.0 << true;
    QTest::newRow("0.5") << "0.5" << 0.0 << true;
    QTest::newRow("-0.5") << "-0.5" << 0.0 << true;
    QTest::newRow("20.5") << "20.5" << 20.0 << true;
    QTest::newRow("20.6") << "20.6" << 21.0 << true;
    QTest::newRow("largest int32") << "2147483647" << 2147483647.0 << true;
    QTest::newRow("smallest int32") << "-2147483648" << -2147483648.0 << true;
    QTest::newRow("half above int32") << "2147483647.5" << 2147483648.0 << false;
    QTest::newRow("beyond int32") << "99999999999" << 99999999999.0 << false;
    QTest::newRow("hexadecimal beyond int32") << "&H100000003" << 4294967299.0 << false;
    QTest::newRow("beyond a double") << "-1e400" << -inf << false;
    QTest::newRow("underflow") << "1e-400" << 0.0 << true;
    QTest::newRow("huge exponent") << "1e99999999999999999999" << inf << false;
    QTest::newRow("long run of digits") << QString(5000, u'9') << inf << false;
    QTest::newRow("long fraction") << QLatin1String("0.") + QString(5000, u'0') + QLatin1String("1e5001")
                                   << 1.0 << true;
}

void TstSettings::readsNumbers()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QFETCH(bool, fitsInt32);

    const double read = readNumber(text);
    QCOMPARE(read, value);
    QVERIFY(!std::signbit(read) || read < 0);
    const std::optional<std::int32_t> integer = readInteger<std::int32_t>(text);
    QCOMPARE(integer.has_value(), fitsInt32);
    if (fitsInt32)
        QCOMPARE(double(*integer), value);
}

void TstSettings::firstOpeningShowsInitialTextsAtItsPlace()
{
    QVERIFY(!m_fx.window->findChild<FrmCfg *>());
    QString title, port, count, focus;
    QPoint place;
    QSize size;
    m_fx.operateSettings([&](FrmCfg &dialog) {
        title = dialog.windowTitle();
        place = dialog.pos();
        size = dialog.size();
        port = field(dialog, "txtPort")->text();
        count = field(dialog, "txtByte")->text();
        focus = dialog.focusWidget()->objectName();
        click(dialog, "cmdCancel");
    });
    QCOMPARE(title, QStringLiteral("設定変更"));
    QCOMPARE(place, QPoint(67, 67));
    QCOMPARE(size, QSize(195, 103));
    QCOMPARE(port, QStringLiteral("3"));
    QCOMPARE(count, QStringLiteral("14"));
    QCOMPARE(focus, QStringLiteral("cmdSet"));
    QCOMPARE(m_fx.window->portSettings().nPort, 3);
    QCOMPARE(m_fx.window->portSettings().nByte, 14);
    QVERIFY(m_fx.answerer->messages.isEmpty());
}

void TstSettings::placesEveryControl_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QString>("nextInTabOrder");

    QTest::newRow("Label1") << "Label1" << "ポート番号" << QRect(16, 8, 73, 17) << "";
    QTest::newRow("cmdSet") << "cmdSet" << "セット" << QRect(104, 21, 73, 25) << "txtPort";
    QTest::newRow("txtPort") << "txtPort" << "3" << QRect(16, 24, 49, 18) << "txtByte";
    QTest::newRow("Label2") << "Label2" << "削除バイト数" << QRect(16, 56, 73, 17) << "";
    QTest::newRow("txtByte") << "txtByte" << "14" << QRect(16, 72, 49, 18) << "cmdCancel";
    QTest::newRow("cmdCancel") << "cmdCancel" << "キャンセル" << QRect(104, 69, 73, 25) << "cmdSet";
}

void TstSettings::placesEveryControl()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QRect, rect);
    QFETCH(QString, nextInTabOrder);

    m_fx.operateSettings([](FrmCfg &dialog) { click(dialog, "cmdSet"); });
    FrmCfg *dialog = m_fx.window->findChild<FrmCfg *>();
    auto *widget = dialog->findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(widget->geometry(), rect);
    QCOMPARE(widget->property("text").toString(), text);
    if (auto *push = qobject_cast<QPushButton *>(widget))
        QVERIFY(!push->autoDefault() && !push->isDefault());
    if (nextInTabOrder.isEmpty()) {
        QCOMPARE(widget->focusPolicy(), Qt::NoFocus);
        return;
    }
    QWidget *next = widget->nextInFocusChain();
    while (!(next->focusPolicy() & Qt::TabFocus))
        next = next->nextInFocusChain();
    QCOMPARE(next->objectName(), nextInTabOrder);
}

void TstSettings::setAppliesOrRefuses_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("commPort");
    QTest::addColumn<int>("nByte");
    QTest::addColumn<QString>("portAfter");
    QTest::addColumn<QString>("countAfter");

    QTest::newRow("5 and 0") << "5" << "0" << "" << 5 << 0 << "5" << "0";
    QTest::newRow("leading zero kept in the field") << "05" << "14" << "" << 5 << 14 << "05" << "14";
    QTest::newRow("port 16.5 is 16") << "16.5" << "14" << "" << 16 << 14 << "16.5" << "14";
    QTest::newRow("port 0.5 refused") << "0.5" << "14" << kPortMessage << 3 << 14 << "3" << "14";
    QTest::newRow("port 1 2 is 12") << "1 2" << "14" << "" << 12 << 14 << "1 2" << "14";
    QTest::newRow("port 7x is 7") << "7x" << "14" << "" << 7 << 14 << "7x" << "14";
    QTest::newRow("empty port refused") << "" << "14" << kPortMessage << 3 << 14 << "3" << "14";
    QTest::newRow("letters port refused") << "abc" << "14" << kPortMessage << 3 << 14 << "3" << "14";
    QTest::newRow("port beyond int32 refused") << "4294967299" << "14" << kPortMessage << 3 << 14 << "3" << "14";
    QTest::newRow("count -0.5 is 0") << "3" << "-0.5" << "" << 3 << 0 << "3" << "-0.5";
    QTest::newRow("count 20.5 is 20") << "3" << "20.5" << "" << 3 << 20 << "3" << "20.5";
    QTest::newRow("count 20.6 refused") << "3" << "20.6" << kCountMessage << 3 << 14 << "3" << "14";
    QTest::newRow("letters count is 0") << "3" << "abc" << "" << 3 << 0 << "3" << "abc";
    QTest::newRow("count beyond a double refused") << "9" << "1e400" << kCountMessage << 3 << 14 << "9" << "14";
}

void TstSettings::setAppliesOrRefuses()
{
    QFETCH(QString, port);
    QFETCH(QString, count);
    QFETCH(QString, message);
    QFETCH(int, commPort);
    QFETCH(int, nByte);
    QFETCH(QString, portAfter);
    QFETCH(QString, countAfter);

    bool stayed = false;
    QString portShown, countShown;
    m_fx.operateSettings([&](FrmCfg &dialog) {
        type(dialog, "txtPort", port);
        type(dialog, "txtByte", count);
        click(dialog, "cmdSet");
        stayed = dialog.isVisible();
        portShown = field(dialog, "txtPort")->text();
        countShown = field(dialog, "txtByte")->text();
        if (stayed)
            click(dialog, "cmdCancel");
    });
    QCOMPARE(m_fx.answerer->texts(), message.isEmpty() ? QStringList() : QStringList{message});
    if (!message.isEmpty())
        QCOMPARE(m_fx.answerer->messages.first().title, QStringLiteral("警告"));
    QCOMPARE(stayed, !message.isEmpty());
    QCOMPARE(portShown, portAfter);
    QCOMPARE(countShown, countAfter);
    QCOMPARE(m_fx.window->channel().commPort(), commPort);
    QCOMPARE(label4()->text(), QString::number(commPort));
    QCOMPARE(label4()->toolTip(), m_fx.window->channel().devicePath());
    QCOMPARE(m_fx.window->portSettings().nByte, nByte);
}

void TstSettings::bothOutOfRangeReportsOnlyThePort()
{
    // Pasted rather than typed: far beyond QLineEdit's usual length limit.
    const QString longCount(40000, u'9');
    QString countAfterFirst, countAfterSecond;
    m_fx.operateSettings([&](FrmCfg &dialog) {
        type(dialog, "txtPort", QStringLiteral("0"));
        field(dialog, "txtByte")->setText(longCount);
        click(dialog, "cmdSet");
        countAfterFirst = field(dialog, "txtByte")->text();
        click(dialog, "cmdSet");
        countAfterSecond = field(dialog, "txtByte")->text();
        click(dialog, "cmdCancel");
    });
    QCOMPARE(m_fx.answerer->texts(), (QStringList{kPortMessage, kCountMessage}));
    QCOMPARE(countAfterFirst, longCount);
    QCOMPARE(countAfterSecond, QStringLiteral("14"));
    QCOMPARE(m_fx.window->channel().commPort(), 3);
}

void TstSettings::setClosesAnOpenPortAndLeavesItClosed_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("portOpenedNext");

    QTest::newRow("accepted") << "5" << 5;
    QTest::newRow("refused") << "0" << 3;
}

void TstSettings::setClosesAnOpenPortAndLeavesItClosed()
{
    QFETCH(QString, port);
    QFETCH(int, portOpenedNext);

    PtyPair second(m_fx.dir->path(), 5);
    QVERIFY(second.isValid());
    PtyReader &onPort3 = *m_fx.reader;
    PtyReader onPort5(second.masterFd());
    QPushButton *toggle = m_fx.control<QPushButton>("cmdComOpen");
    QTest::mouseClick(toggle, Qt::LeftButton);
    QVERIFY(m_fx.window->channel().portOpen());

    bool openAfterSet = true;
    m_fx.operateSettings([&](FrmCfg &dialog) {
        type(dialog, "txtPort", port);
        click(dialog, "cmdSet");
        openAfterSet = m_fx.window->channel().portOpen();
        if (dialog.isVisible())
            click(dialog, "cmdCancel");
    });
    QVERIFY(!openAfterSet);
    QVERIFY(!m_fx.window->channel().portOpen());
    QCOMPARE(toggle->text(), QStringLiteral("COMオープン"));

    QTest::mouseClick(toggle, Qt::LeftButton);
    QCOMPARE(toggle->text(), QStringLiteral("COM クローズ"));
    m_fx.window->channel().output(QByteArray("board?"));
    PtyReader &expected = portOpenedNext == 5 ? onPort5 : onPort3;
    QVERIFY(expected.waitFor(6));
    QCOMPARE(expected.received(), QByteArray("board?"));
    QCOMPARE((portOpenedNext == 5 ? onPort3 : onPort5).size(), 0);
}

void TstSettings::cancelWritesBackAfterARefusal_data()
{
    QTest::addColumn<QByteArray>("refusedField");
    QTest::addColumn<QString>("refusedText");
    QTest::addColumn<QString>("portAfter");
    QTest::addColumn<QString>("countAfter");

    QTest::newRow("port") << QByteArray("txtPort") << "0" << " 3" << " 9";
    QTest::newRow("count") << QByteArray("txtByte") << "21" << " 7" << " 14";
}

void TstSettings::cancelWritesBackAfterARefusal()
{
    QFETCH(QByteArray, refusedField);
    QFETCH(QString, refusedText);
    QFETCH(QString, portAfter);
    QFETCH(QString, countAfter);

    m_fx.operateSettings([](FrmCfg &dialog) {
        type(dialog, "txtPort", QStringLiteral("7"));
        type(dialog, "txtByte", QStringLiteral("9"));
        click(dialog, "cmdSet");
    });
    m_fx.operateSettings([&](FrmCfg &dialog) {
        type(dialog, refusedField.constData(), refusedText);
        click(dialog, "cmdSet");
        click(dialog, "cmdCancel");
    });
    FrmCfg *dialog = m_fx.window->findChild<FrmCfg *>();
    QCOMPARE(field(*dialog, "txtPort")->text(), portAfter);
    QCOMPARE(field(*dialog, "txtByte")->text(), countAfter);
    QCOMPARE(m_fx.window->portSettings().nPort, portAfter.trimmed().toInt());
    QCOMPARE(m_fx.window->portSettings().nByte, countAfter.trimmed().toInt());
    QCOMPARE(m_fx.window->channel().commPort(), 7);
    QCOMPARE(label4()->text(), QStringLiteral("7"));
}

void TstSettings::enterAndEscapeDoNothing()
{
    bool shown = false;
    m_fx.operateSettings([&](FrmCfg &dialog) {
        type(dialog, "txtPort", QStringLiteral("5"));
        QTest::keyClick(field(dialog, "txtPort"), Qt::Key_Return);
        QTest::keyClick(button(dialog, "cmdSet"), Qt::Key_Return);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        shown = dialog.isVisible();
        click(dialog, "cmdCancel");
    });
    QVERIFY(shown);
    QCOMPARE(m_fx.window->channel().commPort(), 3);
}

void TstSettings::hidingKeepsTheDialogAndAFrameCloseDiscardsIt()
{
    m_fx.operateSettings([](FrmCfg &dialog) {
        dialog.move(200, 150);
        type(dialog, "txtPort", QStringLiteral("5"));
        type(dialog, "txtByte", QStringLiteral("0"));
        click(dialog, "cmdSet");
    });
    QPointer<FrmCfg> first = m_fx.window->findChild<FrmCfg *>();
    QStringList second, third;
    m_fx.operateSettings([&](FrmCfg &dialog) {
        second << field(dialog, "txtPort")->text() << field(dialog, "txtByte")->text();
        click(dialog, "cmdCancel");
    });
    m_fx.operateSettings([&](FrmCfg &dialog) {
        third << field(dialog, "txtPort")->text() << field(dialog, "txtByte")->text()
              << dialog.focusWidget()->objectName();
        QCOMPARE(dialog.pos(), QPoint(200, 150));
        type(dialog, "txtPort", QStringLiteral("9"));
        // What the window manager sends for the close box.
        QCloseEvent close;
        QCoreApplication::sendEvent(dialog.windowHandle(), &close);
    });
    QCOMPARE(second, (QStringList{"5", "0"}));
    QCOMPARE(third, (QStringList{" 5", " 0", "cmdCancel"}));
    QVERIFY(first.isNull());
    QCOMPARE(m_fx.window->portSettings().nPort, 5);
    QCOMPARE(m_fx.window->portSettings().nByte, 0);

    QStringList reopened;
    QPoint place;
    m_fx.operateSettings([&](FrmCfg &dialog) {
        reopened << field(dialog, "txtPort")->text() << field(dialog, "txtByte")->text();
        place = dialog.pos();
        click(dialog, "cmdCancel");
    });
    QCOMPARE(reopened, (QStringList{"3", "14"}));
    QCOMPARE(place, QPoint(67, 67));
    QCOMPARE(m_fx.window->portSettings().nPort, 3);
    QCOMPARE(m_fx.window->portSettings().nByte, 14);
    QCOMPARE(m_fx.window->channel().commPort(), 5);
    QCOMPARE(label4()->text(), QStringLiteral("5"));
}

void TstSettings::drawsEveryControlInsideTheDialog()
{
    QStringList wrong{QStringLiteral("never shown")};
    m_fx.operateSettings([&](FrmCfg &dialog) {
        wrong = misdrawnControls(&dialog, QStringLiteral("settings.png"));
        click(dialog, "cmdCancel");
    });
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral(", "))));
}

// Runs the steps while the port assignment dialog, reached by the trigger, is shown modally.
void TstSettings::operatePortAssign(const std::function<void()> &trigger, const std::function<void(QDialog &)> &steps)
{
    bool started = false;
    m_fx.answerer->otherModal = [&](QWidget *modal) {
        auto *dialog = qobject_cast<PortAssignDialog *>(modal);
        if (!dialog || started)
            return false;
        started = true;
        QTimer::singleShot(0, dialog, [&, dialog] {
            steps(*dialog);
            dialog->reject();
        });
        return true;
    };
    trigger();
    m_fx.answerer->otherModal = nullptr;
    QVERIFY2(started, "the port assignment dialog was not shown");
}

void TstSettings::chooseFromPortLabelMenu()
{
    QTimer chooser;
    connect(&chooser, &QTimer::timeout, this, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        chooser.stop();
        QAction *item = menu->actions().value(0);
        QCOMPARE(item->text(), QStringLiteral("ポートの割り当て..."));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    });
    chooser.start(5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(4, 4), label4()->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(label4(), &event);
}

// The by-id link udev makes when an adapter is plugged in.
QString TstSettings::plugAdapter(const QString &name, const QString &node)
{
    const QString link = m_fx.dir->filePath(QStringLiteral("serial/by-id/") + name);
    QDir().mkpath(QFileInfo(link).path());
    [&] { QVERIFY(QFile::link(node, link)); }();
    return link;
}

void TstSettings::failedOpenListsDevicesAndLeadsToTheirAssignment()
{
    const QString stable = plugAdapter(QStringLiteral("usb-Tolvane_T100_42-if00-port0"), m_fx.pty->slavePath());
    const QString com3 = m_fx.dir->filePath(QStringLiteral("com3"));
    QVERIFY(QFile::remove(com3));
    QVERIFY(QFile::link(m_fx.dir->filePath(QStringLiteral("gone")), com3));
    m_fx.answerer->onMessage = [](QMessageBox *box) {
        if (auto *assign = box->findChild<QPushButton *>(QStringLiteral("cmdAction"))) {
            box->setProperty("answered", true);
            QTest::mouseClick(assign, Qt::LeftButton);
        }
    };
    operatePortAssign([&] { m_fx.click("cmdComOpen"); }, [&](QDialog &dialog) {
        auto *ports = dialog.findChild<QTreeWidget *>(QStringLiteral("lstPorts"));
        auto *devices = dialog.findChild<QTreeWidget *>(QStringLiteral("lstDevices"));
        QCOMPARE(devices->topLevelItemCount(), 1);
        QCOMPARE(devices->topLevelItem(0)->text(0), stable);
        QTest::mouseClick(devices->viewport(), Qt::LeftButton, {},
                          devices->visualItemRect(devices->topLevelItem(0)).center());
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("cmdAssign")), Qt::LeftButton);
        QCOMPARE(ports->topLevelItem(2)->text(0), QStringLiteral("3 (使用中)"));
        QCOMPARE(ports->topLevelItem(2)->text(1), stable + QStringLiteral(" → ") + m_fx.pty->slavePath());
        QCOMPARE(devices->topLevelItemCount(), 0);
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("cmdClose")), Qt::LeftButton);
    });
    QCOMPARE(m_fx.answerer->messages.size(), 1);
    const ModalAnswerer::Seen seen = m_fx.answerer->messages.first();
    QVERIFY2(seen.text.contains(stable + QStringLiteral(" → ") + m_fx.pty->slavePath()), qPrintable(seen.text));
    QCOMPARE(seen.buttons, 2);
    QVERIFY(!m_fx.window->channel().portOpen());
    QVERIFY(m_fx.openPort());
    QCOMPARE(m_fx.window->channel().devicePath(), m_fx.pty->slavePath());
}

void TstSettings::assignmentDialogFollowsDevicesPluggedInAndOut()
{
    operatePortAssign([&] { chooseFromPortLabelMenu(); }, [&](QDialog &dialog) {
        auto *devices = dialog.findChild<QTreeWidget *>(QStringLiteral("lstDevices"));
        QCOMPARE(devices->topLevelItemCount(), 0);
        auto adapter = std::make_unique<PtyPair>(m_fx.dir->filePath(QStringLiteral("scratch")), 1);
        const QString stable = plugAdapter(QStringLiteral("usb-Tolvane_T200_7-if00"), adapter->slavePath());
        QTRY_COMPARE(devices->topLevelItemCount(), 1);
        QCOMPARE(devices->topLevelItem(0)->text(0), stable);
        QFile::remove(stable);
        adapter.reset();
        QTRY_COMPARE(devices->topLevelItemCount(), 0);
    });
}

void TstSettings::portMenuOpensFromEitherLabel_data()
{
    QTest::addColumn<QString>("label");
    QTest::newRow("ポート番号 :") << "Label3";
    QTest::newRow("the number") << "Label4";
}

void TstSettings::portMenuOpensFromEitherLabel()
{
    QFETCH(QString, label);
    operatePortAssign(
        [&] { QVERIFY(m_fx.chooseFromContextMenu(m_fx.control(qPrintable(label)), QStringLiteral("ポートの割り当て..."))); },
        [](QDialog &) {});
}

void TstSettings::toolTipNamesTheStableNameOfThePort()
{
    const QString stable = m_fx.plugInByIdBoard();
    QHelpEvent hover(QEvent::ToolTip, QPoint(4, 4), label4()->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(label4(), &hover);
    QCOMPARE(label4()->toolTip(), stable + QStringLiteral(" → ") + m_fx.pty->slavePath());
}

QTEST_MAIN(TstSettings)
#include "tst_settings.moc"
