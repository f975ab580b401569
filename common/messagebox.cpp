#include "common/messagebox.h"

#include <QMessageBox>

void showMessage(QWidget *parent, const Message &message)
{
    QMessageBox box(message.icon == Message::Icon::Exclamation ? QMessageBox::Warning
                                                               : QMessageBox::NoIcon,
                    message.title, message.prompt, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("messageBox"));
    box.exec();
}

namespace messages {
namespace {

const QString kWarning = QStringLiteral("警告");
const QString kCommError = QStringLiteral("通信エラー");

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

Message portDisconnected()
{
    return {QStringLiteral("ポートが切断されました"), kCommError, Message::Icon::Exclamation};
}

Message lineEvent(int commEvent)
{
    QString prompt;
    switch (commEvent) {
    case 1001: prompt = QStringLiteral("中断信号が受信されました"); break;
    case 1004: prompt = QStringLiteral("フレームエラー"); break;
    case 1006: prompt = QStringLiteral("ポートオーバーラン"); break;
    case 1008: prompt = QStringLiteral("受信オーバーフロー"); break;
    case 1009: prompt = QStringLiteral("パリティエラー"); break;
    case 1010: prompt = QStringLiteral("送信バッファフル"); break;
    case 1011: prompt = QStringLiteral("DCB取得エラー"); break;
    default: prompt = QStringLiteral("その他のエラー"); break;
    }
    return {prompt, kCommError, Message::Icon::Exclamation};
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

Message cannotSpillReceivedData(const QString &reason)
{
    return {QStringLiteral("受信データを一時ファイルに保存できません\n%1").arg(reason), kWarning};
}

} // namespace messages
