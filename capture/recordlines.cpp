// SPDX-License-Identifier: MIT
#include "capture/recordlines.h"

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

QString portOpened(int port, const QString &device)
{
    return QStringLiteral("ポートオープン COM%1 %2").arg(port).arg(device);
}

QString portClosed(int port, const QString &device)
{
    return QStringLiteral("ポートクローズ COM%1 %2").arg(port).arg(device);
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
                stamp = fullStamp(msecsSinceEpoch);
            out += stamp;
        }
        const bool lineBreak = unit == u'\r' || unit == u'\n';
        out += lineBreak ? QChar(u'\n') : unit;
        m_atLineStart = lineBreak;
    }
    return out;
}

QString LineStamper::marker(const QString &event, qint64 msecsSinceEpoch)
{
    QString out = m_atLineStart ? QString() : QStringLiteral("\n");
    out += fullStamp(msecsSinceEpoch) + markerLine(event) + u'\n';
    m_atLineStart = true;
    m_afterCr = false;
    return out;
}

} // namespace recordlines
