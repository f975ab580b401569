// SPDX-License-Identifier: MIT
#include "app/configdownload.h"

#include "common/portsettings.h"
#include "download/blockplan.h"
#include "download/bitheader.h"
#include "download/downloadengine.h"
#include "app/transferprogress.h"
#include "serial/linesettings.h"
#include "serial/serialchannel.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>

namespace {

// Description "バイナリ(*.bit)", pattern *.bit; the details are hidden so the
// list shows the description alone.
const QString kFilter = QStringLiteral("バイナリ(*.bit) (*.bit)");
const QString kAgain = QStringLiteral("もう一度ダウンロード");

QString fileFailure(const QString &path, const QString &reason)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
}

void setJapaneseLabels(QFileDialog &dialog)
{
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("ファイルの場所:"));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("ファイル名:"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("ファイルの種類:"));
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("開く"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("キャンセル"));
}

} // namespace

ConfigDownload::ConfigDownload(SerialChannel &channel, const PortSettings &settings, QWidget *window, QObject *parent)
    : QObject(parent)
    , MSCom(channel)
    , m_settings(settings)
    , m_window(window)
    , m_engine(new DownloadEngine(channel, this))
{
}

bool ConfigDownload::isTransferring() const
{
    return m_engine->isTransferring();
}

void ConfigDownload::stop()
{
    m_stopped = true;
    m_engine->cancel();
}

void ConfigDownload::run()
{
    start({});
}

void ConfigDownload::runFile(const QString &path)
{
    start(path);
}

void ConfigDownload::runAgain()
{
    if (!m_lastPath.isEmpty())
        start(m_lastPath);
}

// given is empty for the button, whose dialog chooses the file.
void ConfigDownload::start(const QString &given)
{
    if (m_running)
        return;
    m_running = true;
    emit runningChanged(true);
    const auto end = qScopeGuard([this] {
        m_running = false;
        emit runningChanged(false);
    });
    if (!reopenOpenPort())
        return;
    const QString path = given.isEmpty() ? choosePath() : given;
    // A port that went away while the dialog was open has been reported already.
    if (path.isEmpty() || !MSCom.portOpen() || m_stopped)
        return;
    // Anything but a regular file has no length to go by (and a FIFO would
    // block the open). A file named without the dialog may have gone since.
    if (!QFileInfo(path).isFile()) {
        if (!given.isEmpty())
            showMessage(m_window, messages::downloadFailed(fileFailure(path, QStringLiteral("ファイルがありません"))));
        return;
    }
    const std::optional<BlockPlan> plan = m_engine->plan(path, m_settings.nByte);
    if (!plan) {
        showMessage(m_window, failureMessage(path));
        return;
    }
    const std::optional<FileFingerprint> print = fingerprintOfFile(path);
    showMessage(m_window, prompt(path, !given.isEmpty(), print));
    m_lastPath = QFileInfo(path).absoluteFilePath();
    m_lastPrint = print;
    if (m_stopped)
        return;
    if (const std::optional<Message> failure = transfer(path, *plan))
        showMessage(m_window, *failure);
}

void ConfigDownload::showMenu(const QPoint &globalPosition)
{
    QMenu menu(m_window);
    menu.setObjectName(QStringLiteral("mnuDownload"));
    QAction *again = menu.addAction(m_lastPath.isEmpty() ? kAgain
                                                         : kAgain + QStringLiteral(": ") + QFileInfo(m_lastPath).fileName());
    again->setObjectName(QStringLiteral("actDownloadAgain"));
    again->setEnabled(!m_lastPath.isEmpty());
    // Run after the menu has gone, not from inside its own event loop.
    if (menu.exec(globalPosition) == again)
        runAgain();
}

bool ConfigDownload::reopenOpenPort()
{
    if (!MSCom.portOpen()) {
        showMessage(m_window, messages::portNotOpen());
        return false;
    }
    if (!m_engine->reopenPort()) {
        showMessage(m_window, failureMessage({}));
        return false;
    }
    return true;
}

// The button's prompt is the bare one; a drop and "download again" name the file.
Message ConfigDownload::prompt(const QString &path, bool withNotes, const std::optional<FileFingerprint> &print) const
{
    Message message = messages::pressInit();
    if (!withNotes)
        return message;
    const bool again = QFileInfo(path).absoluteFilePath() == m_lastPath;
    const QStringList notes = downloadNotes(path, readBitHeaderOfFile(path), print,
                                            again ? m_lastPrint : std::nullopt);
    message.prompt += QStringLiteral("\n\n") + notes.join(QLatin1Char('\n'));
    return message;
}

QString ConfigDownload::choosePath()
{
    QFileDialog dialog(m_window, QStringLiteral("ファイルを開く"), m_lastFolder);
    dialog.setObjectName(QStringLiteral("CommonDialog1"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(kFilter);
    setJapaneseLabels(dialog);
    // Never propose the previous file; its folder is kept.
    dialog.selectFile(QString());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString path = dialog.selectedFiles().constFirst();
    m_lastFolder = QFileInfo(path).absolutePath();
    return path;
}

std::optional<Message> ConfigDownload::transfer(const QString &path, const BlockPlan &plan)
{
    emit transferStarted();
    const auto finish = qScopeGuard([this] { emit transferFinished(); });
    TransferProgress progress(plan.payload, lineBytesPerSecond(), m_window);
    progress.setHeaderLine(headerLine(readBitHeaderOfFile(path)));
    progress.show();
    connect(&progress, &QProgressDialog::canceled, m_engine, &DownloadEngine::cancel);
    connect(m_engine, &DownloadEngine::progressed, &progress, &TransferProgress::showSent);
    if (m_engine->transfer(path, plan) == DownloadEngine::Outcome::Failed)
        return failureMessage(path);
    return std::nullopt;
}

Message ConfigDownload::failureMessage(const QString &path) const
{
    switch (m_engine->failure()) {
    case DownloadEngine::Failure::Reopen:
        return messages::cannotOpenPort(MSCom.devicePath(), m_engine->failureDetail());
    case DownloadEngine::Failure::PortGone:
        return messages::downloadFailed(messages::portDisconnected().prompt);
    case DownloadEngine::Failure::FileTooLarge:
        return messages::downloadFailed(fileFailure(path, QStringLiteral("2 GiB 以上のファイルは送信できません")));
    case DownloadEngine::Failure::FileRead:
        if (m_engine->failureDetail().isEmpty())
            return messages::downloadFailed(fileFailure(path, QStringLiteral("ファイルが途中で終わっています")));
        break;
    default:
        break;
    }
    return messages::downloadFailed(fileFailure(path, m_engine->failureDetail()));
}

qint64 ConfigDownload::lineBytesPerSecond() const
{
    const std::optional<LineSettings> line = parseLineSettings(MSCom.settings());
    if (!line)
        return 11520;
    const int bitsPerCharacter = 1 + line->dataBits + (line->parity == 'n' ? 0 : 1) + line->stopBits;
    return line->baudRate / bitsPerCharacter;
}
