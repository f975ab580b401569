// SPDX-License-Identifier: MIT
#include "app/frmmain.h"
#include "serial/serialchannel.h"
#include "screenshot.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

class TstApp : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void placesEveryControl_data();
    void placesEveryControl();
    void startsClosedOnPort3WithTextTab();
    void focusFollowsTheTabOrder();
    void toggleOpensAndClosesThePort();
    void failedOpenTellsTheOperatorAndKeepsCaption_data();
    void failedOpenTellsTheOperatorAndKeepsCaption();
    void unpluggedDeviceRestoresCaptionAndTellsTheOperator();
    void closingTheWindowDrainsAndClosesThePort();
    void drawsEveryControlInsideTheWindow();

private:

    WindowFixture m_fx;
};

void TstApp::init()
{
    QVERIFY(m_fx.setUp());
}

void TstApp::cleanup()
{
    m_fx.tearDown();
}

void TstApp::placesEveryControl_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("rect");

    QTest::newRow("cmdComOpen") << "cmdComOpen" << "QPushButton" << "COM オープン" << QRect(8, 8, 89, 25);
    QTest::newRow("cmdXactConfig") << "cmdXactConfig" << "QPushButton" << "ダウンロード" << QRect(112, 8, 81, 25);
    QTest::newRow("Label3") << "Label3" << "QLabel" << "ポート番号 :" << QRect(296, 16, 73, 17);
    QTest::newRow("Label4") << "Label4" << "QLabel" << "3" << QRect(368, 16, 33, 17);
    QTest::newRow("cmdSet") << "cmdSet" << "QPushButton" << "設定変更" << QRect(432, 8, 89, 25);
    QTest::newRow("Frame1") << "Frame1" << "QGroupBox" << "送信データ" << QRect(8, 40, 513, 113);
    QTest::newRow("Label1") << "Label1" << "QLabel" << "テキスト" << QRect(16, 80, 57, 17);
    QTest::newRow("Label2") << "Label2" << "QLabel" << "バイナリ" << QRect(16, 112, 49, 17);
    QTest::newRow("chkCrLf") << "chkCrLf" << "QCheckBox" << "改行コード付加" << QRect(352, 56, 105, 17);
    QTest::newRow("txtAscSnd") << "txtAscSnd" << "QLineEdit" << "" << QRect(64, 80, 385, 18);
    QTest::newRow("cmdAscSnd") << "cmdAscSnd" << "QPushButton" << "送信" << QRect(464, 72, 49, 31);
    QTest::newRow("txtBinSnd0") << "txtBinSnd0" << "QLineEdit" << "" << QRect(64, 112, 25, 18);
    QTest::newRow("txtBinSnd15") << "txtBinSnd15" << "QLineEdit" << "" << QRect(424, 112, 25, 18);
    QTest::newRow("cmdBinSnd") << "cmdBinSnd" << "QPushButton" << "送信" << QRect(464, 104, 49, 31);
    QTest::newRow("Frame2") << "Frame2" << "QGroupBox" << "受信データ" << QRect(16, 184, 497, 209);
    QTest::newRow("rtxtAscRcv") << "rtxtAscRcv" << "QAbstractScrollArea" << "" << QRect(24, 200, 481, 185);
}

void TstApp::placesEveryControl()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QRect, rect);

    auto *widget = m_fx.window->findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QVERIFY(widget->inherits(qPrintable(kind)));
    QCOMPARE(widget->mapTo(m_fx.window.get(), QPoint(0, 0)), rect.topLeft());
    QCOMPARE(widget->size(), rect.size());
    QString shown = widget->property("text").toString();
    if (auto *frame = qobject_cast<QGroupBox *>(widget))
        shown = frame->title();
    QCOMPARE(shown, text);
}

void TstApp::startsClosedOnPort3WithTextTab()
{
    QCOMPARE(m_fx.window->windowTitle(), QStringLiteral("Tolvane ver 1.1"));
    QCOMPARE(m_fx.window->size(), QSize(529, 409));
    QCOMPARE(m_fx.window->pos(), QPoint(67, 67));
    QVERIFY(!m_fx.window->channel().portOpen());
    QCOMPARE(m_fx.window->channel().commPort(), 3);
    QCOMPARE(m_fx.window->channel().settings(), QStringLiteral("115200,n,8,1"));
    QCOMPARE(m_fx.window->channel().handshaking(), 0);
    QVERIFY(!m_fx.window->channel().rtsEnable());
    QCOMPARE(m_fx.window->channel().rThreshold(), 1);
    QCOMPARE(m_fx.window->portSettings().nPort, 3);
    QCOMPARE(m_fx.window->portSettings().nByte, 14);

    auto *tabs = m_fx.window->findChild<QTabBar *>(QStringLiteral("TabStrip1"));
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(0), QStringLiteral("テキスト"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("バイナリ"));
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(m_fx.window->findChild<QLabel *>(QStringLiteral("Label4"))->toolTip(), m_fx.pty->slavePath());
    QVERIFY(!m_fx.window->findChild<QCheckBox *>(QStringLiteral("chkCrLf"))->isChecked());
    const QFont font = m_fx.window->findChild<QLineEdit *>(QStringLiteral("txtAscSnd"))->font();
    QCOMPARE(font.family(), QStringLiteral("Noto Sans Mono CJK JP"));
    QCOMPARE(font.pointSize(), 9);
}

