// SPDX-License-Identifier: MIT
#pragma once

#include "capture/chunkedbuffer.h"
#include "serial/cp932codec.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <span>

// Everything the receive box holds since it was last emptied, as the bytes
// arrived: CP932 in text mode, raw in hex mode. Text is formed only where it
// is shown, copied or searched. Positions and lengths count bytes in text
// mode (a double-byte character takes two) and characters of the hex text
// in hex mode (three per byte).
class ReceiveStore
{
public:
    enum class Mode { Text, Hex };

    Mode mode() const { return m_mode; }
    qint64 length() const;
    bool isEmpty() const { return length() == 0; }
    qint64 byteCount() const { return m_bytes.size(); }
    // Changes whenever the content is replaced rather than extended.
    quint64 generation() const { return m_generation; }

    // msecsSinceEpoch is the arrival time of the piece. Text arrives as the
    // CP932 bytes of whole characters; appendText() encodes it first.
    void appendCp932(QByteArrayView bytes, qint64 msecsSinceEpoch = 0);
    void appendText(QStringView text, qint64 msecsSinceEpoch = 0);
    void appendBytes(QByteArrayView bytes, qint64 msecsSinceEpoch = 0);
    void clear();

    // Arrival times, kept per piece that starts a line (text) or that came
    // after a pause (hex), never per character.
    qint64 stampCount() const { return m_stampPositions.size(); }
    // Where the piece of stamp i starts: a position of the text, or a byte index in hex mode.
    qint64 stampPosition(qint64 index) const { return m_stampPositions.at(index); }
    qint64 stampTime(qint64 index) const { return m_stampBase + m_stampOffsets.at(index); }
    // The stamp of the piece that holds a position (text) or byte (hex).
    qint64 stampIndexOf(qint64 position) const;

    char byteAt(qint64 index) const { return m_bytes.at(index); }
    std::span<const char> byteSpan(qint64 index, qint64 count) const { return m_bytes.span(index, count); }

    // Text mode: the start of the character that holds a position.
    qint64 characterStart(qint64 position) const;
    // Text mode: the character at a position where one starts.
    Cp932Char characterAt(qint64 position) const;
    // Text mode: where the character count characters after position starts.
    qint64 advance(qint64 position, qint64 count) const;

    // Bytes moved to disk are read back through reader from now on; null: the spill file.
    void setBlockReader(BlockReader *reader) { m_bytes.setReader(reader); }
    // Whether the position's bytes could be read back; reads them if need be.
    bool isReadable(qint64 position) const { return m_bytes.readable(byteIndexOf(position)); }
    bool isKnownUnreadable(qint64 position) const { return m_bytes.knownUnreadable(byteIndexOf(position)); }
    // Grows each time a block is found unreadable.
    qint64 unreadableCount() const { return m_bytes.unreadableBlocks(); }
    // Why the last block found unreadable could not be read.
    QString unreadableReason() const { return m_bytes.unreadableReason(); }
    // The first position of the block that holds position, and the end of that block.
    qint64 blockStart(qint64 position) const;
    qint64 blockEnd(qint64 position) const;
    // Where the last unreadable block that [from, to) touches ends, or -1;
    // reads the blocks back if need be.
    qint64 unreadableEnd(qint64 from, qint64 to) const;

    // The text of [from, to); from is moved back to the start of its character.
    // Bytes that cannot be read back are left out, or, where each position
    // must keep its place (searching), stand as NULs.
    enum class Unreadable { LeftOut, AsNul };
    QString text(qint64 from, qint64 to, Unreadable unreadable = Unreadable::LeftOut) const;
    QString text() const { return text(0, length()); }

private:
    qint64 byteIndexOf(qint64 position) const;
    QString hexText(qint64 from, qint64 to) const;
    QString readableHexText(qint64 from, qint64 to) const;
    void appendTextBytes(QByteArrayView bytes);
    void convertToText();
    void stampText(QByteArrayView bytes, qint64 msecsSinceEpoch);
    void stampBytes(qint64 msecsSinceEpoch);
    void addStamp(qint64 position, qint64 msecsSinceEpoch);

    Mode m_mode = Mode::Text;
    ChunkedBuffer<char> m_bytes;
    // Text mode, per page of kPageBytes: 1 when the page begins with the
    // second byte of a character, so that any position finds the start of
    // its character by decoding at most a page.
    ChunkedBuffer<quint8> m_pageSkips;
    quint64 m_generation = 0;
    ChunkedBuffer<qint64> m_stampPositions;
    // Milliseconds after m_stampBase: four bytes a stamp instead of eight.
    ChunkedBuffer<quint32> m_stampOffsets;
    qint64 m_stampBase = 0;
    qint64 m_lastPieceTime = 0;
};
