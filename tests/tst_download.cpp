// SPDX-License-Identifier: MIT
#include "app/frmmain.h"
#include "bitfile.h"
#include "capture/interruptwatch.h"
#include "download/bitheader.h"
#include "download/blockstreamer.h"
#include "app/transferprogress.h"
#include "serial/serialchannel.h"
#include "settings/frmcfg.h"
#include "windowfixture.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

#include <csignal>
#include <sys/stat.h>

using namespace std::chrono_literals;
using Sizes = QList<qsizetype>;

namespace {

const QString kInit = QStringLiteral("INITボタンを押してください");
const QString kFailed = QStringLiteral("ダウンロードに失敗しました\n");

QByteArray patternBytes(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char(i % 256);
    return bytes;
}

// Whether this process still holds a descriptor on the file.
bool isHeldOpen(const QString &path)
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        if (QFile::symLinkTarget(fds.filePath(fd)).startsWith(path))
            return true;
    }
    return false;
}

} // namespace

class TstDownload : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void tellsTimeLeftRoundedUp_data();
    void tellsTimeLeftRoundedUp();
    void sendsPayloadInBlocksOf400_data();
    void sendsPayloadInBlocksOf400();
    void sendsTheWholeFileOnThePortSetInTheDialog();
    void warnsWhenThePortIsClosed();
    void offersBitFilesWithAnEmptyNameEveryTime();
    void endsSilentlyWithoutAFile_data();
    void endsSilentlyWithoutAFile();
    void refusesAFileOf2GiBOrMore();
    void takesNoDirectoryForTheFile();
    void tellsWhenTheFileCannotBeRead_data();
    void tellsWhenTheFileCannotBeRead();
    void discardsWhatTheBoardSentDuringTheTransfer();
    void showsWhatLeftAndCancelDiscardsTheRest();
    void sigtermStopsTheTransferAsACancelAndClosesTheWindow();
    void deviceGoingAwayFailsTheDownloadAndTheNextOneWorks();
    void failedReopenShowsThePortClosed_data();
    void failedReopenShowsThePortClosed();
    void deliversEveryByteToAReaderSlowerThanTheProgram();
    void showsTheFileHeaderAboveTheCounts();
    void readsTheBitstreamHeader_data();
    void readsTheBitstreamHeader();
    void dropDownloadsOneFileAndRefusesTheRest_data();
    void dropDownloadsOneFileAndRefusesTheRest();
    void downloadAgainNamesTheFileAndWhatChanged();

private:
    QString makeFile(qint64 size, const QString &name = QStringLiteral("config.bit"));
    void openPort();
    void setDropCount(int count);
    void download(const QString &path);
    void boardAnswersDuringTheStartMessage();
    void verifyPort(bool open);
    Sizes blockSizes() const;
    QByteArray handedOver() const;

    WindowFixture m_fx;
    std::unique_ptr<QSignalSpy> m_taken;
    std::function<void()> m_onInit;
    std::function<void(QProgressDialog *)> m_onProgress;
    std::function<void(QFileDialog *)> m_onFileDialog;
    bool m_progressSeen = false;
    int m_fileDialogs = 0;
};

void TstDownload::init()
{
    QVERIFY(m_fx.setUp());
    m_taken = std::make_unique<QSignalSpy>(&m_fx.window->channel(), &SerialChannel::outputTaken);
    // The suite watches the channel's receive queue itself (what waits, what
    // the final reset discards); the receive monitor would take it first.
    disconnect(&m_fx.window->channel(), &SerialChannel::onComm, nullptr, nullptr);
    m_fx.answerer->onMessage = [this](QMessageBox *box) {
        if (box->text() == kInit && m_onInit)
            m_onInit();
    };
    m_onInit = nullptr;
    m_onProgress = nullptr;
    m_onFileDialog = nullptr;
    m_fileDialogs = 0;
}

void TstDownload::cleanup()
{
    m_taken.reset();
    m_fx.tearDown();
}

