// SPDX-License-Identifier: MIT
#include "receive/hexrows.h"

#include "capture/hexgroups.h"
#include "capture/receivestore.h"
#include "capture/recordlines.h"
#include "receive/rowlayout.h"

#include <limits>

namespace {

constexpr int kOffsetColumns = 10;
constexpr qint64 kSixteen = 16;

// The bytes as characters, '.' for anything but printable ASCII.
QString printable(const ReceiveStore &store, qint64 from, qint64 to)
{
    QString text;
    text.reserve(to - from);
    while (from < to) {
        const std::span<const char> piece = store.byteSpan(from, to - from);
        for (const char byte : piece)
            text += byte >= 0x20 && byte < 0x7F ? QChar(byte) : QChar(u'.');
        from += qint64(piece.size());
    }
    return text;
}

} // namespace

HexRows::HexRows(const ReceiveStore &store)
    : m_store(store)
{
}

void HexRows::setShape(int columns, bool stamps, bool sixteen)
{
    if (columns == m_columns && stamps == m_stamps && sixteen == m_sixteen)
        return;
    m_columns = columns;
    m_stamps = stamps;
    m_sixteen = sixteen;
    m_stale = true;
}

// The 16-byte view with a time before each row would need 90 columns, more
// than the box shows, so there the time takes a row of its own.
bool HexRows::stampsOwnRow() const
{
    return m_stamps && m_sixteen;
}

int HexRows::prefixColumns() const
{
    return (m_stamps && !m_sixteen ? recordlines::kStampColumns : 0) + (m_sixteen ? kOffsetColumns : 0);
}

qint64 HexRows::bytesPerRow() const
{
    if (m_sixteen)
        return kSixteen;
    return qMax(1, (m_columns - prefixColumns()) / hexgroups::kGroupWidth);
}

qint64 HexRows::segmentStart(qint64 segment) const
{
    return m_starts.isEmpty() ? 0 : m_starts.at(segment);
}

qint64 HexRows::segmentEnd(qint64 segment) const
{
    return segment + 1 < m_starts.size() ? m_starts.at(segment + 1) : m_store.byteCount();
}

bool HexRows::isUnreadableSegment(qint64 segment) const
{
    return m_unreadable > 0 && m_store.isKnownUnreadable(segmentStart(segment) * hexgroups::kGroupWidth);
}

qint64 HexRows::rowsIn(qint64 segment) const
{
    if (isUnreadableSegment(segment))
        return 1;
    const qint64 length = segmentEnd(segment) - segmentStart(segment);
    return qMax<qint64>(1, leadRows(segment) + (length + bytesPerRow() - 1) / bytesPerRow());
}

qint64 HexRows::leadRows(qint64 segment) const
{
    if (!stampsOwnRow() || m_store.stampCount() == 0 || isUnreadableSegment(segment))
        return 0;
    const qint64 stamp = m_store.stampIndexOf(segmentStart(segment));
    return stamp >= 0 && m_store.stampPosition(stamp) == segmentStart(segment) ? 1 : 0;
}

bool HexRows::isStampRow(qint64 row) const
{
    if (!stampsOwnRow() || m_firstRows.isEmpty())
        return false;
    const qint64 segment = segmentOfRow(row);
    return leadRows(segment) > 0 && row == m_firstRows.at(segment);
}

// Segments start at each time (with timestamps) and at both ends of each
// block that could not be read back, which is one row of its own. Blocks
// are found unreadable only among the oldest, so a new one means all again;
// otherwise only new times add segments.
void HexRows::sync()
{
    if (m_stale || m_generation != m_store.generation() || m_unreadable != m_store.unreadableCount()) {
        m_stale = false;
        m_generation = m_store.generation();
        m_unreadable = m_store.unreadableCount();
        m_starts.clear();
        m_firstRows.clear();
        m_stampsTaken = 0;
        m_unreadableBounds = unreadableBounds();
        m_boundsTaken = 0;
        m_starts.append(0);
        m_firstRows.append(0);
    }
    constexpr qint64 kNone = std::numeric_limits<qint64>::max();
    for (;;) {
        const qint64 stamp = m_stamps && m_stampsTaken < m_store.stampCount() ? m_store.stampPosition(m_stampsTaken) : kNone;
        const qint64 bound = m_boundsTaken < qint64(m_unreadableBounds.size()) ? m_unreadableBounds[m_boundsTaken] : kNone;
        if (stamp == kNone && bound == kNone)
            return;
        if (stamp < bound) {
            ++m_stampsTaken;
            // A time inside an unreadable block starts nothing there.
            if (!m_store.isKnownUnreadable(stamp * hexgroups::kGroupWidth))
                addSegment(stamp);
        } else {
            ++m_boundsTaken;
            addSegment(bound);
        }
    }
}

