// SPDX-License-Identifier: MIT
#include "capture/recordlines.h"

#include "capture/hexgroups.h"

#include <QDateTime>

namespace recordlines {

QString fullStamp(qint64 msecsSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch)
        .toString(QStringLiteral("'['yyyy-MM-dd HH:mm:ss.zzz'] '"));
}

QString shortStamp(qint64 msecsSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch).toString(QStringLiteral("'['HH:mm:ss.zzz'] '"));
}

QString markerLine(const QString &event)
{
    return QStringLiteral("--- %1 ---").arg(event);
}

namespace {

// A device named by its path alone (the command line's --port /dev/...) has no port number.
QString portEvent(const QString &event, int port, const QString &device)
{
    if (port <= 0)
        return QStringLiteral("%1 %2").arg(event, device);
    return QStringLiteral("%1 COM%2 %3").arg(event).arg(port).arg(device);
}

} // namespace

QString portOpened(int port, const QString &device)
{
    return portEvent(QStringLiteral("ポートオープン"), port, device);
}

QString portClosed(int port, const QString &device)
{
    return portEvent(QStringLiteral("ポートクローズ"), port, device);
}

QString downloadStarted()
{
    return QStringLiteral("ダウンロード開始");
}

QString downloadFinished()
{
    return QStringLiteral("ダウンロード終了");
}

QString deviceLost()
{
    return QStringLiteral("デバイス切断");
}

QString deviceReconnected(const QString &device)
{
    return QStringLiteral("再接続 %1").arg(device);
}

QString lineError(int commEvent)
{
    switch (commEvent) {
    case 1001: return QStringLiteral("中断信号が受信されました");
    case 1004: return QStringLiteral("フレームエラー");
    case 1006: return QStringLiteral("ポートオーバーラン");
    case 1008: return QStringLiteral("受信オーバーフロー");
    case 1009: return QStringLiteral("パリティエラー");
    case 1010: return QStringLiteral("送信バッファフル");
    case 1011: return QStringLiteral("DCB取得エラー");
    default: return QStringLiteral("その他のエラー");
    }
}

QString LineStamper::stampOf(qint64 msecsSinceEpoch) const
{
    switch (m_stamp) {
    case Stamp::Full: return fullStamp(msecsSinceEpoch);
    case Stamp::Short: return shortStamp(msecsSinceEpoch);
    case Stamp::None: break;
    }
    return {};
}

QString LineStamper::feed(QStringView text, qint64 msecsSinceEpoch)
{
    QString out;
    out.reserve(text.size() + 32);
    QString stamp;
    for (const QChar unit : text) {
        if (m_afterCr && unit == u'\n') {
            m_afterCr = false;
            continue;
        }
        m_afterCr = unit == u'\r';
        if (m_atLineStart) {
            // Every line of one piece arrived at the same time.
            if (stamp.isEmpty())
                stamp = stampOf(msecsSinceEpoch);
            out += stamp;
        }
        const bool lineBreak = unit == u'\r' || unit == u'\n';
        out += lineBreak ? QChar(u'\n') : unit;
        m_atLineStart = lineBreak;
    }
    return out;
}

QString LineStamper::feedHex(QByteArrayView bytes, qint64 msecsSinceEpoch)
{
    if (bytes.isEmpty())
        return {};
    QString out;
    const bool pause = !m_hexStarted || msecsSinceEpoch - m_lastHexPiece >= hexgroups::kPauseMs;
    m_hexStarted = true;
    m_lastHexPiece = msecsSinceEpoch;
    if (m_stamp != Stamp::None && pause) {
        if (!m_atLineStart)
            out += u'\n';
        out += stampOf(msecsSinceEpoch);
    }
    out += hexgroups::format(bytes);
    m_atLineStart = false;
    m_afterCr = false;
    return out;
}

QString LineStamper::marker(const QString &event, qint64 msecsSinceEpoch)
{
    QString out = m_atLineStart ? QString() : QStringLiteral("\n");
    out += stampOf(msecsSinceEpoch) + markerLine(event) + u'\n';
    m_atLineStart = true;
    m_afterCr = false;
    return out;
}

} // namespace recordlines
