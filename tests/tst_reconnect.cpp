// SPDX-License-Identifier: MIT
#include "app/frmmain.h"
#include "capture/receiverecorder.h"
#include "serial/serialchannel.h"
#include "settings/frmcfg.h"
#include "windowfixture.h"

#include <QAction>
#include <QFileDialog>
#include <QProgressDialog>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace std::chrono_literals;

class TstReconnect : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void reopensWhenTheByIdDeviceReturns();
    void operatorsStepEndsTheWait_data();
    void operatorsStepEndsTheWait();
    void lossDuringADownloadIsItsFailureAndNoReopenFollows();

private:
    void turnOnAutoReconnect();
    void replugTwiceWhileTheBoxIsOpen();
    SerialChannel &channel() const { return m_fx.window->channel(); }

    WindowFixture m_fx;
    QString m_byId;
    QStringList m_captions;
};

void TstReconnect::init()
{
    QVERIFY(m_fx.setUp());
    m_byId = m_fx.plugInByIdBoard();
}

void TstReconnect::cleanup()
{
    m_fx.tearDown();
}

void TstReconnect::turnOnAutoReconnect()
{
    auto *option = m_fx.window->findChild<QAction *>(QStringLiteral("actAutoReconnect"));
    QVERIFY(!option->isChecked());
    QVERIFY(m_fx.chooseFromContextMenu(m_fx.control("Label3"), QStringLiteral("自動再接続")));
    QVERIFY(option->isChecked());
}

// Run from the loss box's own event loop: the box stays open throughout.
void TstReconnect::replugTwiceWhileTheBoxIsOpen()
{
    for (int replug = 0; replug < 2; ++replug) {
        if (replug > 0) {
            m_fx.unplugByIdBoard();
            QTRY_VERIFY(!channel().portOpen());
            QTest::qWait(100);
        }
        m_fx.plugInByIdBoard();
        QTRY_VERIFY_WITH_TIMEOUT(channel().portOpen(), 1000);
        m_captions.append(m_fx.control<QPushButton>("cmdComOpen")->text());
        QSignalSpy taken(&channel(), &SerialChannel::inputTaken);
        QVERIFY(m_fx.pty->write("back\r\n"));
        QTRY_VERIFY(!taken.isEmpty());
    }
}

void TstReconnect::reopensWhenTheByIdDeviceReturns()
{
    turnOnAutoReconnect();
    QVERIFY(m_fx.openPort());
    auto *recorder = m_fx.window->findChild<ReceiveRecorder *>();
    const QString record = m_fx.dir->filePath(QStringLiteral("record.txt"));
    QVERIFY(recorder->start(record, ReceiveRecorder::Format::Text));
    bool holding = true;
    m_fx.answerer->holdWhile = [&] { return holding; };
    m_fx.answerer->onMessage = [&](QMessageBox *) {
        QTimer::singleShot(0, this, [&] {
            replugTwiceWhileTheBoxIsOpen();
            holding = false;
        });
    };
    m_fx.unplugByIdBoard();
    QTRY_VERIFY_WITH_TIMEOUT(!holding, 10000);
    QTRY_VERIFY(!QApplication::activeModalWidget());

    QCOMPARE(m_fx.answerer->texts(), QStringList{QStringLiteral("ポートが切断されました")});
    QCOMPARE(m_captions, (QStringList{QStringLiteral("COM クローズ"), QStringLiteral("COM クローズ")}));
    QVERIFY(channel().portOpen());
    recorder->stop();
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QCOMPARE(text.count(QStringLiteral("--- 再接続 ") + m_byId + QStringLiteral(" ---\n")), 2);
    QCOMPARE(text.count(QStringLiteral("back\n")), 2);

    // Kept for the next start.
    m_fx.window.reset();
    FrmMain next;
    QVERIFY(next.findChild<QAction *>(QStringLiteral("actAutoReconnect"))->isChecked());
}

void TstReconnect::operatorsStepEndsTheWait_data()
{
    QTest::addColumn<QString>("step");
    QTest::newRow("COM オープン") << "cmdComOpen";
    QTest::newRow("セット") << "cmdSet";
    QTest::newRow("ダウンロード") << "cmdXactConfig";
}

void TstReconnect::operatorsStepEndsTheWait()
{
    QFETCH(QString, step);
    turnOnAutoReconnect();
    QVERIFY(m_fx.openPort());
    m_fx.unplugByIdBoard();
    QTRY_COMPARE(m_fx.answerer->texts(), QStringList{QStringLiteral("ポートが切断されました")});
    if (step == QLatin1String("cmdSet"))
        m_fx.operateSettings([](FrmCfg &dialog) {
            QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("cmdSet")), Qt::LeftButton);
        });
    else
        m_fx.click(qPrintable(step));
    QVERIFY(!channel().portOpen());
    m_fx.plugInByIdBoard();
    QTest::qWait(500);
    QVERIFY(!channel().portOpen());
}

void TstReconnect::lossDuringADownloadIsItsFailureAndNoReopenFollows()
{
    turnOnAutoReconnect();
    QVERIFY(m_fx.openPort());
    const QString path = m_fx.dir->filePath(QStringLiteral("big.bit"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(1024 * 1024));
    file.close();
    m_fx.reader.reset(); // the line fills up and holds the transfer
    bool unplugged = false;
    m_fx.answerer->otherModal = [&](QWidget *modal) {
        if (qobject_cast<QFileDialog *>(modal))
            return chooseFile(path)(modal);
        if (!qobject_cast<QProgressDialog *>(modal) || unplugged)
            return false;
        unplugged = true;
        QTimer::singleShot(100ms, this, [this] { m_fx.unplugByIdBoard(); });
        return true;
    };
    m_fx.click("cmdXactConfig");
    QCOMPARE(m_fx.answerer->texts(), (QStringList{QStringLiteral("INITボタンを押してください"),
                                                  QStringLiteral("ダウンロードに失敗しました\nポートが切断されました")}));
    m_fx.plugInByIdBoard();
    QTest::qWait(500);
    QVERIFY(!channel().portOpen());
}

QTEST_MAIN(TstReconnect)
#include "tst_reconnect.moc"