QString TstDownload::makeFile(qint64 size, const QString &name)
{
    const QString path = m_fx.dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(patternBytes(size)) != size)
        return {};
    return path;
}

// As the operator changes it: through the settings dialog.
void TstDownload::setDropCount(int count)
{
    m_fx.operateSettings([count](FrmCfg &dialog) {
        auto *field = dialog.findChild<QLineEdit *>(QStringLiteral("txtByte"));
        field->selectAll();
        QTest::keyClicks(field, QString::number(count));
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("cmdSet")), Qt::LeftButton);
    });
    QCOMPARE(int(m_fx.window->portSettings().nByte), count);
}

void TstDownload::openPort()
{
    QVERIFY(m_fx.openPort());
}

// Clicks cmdXactConfig and answers as an operator would: the file dialog
// with this path, OK on every box; returns when the click's work is done.
void TstDownload::download(const QString &path)
{
    m_progressSeen = false;
    m_fx.answerer->otherModal = [this, path](QWidget *modal) {
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            ++m_fileDialogs;
            if (m_onFileDialog)
                m_onFileDialog(dialog);
            return chooseFile(path)(modal);
        }
        auto *progress = qobject_cast<QProgressDialog *>(modal);
        if (progress && !m_progressSeen && m_onProgress)
            m_onProgress(progress);
        m_progressSeen = m_progressSeen || progress;
        return progress != nullptr;
    };
    QTest::mouseClick(m_fx.window->findChild<QPushButton *>(QStringLiteral("cmdXactConfig")), Qt::LeftButton);
}

// Four bytes wait in the receive queue when the transfer starts; only a
// final reset discards them.
void TstDownload::boardAnswersDuringTheStartMessage()
{
    m_onInit = [this] {
        QVERIFY(m_fx.pty->write(QByteArray("late")));
        QTRY_COMPARE(m_fx.window->channel().inBufferCount(), qint64(4));
    };
}

void TstDownload::verifyPort(bool open)
{
    QCOMPARE(m_fx.window->channel().portOpen(), open);
    QCOMPARE(m_fx.window->findChild<QPushButton *>(QStringLiteral("cmdComOpen"))->text(),
             open ? QStringLiteral("COM クローズ") : QStringLiteral("COM オープン"));
}

Sizes TstDownload::blockSizes() const
{
    Sizes sizes;
    for (const QList<QVariant> &call : *m_taken)
        sizes.append(call.first().toByteArray().size());
    return sizes;
}

QByteArray TstDownload::handedOver() const
{
    QByteArray bytes;
    for (const QList<QVariant> &call : *m_taken)
        bytes += call.first().toByteArray();
    return bytes;
}

void TstDownload::tellsTimeLeftRoundedUp_data()
{
    QTest::addColumn<qint64>("sent");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<QString>("timeLeft");

    QTest::newRow("done") << qint64(900) << qint64(900) << "0:00";
    QTest::newRow("one byte left is a second") << qint64(899) << qint64(900) << "0:01";
    QTest::newRow("largest file") << qint64(0) << qint64(0x7fffffff) << "3106:54";
}

void TstDownload::tellsTimeLeftRoundedUp()
{
    QFETCH(qint64, sent);
    QFETCH(qint64, total);
    QFETCH(QString, timeLeft);
    const QString text = progressText(sent, total, 11520);
    QVERIFY2(text.endsWith(QStringLiteral("残り時間 ") + timeLeft), qPrintable(text));
}

