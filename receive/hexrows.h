// SPDX-License-Identifier: MIT
#pragma once

#include "capture/chunkedbuffer.h"

#include <QList>

#include <vector>

class ReceiveStore;
struct RowRun;

// Cuts hex data into rows: the running dump fills each row with as many
// groups as fit; the 16-byte view puts sixteen bytes a row after their
// offset and before the same bytes as characters; with timestamps a pause
// starts a new row that begins with the time, or in the 16-byte view
// follows a row of its own holding the time. Rows are counted per pause,
// never per byte.
class HexRows
{
public:
    explicit HexRows(const ReceiveStore &store);

    void setShape(int columns, bool stamps, bool sixteen);
    void sync();

    qint64 rowCount() const;
    qint64 firstByte(qint64 row) const;
    qint64 endByte(qint64 row) const;
    qint64 rowOf(qint64 byte) const;
    // The columns before the first group: the time, the offset.
    int prefixColumns() const;
    bool isDecorated() const { return m_stamps || m_sixteen; }
    QList<RowRun> runs(qint64 row) const;
    // Whether some of the row's bytes could not be read back.
    bool isUnreadable(qint64 row) const;

private:
    bool stampsOwnRow() const;
    qint64 bytesPerRow() const;
    // 1 when the segment's time has a row of its own before its bytes.
    qint64 leadRows(qint64 segment) const;
    bool isStampRow(qint64 row) const;
    bool isUnreadableSegment(qint64 segment) const;
    void addSegment(qint64 start);
    std::vector<qint64> unreadableBounds() const;
    qint64 segmentStart(qint64 segment) const;
    qint64 segmentEnd(qint64 segment) const;
    qint64 rowsIn(qint64 segment) const;
    qint64 segmentOfRow(qint64 row) const;
    qint64 segmentOfByte(qint64 byte) const;

    const ReceiveStore &m_store;
    int m_columns = 80;
    bool m_stamps = false;
    bool m_sixteen = false;
    bool m_stale = true;
    quint64 m_generation = 0;
    qint64 m_unreadable = 0;
    // The first byte and the first row of each segment.
    ChunkedBuffer<qint64> m_starts;
    ChunkedBuffer<qint64> m_firstRows;
    qint64 m_stampsTaken = 0;
    std::vector<qint64> m_unreadableBounds;
    qint64 m_boundsTaken = 0;
};