// Every segment but the last is complete: its rows are final.
void HexRows::addSegment(qint64 start)
{
    if (start <= m_starts.last() || start >= m_store.byteCount())
        return;
    m_starts.append(start);
    m_firstRows.append(m_firstRows.last() + rowsIn(m_starts.size() - 2));
}

std::vector<qint64> HexRows::unreadableBounds() const
{
    std::vector<qint64> bounds;
    const qint64 block = ChunkedBuffer<char>::kBlockSize;
    for (qint64 start = 0; m_unreadable > 0 && start < m_store.byteCount(); start += block) {
        if (m_store.isKnownUnreadable(start * hexgroups::kGroupWidth))
            bounds.insert(bounds.end(), {start, start + block});
    }
    return bounds;
}

qint64 HexRows::rowCount() const
{
    if (m_firstRows.isEmpty())
        return 1;
    return m_firstRows.last() + rowsIn(m_firstRows.size() - 1);
}

qint64 HexRows::segmentOfRow(qint64 row) const
{
    return qMax<qint64>(0, m_firstRows.lastAtOrBelow(row));
}

qint64 HexRows::segmentOfByte(qint64 byte) const
{
    return qMax<qint64>(0, m_starts.lastAtOrBelow(byte));
}

qint64 HexRows::firstByte(qint64 row) const
{
    if (m_firstRows.isEmpty())
        return 0;
    const qint64 segment = segmentOfRow(row);
    const qint64 dataRow = qMax<qint64>(0, row - m_firstRows.at(segment) - leadRows(segment));
    return qMin(segmentEnd(segment), segmentStart(segment) + dataRow * bytesPerRow());
}

qint64 HexRows::endByte(qint64 row) const
{
    if (m_firstRows.isEmpty())
        return 0;
    if (isStampRow(row))
        return firstByte(row);
    const qint64 segment = segmentOfRow(row);
    if (isUnreadableSegment(segment))
        return segmentEnd(segment);
    return qMin(segmentEnd(segment), firstByte(row) + bytesPerRow());
}

qint64 HexRows::rowOf(qint64 byte) const
{
    if (m_firstRows.isEmpty())
        return 0;
    const qint64 segment = segmentOfByte(byte);
    // The first byte of a stamped piece belongs to the time's row too, so
    // that what is copied or saved from there on begins with the time.
    if (byte == segmentStart(segment) || isUnreadableSegment(segment))
        return m_firstRows.at(segment);
    return m_firstRows.at(segment) + leadRows(segment) + (byte - segmentStart(segment)) / bytesPerRow();
}

bool HexRows::isUnreadable(qint64 row) const
{
    const qint64 first = firstByte(row);
    const qint64 end = endByte(row);
    // A row is shorter than a block: its first and last bytes say it all.
    return end > first
           && (!m_store.isReadable(first * hexgroups::kGroupWidth)
               || !m_store.isReadable((end - 1) * hexgroups::kGroupWidth));
}

QList<RowRun> HexRows::runs(qint64 row) const
{
    const qint64 first = firstByte(row);
    const qint64 end = endByte(row);
    QList<RowRun> runs;
    if (isStampRow(row)) {
        const QString stamp = recordlines::shortStamp(m_store.stampTime(m_store.stampIndexOf(first)));
        runs.append(RowRun{0, int(stamp.trimmed().size()), stamp.trimmed(), false, true});
        return runs;
    }
    int column = 0;
    if (m_stamps && !m_sixteen) {
        const qint64 stamp = m_store.stampIndexOf(first);
        if (stamp >= 0 && m_store.stampPosition(stamp) == first)
            runs.append(RowRun{0, recordlines::kStampColumns, recordlines::shortStamp(m_store.stampTime(stamp)), false, true});
        column += recordlines::kStampColumns;
    }
    if (m_sixteen) {
        runs.append(RowRun{column, kOffsetColumns, QStringLiteral("%1  ").arg(first, 8, 16, QLatin1Char('0')).toUpper(),
                           false, true});
        column += kOffsetColumns;
    }
    const qint64 from = first * hexgroups::kGroupWidth;
    const qint64 to = end * hexgroups::kGroupWidth;
    // The row keeps its place and offset; none of its bytes is shown.
    if (isUnreadable(row))
        return runs + unreadableRuns(column, end - first);
    runs.append(RowRun{column, int(to - from), m_store.text(from, to), false, false});
    if (m_sixteen && end > first)
        runs.append(RowRun{column + int(kSixteen) * hexgroups::kGroupWidth + 1, int(end - first),
                           printable(m_store, first, end), false, false});
    return runs;
}