void TstDownload::sendsPayloadInBlocksOf400_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("nByte");
    QTest::addColumn<Sizes>("blocks");
    QTest::addColumn<bool>("finalReset");

    QTest::newRow("914 bytes") << 914 << 14 << Sizes{400, 400, 100} << true;
    QTest::newRow("814 bytes: no short block") << 814 << 14 << Sizes{400, 400} << true;
    QTest::newRow("413 bytes: one short block") << 413 << 14 << Sizes{399} << true;
    QTest::newRow("exactly nByte bytes") << 14 << 14 << Sizes{} << true;
    QTest::newRow("empty file") << 0 << 14 << Sizes{} << false;
    QTest::newRow("shorter than nByte") << 5 << 14 << Sizes{} << false;
    QTest::newRow("nByte 0 sends all") << 1000 << 0 << Sizes{400, 400, 200} << true;
    QTest::newRow("nByte 20, the most the dialog takes") << 700 << 20 << Sizes{400, 280} << true;
    QTest::newRow("every byte value untouched") << 270 << 14 << Sizes{256} << true;
}

void TstDownload::sendsPayloadInBlocksOf400()
{
    QFETCH(int, length);
    QFETCH(int, nByte);
    QFETCH(Sizes, blocks);
    QFETCH(bool, finalReset);

    if (nByte != 14)
        setDropCount(nByte);
    const QString path = makeFile(length);
    openPort();
    boardAnswersDuringTheStartMessage();
    download(path);

    const QByteArray payload = patternBytes(qMax(0, length - nByte));
    QCOMPARE(m_fx.answerer->texts(), QStringList{kInit});
    QCOMPARE(m_fx.answerer->messages.first().title, QStringLiteral("ダウンロード開始"));
    QCOMPARE(m_fx.answerer->messages.first().icon, QMessageBox::NoIcon);
    QCOMPARE(blockSizes(), blocks);
    QCOMPARE(handedOver(), payload);
    m_fx.reader->settle();
    QCOMPARE(m_fx.reader->received(), payload);
    verifyPort(true);
    QCOMPARE(m_fx.window->channel().inBufferCount(), qint64(finalReset ? 0 : 4));
    QVERIFY(!isHeldOpen(path));
}

void TstDownload::sendsTheWholeFileOnThePortSetInTheDialog()
{
    PtyPair port5(m_fx.dir->path(), 5);
    PtyReader board5(port5.masterFd());
    m_fx.operateSettings([](FrmCfg &dialog) {
        for (const auto &[name, text] : {std::pair{"txtPort", "5"}, std::pair{"txtByte", "0"}}) {
            auto *field = dialog.findChild<QLineEdit *>(QLatin1String(name));
            field->selectAll();
            QTest::keyClicks(field, QLatin1String(text));
        }
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("cmdSet")), Qt::LeftButton);
    });
    openPort();
    download(makeFile(914));

    QCOMPARE(blockSizes(), (Sizes{400, 400, 114}));
    QVERIFY(board5.waitFor(914));
    QCOMPARE(board5.received(), patternBytes(914));
    QCOMPARE(m_fx.reader->size(), 0);
}

void TstDownload::warnsWhenThePortIsClosed()
{
    download(makeFile(914));
    QCOMPARE(m_fx.answerer->texts(), QStringList{QStringLiteral("ポートをオープンして下さい")});
    QCOMPARE(m_fx.answerer->messages.first().title, QStringLiteral("警告"));
    QCOMPARE(m_fx.answerer->messages.first().icon, QMessageBox::NoIcon);
    QCOMPARE(m_fileDialogs, 0);
    QVERIFY(m_taken->isEmpty());
    verifyPort(false);
}

void TstDownload::offersBitFilesWithAnEmptyNameEveryTime()
{
    openPort();
    QStringList filters, shownFilters, names;
    m_onFileDialog = [&](QFileDialog *dialog) {
        filters += dialog->nameFilters();
        shownFilters += dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"))->currentText();
        names += dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text();
    };
    const QString path = makeFile(914);
    download(path);
    download(path);

    const QString filter = QStringLiteral("バイナリ(*.bit) (*.bit)");
    QCOMPARE(filters, (QStringList{filter, filter}));
    QCOMPARE(shownFilters, (QStringList{QStringLiteral("バイナリ(*.bit)"), QStringLiteral("バイナリ(*.bit)")}));
    QCOMPARE(names, (QStringList{QString(), QString()}));
    QCOMPARE(m_taken->size(), 6);
}

void TstDownload::endsSilentlyWithoutAFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("cancelled dialog") << QString();
    // Its length says nothing, and opening it would wait for a writer.
    QTest::newRow("not a regular file") << QStringLiteral("fifo.bit");
}

void TstDownload::endsSilentlyWithoutAFile()
{
    QFETCH(QString, name);
    const QString path = name.isEmpty() ? QString() : m_fx.dir->filePath(name);
    if (!path.isEmpty())
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    openPort();
    QVERIFY(m_fx.pty->write(QByteArray("stale")));
    QTRY_COMPARE(m_fx.window->channel().inBufferCount(), qint64(5));

    download(path);
    QCOMPARE(m_fileDialogs, 1);
    QVERIFY(m_fx.answerer->messages.isEmpty());
    QVERIFY(m_taken->isEmpty());
    // Closed and reopened before the dialog: what waited is gone.
    verifyPort(true);
    QCOMPARE(m_fx.window->channel().inBufferCount(), qint64(0));
}

void TstDownload::refusesAFileOf2GiBOrMore()
{
    const QString path = m_fx.dir->filePath(QStringLiteral("huge.bit"));
    QFile huge(path);
    QVERIFY(huge.open(QIODevice::WriteOnly));
    QVERIFY(huge.resize(qint64(1) << 31)); // sparse: costs no disk
    huge.close();
    openPort();
    download(path);
    QCOMPARE(m_fx.answerer->messages.size(), 1);
    QVERIFY(m_fx.answerer->messages.first().text.startsWith(kFailed + path + QStringLiteral(": ")));
    QCOMPARE(m_fx.answerer->messages.first().title, QStringLiteral("警告"));
    QVERIFY(m_taken->isEmpty());
    verifyPort(true);
}

void TstDownload::takesNoDirectoryForTheFile()
{
    openPort();
    int answers = 0;
    m_fx.answerer->otherModal = [&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog)
            return false;
        // A directory given as the file only opens it; then the operator gives up.
        if (answers++ == 0)
            return chooseFile(m_fx.dir->path())(dialog);
        dialog->reject();
        return true;
    };
    m_fx.click("cmdXactConfig");

    QCOMPARE(answers, 2);
    QVERIFY(m_fx.answerer->messages.isEmpty());
    QVERIFY(m_taken->isEmpty());
    verifyPort(true);
}

void TstDownload::tellsWhenTheFileCannotBeRead_data()
{
    QTest::addColumn<bool>("removed");
    QTest::addColumn<Sizes>("blocks");

    QTest::newRow("file removed after it was chosen") << true << Sizes{};
    QTest::newRow("file shortened after it was chosen") << false << Sizes{400};
}

void TstDownload::tellsWhenTheFileCannotBeRead()
{
    QFETCH(bool, removed);
    QFETCH(Sizes, blocks);
    const QString path = makeFile(914);
    openPort();
    boardAnswersDuringTheStartMessage();
    const std::function<void()> answer = m_onInit;
    m_onInit = [&] {
        QVERIFY(removed ? QFile::remove(path) : QFile::resize(path, 500));
        answer();
    };
    download(path);

    QCOMPARE(m_fx.answerer->messages.size(), 2);
    const ModalAnswerer::Seen failure = m_fx.answerer->messages.last();
    QVERIFY2(failure.text.startsWith(kFailed + path + QStringLiteral(": ")), qPrintable(failure.text));
    QCOMPARE(failure.title, QStringLiteral("警告"));
    QCOMPARE(blockSizes(), blocks);
    m_fx.reader->settle();
    QCOMPARE(m_fx.reader->received(), patternBytes(blocks.isEmpty() ? 0 : 400));
    QVERIFY(!isHeldOpen(path));
    // No final reset after a failure: the board's answer still waits.
    verifyPort(true);
    QCOMPARE(m_fx.window->channel().inBufferCount(), qint64(4));
}