void TstApp::focusFollowsTheTabOrder()
{
    QStringList expected{"cmdComOpen", "cmdXactConfig", "cmdSet", "txtAscSnd", "chkCrLf", "cmdAscSnd"};
    for (int i = 0; i < 16; ++i)
        expected.append(QStringLiteral("txtBinSnd%1").arg(i));
    expected << "cmdBinSnd" << "TabStrip1" << "rtxtAscRcv";

    QWidget *start = m_fx.control<QPushButton>("cmdComOpen");
    QStringList chain{start->objectName()};
    for (QWidget *w = start->nextInFocusChain(); w != start && chain.size() < 64; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(m_fx.window.get()) && w != m_fx.window.get())
            chain.append(w->objectName());
    }
    QCOMPARE(chain, expected);
}

void TstApp::toggleOpensAndClosesThePort()
{
    QPushButton *toggle = m_fx.control<QPushButton>("cmdComOpen");
    QTest::mouseClick(toggle, Qt::LeftButton);
    QVERIFY(m_fx.window->channel().portOpen());
    QCOMPARE(toggle->text(), QStringLiteral("COM クローズ"));
    const termios line = m_fx.pty->lineSettings();
    QCOMPARE(cfgetospeed(&line), speed_t(B115200));
    QCOMPARE(line.c_lflag & ICANON, tcflag_t(0));

    QTest::mouseClick(toggle, Qt::LeftButton);
    QVERIFY(!m_fx.window->channel().portOpen());
    QCOMPARE(toggle->text(), QStringLiteral("COM オープン"));
    QVERIFY(m_fx.answerer->messages.isEmpty());
}

void TstApp::failedOpenTellsTheOperatorAndKeepsCaption_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("reason");

    QTest::newRow("device missing") << "missing" << "No such file";
    QTest::newRow("held by another program") << "busy" << "busy";
    QTest::newRow("no permission") << "permission" << "dialout";
}

void TstApp::failedOpenTellsTheOperatorAndKeepsCaption()
{
    QFETCH(QString, cause);
    QFETCH(QString, reason);

    QString device = m_fx.pty->slavePath();
    SerialChannel other;
    if (cause == QLatin1String("missing")) {
        m_fx.reader.reset();
        m_fx.pty.reset();
        device = m_fx.dir->filePath(QStringLiteral("gone"));
        QVERIFY(QFile::link(device, m_fx.dir->filePath(QStringLiteral("com3"))));
    } else if (cause == QLatin1String("busy")) {
        other.setCommPort(3);
        QVERIFY(other.setSettings(QStringLiteral("115200,n,8,1")));
        QVERIFY(other.setPortOpen(true));
    } else {
        if (::geteuid() == 0)
            QSKIP("root opens a device of mode 000 all the same");
        QVERIFY(::chmod(qPrintable(device), 0) == 0);
    }

    QPushButton *toggle = m_fx.control<QPushButton>("cmdComOpen");
    QTest::mouseClick(toggle, Qt::LeftButton);
    QTRY_COMPARE(m_fx.answerer->messages.size(), 1);
    const ModalAnswerer::Seen seen = m_fx.answerer->messages.first();
    QCOMPARE(seen.title, QStringLiteral("警告"));
    QVERIFY2(seen.text.startsWith(QStringLiteral("ポートをオープンできません\n") + device), qPrintable(seen.text));
    QVERIFY2(seen.text.contains(reason), qPrintable(seen.text));
    QVERIFY(!m_fx.window->channel().portOpen());
    QCOMPARE(toggle->text(), QStringLiteral("COM オープン"));
}

void TstApp::unpluggedDeviceRestoresCaptionAndTellsTheOperator()
{
    QPushButton *toggle = m_fx.control<QPushButton>("cmdComOpen");
    QTest::mouseClick(toggle, Qt::LeftButton);
    QVERIFY(m_fx.window->channel().portOpen());

    m_fx.unplugBoard();
    QTRY_COMPARE(m_fx.answerer->messages.size(), 1);
    const ModalAnswerer::Seen seen = m_fx.answerer->messages.first();
    QCOMPARE(seen.title, QStringLiteral("通信エラー"));
    QCOMPARE(seen.text, QStringLiteral("ポートが切断されました"));
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QCOMPARE(toggle->text(), QStringLiteral("COM オープン"));
    QVERIFY(!m_fx.window->channel().portOpen());

    m_fx.plugInBoard();
    QTest::mouseClick(toggle, Qt::LeftButton);
    QVERIFY(m_fx.window->channel().portOpen());
    QCOMPARE(toggle->text(), QStringLiteral("COM クローズ"));
}

void TstApp::closingTheWindowDrainsAndClosesThePort()
{
    QTest::mouseClick(m_fx.control<QPushButton>("cmdComOpen"), Qt::LeftButton);
    const QByteArray payload(32 * 1024, 'x');
    m_fx.window->channel().output(payload);
    QVERIFY(m_fx.window->close());
    QVERIFY(!m_fx.window->channel().portOpen());
    QVERIFY(m_fx.reader->waitFor(payload.size()));
    QCOMPARE(m_fx.reader->received(), payload);
}

void TstApp::drawsEveryControlInsideTheWindow()
{
    const QStringList wrong = misdrawnControls(m_fx.window.get(), QStringLiteral("main.png"));
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral(", "))));
}

QTEST_MAIN(TstApp)
#include "tst_app.moc"
