// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>
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

// A port of 0 is a device named by its path alone: no "COM" part.
QString portOpened(int port, const QString &device);
QString portClosed(int port, const QString &device);
QString downloadStarted();
QString downloadFinished();
QString deviceLost();
// "再接続 /dev/serial/by-id/usb-FTDI_...": the port opened again by itself.
QString deviceReconnected(const QString &device);
// The line error a serial event code stands for ("フレームエラー" ...).
QString lineError(int commEvent);

// The one rule for lines and their times, in the box's recording and on
// the command line: decoded text that arrives in pieces becomes lines, each
// starting with the stamp of its first character's arrival and ending with
// one LF whatever ended it on the line. A CR ends its line at once; an LF
// right after it, in the same piece or the next, belongs to that end; LF CR
// is two ends.
class LineStamper
{
public:
    enum class Stamp { Full, Short, None };

    explicit LineStamper(Stamp stamp = Stamp::Full) : m_stamp(stamp) {}

    QString feed(QStringView text, qint64 msecsSinceEpoch);
    // Bytes as the box's hex groups; as in the box, a piece after a pause of
    // hexgroups::kPauseMs or more starts a line of its own (when stamping).
    QString feedHex(QByteArrayView bytes, qint64 msecsSinceEpoch);
    // A marker line of its own; a line under way is ended first.
    QString marker(const QString &event, qint64 msecsSinceEpoch);
    bool atLineStart() const { return m_atLineStart; }

private:
    QString stampOf(qint64 msecsSinceEpoch) const;

    Stamp m_stamp;
    bool m_atLineStart = true;
    bool m_afterCr = false;
    bool m_hexStarted = false;
    qint64 m_lastHexPiece = 0;
};

} // namespace recordlines