void TstDownload::discardsWhatTheBoardSentDuringTheTransfer()
{
    const QString path = makeFile(200 * 1024);
    openPort();
    SerialChannel &channel = m_fx.window->channel();
    QSignalSpy events(&channel, &SerialChannel::onComm);
    m_fx.reader.reset(); // nobody reads: the line fills up and the transfer waits
    qsizetype eventsDuringTransfer = -1;
    m_onProgress = [&](QProgressDialog *) {
        QVERIFY(m_fx.pty->write(QByteArray("noise")));
        QTimer::singleShot(300ms, this, [&] {
            eventsDuringTransfer = events.size();
            m_fx.reader = std::make_unique<PtyReader>(m_fx.pty->masterFd());
        });
    };
    download(path);

    QCOMPARE(eventsDuringTransfer, 0);
    QTest::qWait(100);
    QVERIFY(events.isEmpty());
    QCOMPARE(channel.inBufferCount(), qint64(0));
    QVERIFY(m_fx.reader->waitFor(200 * 1024 - 14));
    m_fx.reader->settle();
    QCOMPARE(m_fx.reader->received(), patternBytes(200 * 1024 - 14));

    QVERIFY(m_fx.pty->write(QByteArray("after")));
    QTRY_VERIFY(!events.isEmpty());
    channel.setInputMode(SerialChannel::InputMode::Binary);
    QCOMPARE(std::get<QByteArray>(channel.input()), QByteArray("after"));
}

void TstDownload::showsWhatLeftAndCancelDiscardsTheRest()
{
    const qint64 payload = 1024 * 1024 - 14;
    const QString path = makeFile(1024 * 1024);
    openPort();
    SerialChannel &channel = m_fx.window->channel();
    m_fx.reader.reset(); // the line fills up and holds still
    std::unique_ptr<PtyReader> slow;
    QProgressDialog *seen = nullptr;
    int shown = -1;
    qint64 handed = 0, queued = 0;
    qsizetype callsAtCancel = -1;
    m_onProgress = [&](QProgressDialog *progress) {
        seen = progress;
        QTimer::singleShot(400ms, this, [&] {
            shown = seen->value();
            handed = handedOver().size();
            queued = channel.outBufferCount();
            callsAtCancel = m_taken->size();
            QCOMPARE(seen->windowTitle(), QStringLiteral("ダウンロード"));
            QCOMPARE(seen->windowModality(), Qt::ApplicationModal);
            QVERIFY(seen->labelText().contains(QLocale().toString(payload)));
            QPushButton *cancel = seen->findChild<QPushButton *>();
            QCOMPARE(cancel->text(), QStringLiteral("キャンセル"));
            // Fast enough that a close would drain the queue in time.
            slow = std::make_unique<PtyReader>(m_fx.pty->masterFd(), 32 * 1024, true);
            QTest::mouseClick(cancel, Qt::LeftButton);
        });
    };
    download(path);

    // The display counts what left the program, not what was handed to output.
    QVERIFY2(queued > 0 && queued <= BlockStreamer::kQueueBound, qPrintable(QString::number(queued)));
    QCOMPARE(qint64(shown), handed - queued);
    // After the cancel nothing more is handed over, and the queue never goes out.
    QCOMPARE(m_taken->size(), callsAtCancel);
    QCOMPARE(m_fx.answerer->texts(), QStringList{kInit});
    QVERIFY(!isHeldOpen(path));
    verifyPort(true);
    QCOMPARE(channel.outBufferCount(), qint64(0));
    QTest::qWait(1000);
    const QByteArray received = slow->received();
    QVERIFY(received.size() < handedOver().size());
    QCOMPARE(received, handedOver().left(received.size()));
}

