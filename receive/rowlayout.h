// SPDX-License-Identifier: MIT
#pragma once

#include "receive/cellwidths.h"
#include "capture/chunkedbuffer.h"
#include "receive/hexrows.h"

#include <QList>
#include <QString>

class ReceiveStore;

// A piece of a row as it is drawn: characters as received, or the
// pictures standing in for control characters, from a column on. Each of
// its characters takes width / text.size() columns.
struct RowRun
{
    int column = 0;
    int width = 0;
    QString text;
    bool control = false;
    // Drawn dimmer: a time or an offset beside the data.
    bool dim = false;
};

// The mark shown, dimmed, where count bytes of the box could not be read back.
QList<RowRun> unreadableRuns(int column, qint64 count);

// Cuts the receive box's text into the rows it is drawn in, decoding the
// stored CP932 bytes as it goes; positions are the store's. Text mode: CR LF,
// a lone LF and a lone CR each end a row, a tab advances to the next multiple
// of 8 columns, and a row that is full wraps. Hex mode: as many whole groups
// as the width holds. Only row starts are kept (text mode), so the cost of
// appending follows the new text and the memory is a small part of the text's.
class RowLayout
{
public:
    explicit RowLayout(const ReceiveStore &store);

    int columns() const { return m_columns; }
    void setColumns(int columns);
    void setCellMeasure(CellWidths::Measure measure);
    // Times before lines (text) or pause-started rows (hex); the 16-byte hex view.
    void setDecorations(bool stamps, bool sixteen);
    bool isDecorated() const { return m_stamps || (isHex() && m_hexRows.isDecorated()); }

    // Lays out whatever the store gained since the last call, or everything
    // again when the store was emptied or the width or the measure changed.
    void sync();

    qint64 rowCount() const;
    qint64 rowStart(qint64 row) const;
    // Where the next row starts; line break characters belong to their row.
    qint64 rowEnd(qint64 row) const;
    // The row that holds a position.
    qint64 rowOf(qint64 position) const;
    // Whether the row starts a line (text mode), and so carries its time.
    bool startsLine(qint64 row) const;
    QList<RowRun> runs(qint64 row) const;
    // Whether the row stands for bytes that could not be read back.
    bool isUnreadable(qint64 row) const;
    // The position nearest to a column, which may lie between two columns.
    qint64 positionAt(qint64 row, qreal column) const;
    int columnOf(qint64 row, qint64 position) const;
    // Where the row's shown characters end: before its line break, if any.
    qint64 shownEnd(qint64 row) const;
    // The row as the grid shows it: runs at their columns, gaps as spaces.
    QString displayText(qint64 row) const;

private:
    struct Step
    {
        qint64 position;
        char16_t unit;
        int column;
        int width;
    };

    void restart();
    void layOutText(qint64 from, qint64 to);
    void placeUnreadable(qint64 position, qint64 end);
    void placePlain(qint64 position, qint64 count);
    qsizetype placeOthers(std::span<const unsigned char> bytes, qsizetype from, qint64 base);
    void placeOther(char16_t unit, qint64 position);
    int learnStep(unsigned char first, unsigned char second);
    int stepOf(char16_t unit) const;
    void startRow(qint64 position);
    int widthOf(char16_t unit, int column) const;
    int tabWidth(int column) const;
    int lineStartColumn() const;
    bool isHex() const;
    template<typename Visit>
    qint64 walkRow(qint64 row, Visit visit) const;

    const ReceiveStore &m_store;
    CellWidths m_cells;
    // Per first and second byte of a character: the columns it takes (1 or
    // 2) or kBreaking for a tab or a line break, and its bytes times 8; 0
    // until first met. One look-up a character, whichever bytes arrive, so
    // that laying out needs neither decoding nor a branch on the lead byte.
    std::array<std::uint8_t, 0x10000> m_steps{};
    int m_columns = 80;
    bool m_stale = true;
    quint64 m_generation = 0;
    qint64 m_unreadable = 0;
    qint64 m_laidOut = 0;
    int m_column = 0;
    bool m_afterCr = false;
    bool m_stamps = false;
    bool m_sixteen = false;
    ChunkedBuffer<qint64> m_rowStarts;
    HexRows m_hexRows{m_store};
};
