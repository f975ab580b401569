// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringView>

// How a recording and the receive box put times and events into text:
// the prefixes of a line, the marker lines, and the cutting of decoded
// text into lines (CR LF, a lone LF and a lone CR each end one).
namespace recordlines {

// The width of a short stamp, its closing blank included.
constexpr int kStampColumns = 15;

// "[2026-12-07 13:45:01.234] ", local time.
QString fullStamp(qint64 msecsSinceEpoch);
// "[13:45:01.234] ", local time.
QString shortStamp(qint64 msecsSinceEpoch);
// "--- ポートオープン COM3 /dev/ttyUSB0 ---"
QString markerLine(const QString &event);

QString portOpened(int port, const QString &device);
QString portClosed(int port, const QString &device);
QString downloadStarted();
QString downloadFinished();
QString deviceLost();
// "再接続 /dev/serial/by-id/usb-FTDI_...": the port opened again by itself.
QString deviceReconnected(const QString &device);

// Turns decoded text that arrives in pieces into whole UTF-16 lines, each
// starting with the full stamp of its first character's arrival and
// ending with one LF whatever break ended it on the line.
class LineStamper
{
public:
    QString feed(QStringView text, qint64 msecsSinceEpoch);
    // A marker line of its own; a line under way is ended first.
    QString marker(const QString &event, qint64 msecsSinceEpoch);

private:
    bool m_atLineStart = true;
    bool m_afterCr = false;
};

} // namespace recordlines