// As the program's main() wires it, with the progress window open.
void TstDownload::sigtermStopsTheTransferAsACancelAndClosesTheWindow()
{
    const QString path = makeFile(1024 * 1024);
    openPort();
    m_fx.reader.reset(); // the line fills up and holds still
    InterruptWatch watch;
    connect(&watch, &InterruptWatch::interrupted, m_fx.window.get(), &FrmMain::closeBySignal);
    m_onProgress = [this](QProgressDialog *) {
        QTimer::singleShot(300ms, this, [] { ::raise(SIGTERM); });
        // The line drains only once the signal has been taken, so the rest cannot slip out first.
        QTimer::singleShot(500ms, m_fx.window.get(), [this] { m_fx.reader = std::make_unique<PtyReader>(m_fx.pty->masterFd()); });
    };
    download(path);
    QTRY_VERIFY(!m_fx.window->isVisible());
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(!m_fx.window->channel().portOpen());
    QVERIFY(!isHeldOpen(path));
    QCOMPARE(m_fx.answerer->texts(), QStringList{kInit});
    QVERIFY(handedOver().size() < 1024 * 1024 - 14);
}

void TstDownload::deviceGoingAwayFailsTheDownloadAndTheNextOneWorks()
{
    const QString path = makeFile(1024 * 1024);
    openPort();
    m_fx.reader.reset();
    m_onProgress = [this](QProgressDialog *) {
        QTimer::singleShot(100ms, this, [this] { m_fx.pty->closeMaster(); });
    };
    download(path);

    // One box says it all; the port's own notice would only repeat it.
    QCOMPARE(m_fx.answerer->texts(), (QStringList{kInit, kFailed + QStringLiteral("ポートが切断されました")}));
    QCOMPARE(m_fx.answerer->messages.last().title, QStringLiteral("警告"));
    verifyPort(false);
    QVERIFY(!isHeldOpen(path));

    m_fx.plugInBoard();
    openPort();
    m_taken->clear();
    m_onProgress = nullptr;
    download(makeFile(914, QStringLiteral("next.bit")));
    QCOMPARE(blockSizes(), (Sizes{400, 400, 100}));
    QVERIFY(m_fx.reader->waitFor(900));
    m_fx.reader->settle();
    QCOMPARE(m_fx.reader->received(), patternBytes(900));
    QCOMPARE(m_fx.answerer->messages.size(), 3);
}

void TstDownload::failedReopenShowsThePortClosed_data()
{
    QTest::addColumn<bool>("atTheEnd");
    QTest::addColumn<qsizetype>("delivered");

    QTest::newRow("before the file dialog") << false << qsizetype(0);
    QTest::newRow("after the transfer") << true << qsizetype(900);
}

void TstDownload::failedReopenShowsThePortClosed()
{
    QFETCH(bool, atTheEnd);
    QFETCH(qsizetype, delivered);
    const QString link = m_fx.dir->filePath(QStringLiteral("com3"));
    const QString unplugged = m_fx.dir->filePath(QStringLiteral("unplugged"));
    const auto unplug = [&] { QVERIFY(QFile::remove(link) && QFile::link(unplugged, link)); };
    openPort();
    if (atTheEnd)
        m_onInit = unplug;
    else
        unplug();
    download(makeFile(914));

    const ModalAnswerer::Seen failure = m_fx.answerer->messages.last();
    QVERIFY2(failure.text.startsWith(QStringLiteral("ポートをオープンできません\n") + unplugged),
             qPrintable(failure.text));
    QCOMPARE(m_fx.answerer->messages.size(), atTheEnd ? 2 : 1);
    QCOMPARE(m_fileDialogs, atTheEnd ? 1 : 0);
    verifyPort(false);
    m_fx.reader->settle();
    QCOMPARE(m_fx.reader->size(), delivered);
}

void TstDownload::deliversEveryByteToAReaderSlowerThanTheProgram()
{
    const qint64 payload = 96 * 1024;
    const QString path = makeFile(payload + 14);
    openPort();
    m_fx.reader.reset();
    PtyReader slow(m_fx.pty->masterFd(), 96 * 1024, true);
    download(path);

    QCOMPARE(m_fx.answerer->texts(), QStringList{kInit});
    QVERIFY2(slow.count() < payload, "bytes should still have been on their way at the final reset");
    QVERIFY(slow.waitFor(payload));
    QTest::qWait(200);
    QCOMPARE(slow.count(), payload);
    QCOMPARE(slow.received(), patternBytes(payload));
}

