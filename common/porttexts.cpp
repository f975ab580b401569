// SPDX-License-Identifier: MIT
#include "common/porttexts.h"

#include "serial/portinventory.h"

namespace porttexts {

QString dialogTitle()
{
    return QStringLiteral("ポートの割り当て");
}

QString menuItem()
{
    return QStringLiteral("ポートの割り当て...");
}

QString portsCaption()
{
    return QStringLiteral("ポート番号");
}

QString devicesCaption()
{
    return QStringLiteral("割り当てのないデバイス");
}

QStringList portHeaders()
{
    return {QStringLiteral("番号"), QStringLiteral("デバイス")};
}

QStringList deviceHeaders()
{
    return {QStringLiteral("名前"), QStringLiteral("説明"), QStringLiteral("シリアル番号")};
}

QString addressCaption()
{
    return QStringLiteral("ネットワークのアドレス (rfc2217://ホスト:ポート または socket://ホスト:ポート):");
}

QString assignButton()
{
    return QStringLiteral("割り当て");
}

QString releaseButton()
{
    return QStringLiteral("解除");
}

QString closeButton()
{
    return QStringLiteral("閉じる");
}

QString portTarget(const QString &target, const QString &node, bool linked, bool present)
{
    if (!linked)
        return target + QStringLiteral(" (既定)");
    if (!present)
        return target + QStringLiteral(" (未接続)");
    return node == target ? target : QStringLiteral("%1 → %2").arg(target, node);
}

QString portNumber(int port, bool current)
{
    return current ? QStringLiteral("%1 (使用中)").arg(port) : QString::number(port);
}

QString toolTip(const QString &devicePath, const QString &stableName, const QString &description,
                const QString &serialNumber)
{
    SerialDevice device;
    device.node = devicePath;
    device.stableName = stableName;
    QString text = deviceLine(device);
    if (!description.isEmpty())
        text += QLatin1Char('\n') + description;
    if (!serialNumber.isEmpty())
        text += QStringLiteral("\nシリアル番号: %1").arg(serialNumber);
    return text;
}

} // namespace porttexts
