// SPDX-License-Identifier: MIT
#include "common/messagebox.h"

#include "capture/recordlines.h"
#include "common/porttexts.h"

#include <QMessageBox>
#include <QPushButton>

bool showMessage(QWidget *parent, const Message &message)
{
    QMessageBox box(message.icon == Message::Icon::Exclamation ? QMessageBox::Warning
                                                               : QMessageBox::NoIcon,
                    message.title, message.prompt, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("messageBox"));
    QPushButton *action = nullptr;
    if (!message.action.isEmpty()) {
        action = box.addButton(message.action, QMessageBox::ActionRole);
        action->setObjectName(QStringLiteral("cmdAction"));
    }
    box.exec();
    return action && box.clickedButton() == action;
}

namespace messages {
namespace {

const QString kWarning = QStringLiteral("警告");
const QString kCommError = QStringLiteral("通信エラー");
// More would push OK off a small screen; the dialog lists them all.
constexpr qsizetype kMaxDeviceLines = 4;

} // namespace

Message portNotOpen()
{
    return {QStringLiteral("ポートをオープンして下さい"), kWarning};
}

Message cannotOpenPort(const QString &device, const QString &reason)
{
    QString prompt = QStringLiteral("ポートをオープンできません\n%1\n%2").arg(device, reason);
    if (reason.contains(QLatin1String("Permission denied"), Qt::CaseInsensitive)) {
        prompt += QStringLiteral("\nユーザーを dialout グループに追加してください"
                                 " (sudo usermod -aG dialout $USER の後、再ログイン)。");
    }
    return {prompt, kWarning};
}

Message cannotOpenPort(const QString &device, const QString &reason, const QStringList &deviceLines,
                       bool offerAssignment)
{
    Message message = cannotOpenPort(device, reason);
    if (!deviceLines.isEmpty())
        message.prompt += QStringLiteral("\n\n接続されているデバイス:\n")
                          + deviceLines.mid(0, kMaxDeviceLines).join(QLatin1Char('\n'));
    if (offerAssignment)
        message.action = porttexts::menuItem();
    return message;
}

Message cannotAssignPort(int port, const QString &target, const QString &reason)
{
    return {QStringLiteral("ポートを割り当てできません\nCOM%1 → %2\n%3").arg(port).arg(target, reason),
            kWarning};
}

Message cannotReleasePort(int port, const QString &reason)
{
    return {QStringLiteral("ポートの割り当てを解除できません\nCOM%1\n%2").arg(port).arg(reason),
            kWarning};
}

Message portDisconnected()
{
    return {QStringLiteral("ポートが切断されました"), kCommError, Message::Icon::Exclamation};
}

Message lineEvent(int commEvent)
{
    return {recordlines::lineError(commEvent), kCommError, Message::Icon::Exclamation};
}

Message pressInit()
{
    return {QStringLiteral("INITボタンを押してください"), QStringLiteral("ダウンロード開始")};
}

Message downloadFailed(const QString &reason)
{
    return {QStringLiteral("ダウンロードに失敗しました\n%1").arg(reason), kWarning};
}

Message portOutOfRange()
{
    return {QStringLiteral("ポート番号 範囲外"), kWarning};
}

Message countOutOfRange()
{
    return {QStringLiteral("バイト数 範囲外"), kWarning};
}

Message cannotRecord(const QString &path, const QString &reason)
{
    return {QStringLiteral("記録を開始できません\n%1\n%2").arg(path, reason), kWarning, Message::Icon::Exclamation};
}

Message recordingStopped(const QString &path, const QString &reason)
{
    return {QStringLiteral("記録を停止しました\n%1\n%2").arg(path, reason), kWarning, Message::Icon::Exclamation};
}

Message cannotSave(const QString &path, const QString &reason)
{
    return {QStringLiteral("保存できません\n%1\n%2").arg(path, reason), kWarning, Message::Icon::Exclamation};
}

Message selectionTooLargeToCopy()
{
    return {QStringLiteral("選択範囲が大きすぎるため、クリップボードにコピーできません。ファイルに保存しますか？"), kWarning,
            Message::Icon::Exclamation, QStringLiteral("名前を付けて保存...")};
}

Message cannotSpillReceivedData(const QString &reason)
{
    return {QStringLiteral("受信データを一時ファイルに保存できません\n%1").arg(reason), kWarning};
}

Message macroRefused(const QString &reason)
{
    return {reason, QStringLiteral("送信マクロ"), Message::Icon::Exclamation};
}

Message cannotDrop(const QString &name, const QString &reason)
{
    return {QStringLiteral("ダウンロードできません\n%1\n%2").arg(name, reason), kWarning};
}

Message cannotReadBackReceivedData(const QString &reason)
{
    return {QStringLiteral("受信データの一部を一時ファイルから読み戻せません。その部分は表示・コピー・検索・保存できません\n%1")
                .arg(reason),
            kWarning, Message::Icon::Exclamation};
}

QString receivedDataUnreadable(const QString &reason)
{
    return QStringLiteral("受信データの一部を読み戻せません: %1").arg(reason);
}

} // namespace messages