// A .bit file's header is one line above the counts, and the file still goes out whole.
void TstDownload::showsTheFileHeaderAboveTheCounts()
{
    QByteArray header = QByteArray::fromHex("00090ff00ff00ff00ff0000001");
    for (const auto &[tag, text] : {std::pair{'a', "blinky;UserID=0X1"}, std::pair{'b', "7a35t"},
                                    std::pair{'c', "2024/01/02"}, std::pair{'d', "03:04:05"}}) {
        header += tag + QByteArray(1, '\0') + char(qstrlen(text) + 1) + QByteArray(text) + '\0';
    }
    const QByteArray data = QByteArray(4, '\xFF') + QByteArray::fromHex("AA995566") + patternBytes(200 * 1024);
    const QByteArray file = header + 'e' + QByteArray::fromHex("0003") + QByteArray::fromHex("2008") + data;
    const QString path = m_fx.dir->filePath(QStringLiteral("blinky.bit"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
    out.close();
    QString shown;
    m_fx.reader.reset(); // the line fills up and holds the dialog open
    m_onProgress = [&](QProgressDialog *progress) {
        shown = progress->labelText();
        m_fx.reader = std::make_unique<PtyReader>(m_fx.pty->masterFd());
    };
    openPort();
    download(path);

    QVERIFY2(shown.startsWith(QStringLiteral("blinky / 7a35t / 2024/01/02 03:04:05\n送信済み ")), qPrintable(shown));
    QCOMPARE(handedOver(), file.first(file.size() - 14));
}

void TstDownload::readsTheBitstreamHeader_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("part"); // empty: no header

    const QByteArray file = bitfile::make("7a35tcpg236");
    QTest::newRow("with preamble") << file << "7a35tcpg236";
    QTest::newRow("without preamble") << file.sliced(13) << "7a35tcpg236";
    QTest::newRow("unknown tag skipped") << bitfile::make("7a35t", bitfile::field('z', "later tools")) << "7a35t";
    QTest::newRow("data length past the end") << bitfile::make("7a35t", {}, 1) << QString();
    QTest::newRow("field length past the end") << file.first(40) << QString();
    QTest::newRow("truncated before the data") << file.first(file.indexOf('e', 60) + 3) << QString();
    QTest::newRow("no sync word") << QByteArray(file).replace("\xAA\x99", "\x12\x34") << QString();
    QTest::newRow("raw data only") << patternBytes(1000) << QString();
    QTest::newRow("empty") << QByteArray() << QString();
}

void TstDownload::readsTheBitstreamHeader()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, part);
    const std::optional<BitHeader> header = readBitHeader(bytes, bytes.size());
    QCOMPARE(header.has_value(), !part.isEmpty());
    if (!header)
        return;
    QCOMPARE(header->part, part);
    QCOMPARE(headerLine(header), QStringLiteral("blinky / %1 / 2024/01/02 03:04:05").arg(part));
    QCOMPARE(header->userId, QStringLiteral("0XFFFFFFFF"));
    QCOMPARE(header->version, QStringLiteral("2023.1"));
    QCOMPARE(header->dataOffset + header->dataLength, qint64(bytes.size()));
}

