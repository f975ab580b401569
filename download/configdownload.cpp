#include "download/configdownload.h"

#include "common/portsettings.h"
#include "download/blockplan.h"
#include "download/blockstreamer.h"
#include "download/transferprogress.h"
#include "serial/linesettings.h"
#include "serial/serialchannel.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>
#include <QScopeGuard>

#include <limits>

namespace {

const QString kCaptionOpen = QStringLiteral("COM オープン");
// Description "バイナリ(*.bit)", pattern *.bit; the details are hidden so the
// list shows the description alone.
const QString kFilter = QStringLiteral("バイナリ(*.bit) (*.bit)");

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

ConfigDownload::ConfigDownload(SerialChannel &channel, const PortSettings &settings, QPushButton *comOpen,
                               QWidget *window, QObject *parent)
    : QObject(parent)
    , MSCom(channel)
    , m_settings(settings)
    , cmdComOpen(comOpen)
    , m_window(window)
{
}

void ConfigDownload::run()
{
    if (!MSCom.portOpen()) {
        showMessage(m_window, messages::portNotOpen());
        return;
    }
    if (const std::optional<Message> failure = reopenPort()) {
        showMessage(m_window, *failure);
        return;
    }
    const QString path = choosePath();
    // A port that went away while the dialog was open has been reported already.
    if (path.isEmpty() || !MSCom.portOpen())
        return;
    // Anything but a regular file has no length to go by (and a FIFO would
    // block the open).
    const QFileInfo file(path);
    if (!file.isFile())
        return;
    // The counts are 32-bit; a longer file would wrap around instead of failing.
    if (file.size() > std::numeric_limits<qint32>::max()) {
        showMessage(m_window, messages::downloadFailed(
                                  fileFailure(path, QStringLiteral("2 GiB 以上のファイルは送信できません"))));
        return;
    }
    const BlockPlan plan = planBlocks(qint32(file.size()), m_settings.nByte);
    showMessage(m_window, messages::pressInit());
    if (const std::optional<Message> failure = transfer(path, plan))
        showMessage(m_window, *failure);
}

std::optional<Message> ConfigDownload::reopenPort()
{
    MSCom.setPortOpen(false);
    if (MSCom.setPortOpen(true))
        return std::nullopt;
    cmdComOpen->setText(kCaptionOpen);
    return messages::cannotOpenPort(MSCom.devicePath(), MSCom.errorString());
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
    // Received data waits until the final reset discards it.
    m_transferring = true;
    MSCom.holdEvents(true);
    emit transferStarted();
    const auto release = qScopeGuard([this] {
        MSCom.holdEvents(false);
        m_transferring = false;
        emit transferFinished();
    });
    TransferProgress progress(plan.payload, lineBytesPerSecond(), m_window);
    progress.show();

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return messages::downloadFailed(fileFailure(path, file.errorString()));
    BlockStreamer streamer(MSCom, file, plan);
    connect(&progress, &QProgressDialog::canceled, &streamer, &BlockStreamer::cancel);
    connect(&streamer, &BlockStreamer::progressed, &progress, &TransferProgress::showSent);
    const BlockStreamer::Outcome outcome = streamer.run();
    file.close();

    if (outcome == BlockStreamer::Outcome::Failed) {
        if (!MSCom.portOpen())
            cmdComOpen->setText(kCaptionOpen);
        return messages::downloadFailed(streamer.failure());
    }
    if (plan.remainder < 0)
        return std::nullopt;
    // Closing lets queued bytes go out; a cancelled transfer must not.
    if (outcome == BlockStreamer::Outcome::Cancelled)
        MSCom.setOutBufferCount(0);
    return finalReset();
}

std::optional<Message> ConfigDownload::finalReset()
{
    if (std::optional<Message> failure = reopenPort())
        return failure;
    MSCom.setOutBufferCount(0);
    MSCom.setInBufferCount(0);
    return std::nullopt;
}

qint64 ConfigDownload::lineBytesPerSecond() const
{
    const std::optional<LineSettings> line = parseLineSettings(MSCom.settings());
    if (!line)
        return 11520;
    const int bitsPerCharacter = 1 + line->dataBits + (line->parity == 'n' ? 0 : 1) + line->stopBits;
    return line->baudRate / bitsPerCharacter;
}