void TstDownload::dropDownloadsOneFileAndRefusesTheRest_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("dropped"); // names in the test's folder, addresses, or "text:..."
    QTest::addColumn<QString>("told");        // the one box's text, the folder written as %1
    QTest::addColumn<qsizetype>("sent");

    const QString sending = kInit + QStringLiteral("\n\nファイル: dropped.bit");
    const QString refused = QStringLiteral("ダウンロードできません\n");
    QTest::newRow("a file on the window") << "frmMain" << QStringList{"dropped.bit"} << sending << qsizetype(900);
    QTest::newRow("a file on the text field") << "txtAscSnd" << QStringList{"dropped.bit"} << sending << qsizetype(900);
    QTest::newRow("a file on a byte field") << "txtBinSnd3" << QStringList{"dropped.bit"} << sending << qsizetype(900);
    QTest::newRow("two files") << "frmMain" << QStringList{"dropped.bit", "a.bit"}
                               << refused + "%1/dropped.bit\n%1/a.bit\nファイルは一つずつドロップしてください" << qsizetype(0);
    QTest::newRow("a folder") << "frmMain" << QStringList{"folder"}
                              << refused + "%1/folder\nフォルダーはダウンロードできません" << qsizetype(0);
    QTest::newRow("a web address") << "txtAscSnd" << QStringList{"https://example.com/a.bit"}
                                   << refused + "https://example.com/a.bit\nこのコンピューターのファイルではありません"
                                   << qsizetype(0);
    QTest::newRow("text on the text field") << "txtAscSnd" << QStringList{"text:dropped"} << QString() << qsizetype(0);
}

void TstDownload::dropDownloadsOneFileAndRefusesTheRest()
{
    QFETCH(QString, target);
    QFETCH(QStringList, dropped);
    QFETCH(QString, told);
    QFETCH(qsizetype, sent);
    makeFile(914, QStringLiteral("dropped.bit"));
    QVERIFY(QDir(m_fx.dir->path()).mkdir(QStringLiteral("folder")));
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString &name : dropped)
        urls.append(name.contains(u':') ? QUrl(name) : QUrl::fromLocalFile(m_fx.dir->filePath(name)));
    if (dropped.first().startsWith(QLatin1String("text:")))
        mime.setText(dropped.first().mid(5));
    else
        mime.setUrls(urls);
    openPort();
    QWidget *widget = target == QLatin1String("frmMain") ? m_fx.window.get() : m_fx.control(qPrintable(target));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(widget, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(widget, &drop);

    QTest::qWait(100);
    QVERIFY(m_fx.reader->waitFor(sent));
    m_fx.reader->settle();
    QCOMPARE(m_fx.reader->size(), sent);
    QCOMPARE(m_fx.answerer->texts(), told.isEmpty() ? QStringList() : QStringList{told.arg(m_fx.dir->path())});
    QCOMPARE(m_fx.control<QLineEdit>("txtAscSnd")->text(), told.isEmpty() ? QStringLiteral("dropped") : QString());
    QCOMPARE(m_fileDialogs, 0);
}

void TstDownload::downloadAgainNamesTheFileAndWhatChanged()
{
    const QString path = makeFile(914, QStringLiteral("again.bit"));
    auto *button = m_fx.control<QPushButton>("cmdXactConfig");
    openPort();
    QVERIFY(!m_fx.chooseFromContextMenu(button, QStringLiteral("もう一度ダウンロード")));
    download(path);
    // The button's own prompt stays bare.
    QCOMPARE(m_fx.answerer->texts(), QStringList{kInit});

    QVERIFY(!makeFile(1014, QStringLiteral("again.bit")).isEmpty());
    QFile rebuilt(path);
    QVERIFY(rebuilt.open(QIODevice::ReadWrite)
            && rebuilt.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
    rebuilt.close();
    m_taken->clear();
    QVERIFY(m_fx.chooseFromContextMenu(button, QStringLiteral("もう一度ダウンロード: again.bit")));
    QCOMPARE(m_fx.answerer->texts().value(1),
             kInit + QStringLiteral("\n\nファイル: again.bit\n前回のダウンロードから変更: サイズ, 更新日時, CRC-32"));
    QCOMPARE(blockSizes(), (Sizes{400, 400, 200}));
    QCOMPARE(m_fileDialogs, 1);
}

QTEST_MAIN(TstDownload)
#include "tst_download.moc"
