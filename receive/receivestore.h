// SPDX-License-Identifier: MIT
#pragma once

#include "receive/chunkedbuffer.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <span>

// Everything the receive box holds since it was last emptied: the decoded
// text in text mode, the raw bytes in hex mode (their hex text is formed
// only where it is shown or copied). Positions and lengths count characters
// of the box's text, which in hex mode is three per byte.
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

    // msecsSinceEpoch is the arrival time of the piece.
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

    char16_t charAt(qint64 position) const { return m_text.at(position); }
    std::span<const char16_t> textSpan(qint64 position, qint64 count) const { return m_text.span(position, count); }
    std::span<const char> byteSpan(qint64 index, qint64 count) const { return m_bytes.span(index, count); }

    QString text(qint64 from, qint64 to) const;
    QString text() const { return text(0, length()); }

private:
    QString hexText(qint64 from, qint64 to) const;
    void convertToText();
    void stampText(QStringView text, qint64 msecsSinceEpoch);
    void stampBytes(qint64 msecsSinceEpoch);
    void addStamp(qint64 position, qint64 msecsSinceEpoch);

    Mode m_mode = Mode::Text;
    ChunkedBuffer<char16_t> m_text;
    ChunkedBuffer<char> m_bytes;
    quint64 m_generation = 0;
    ChunkedBuffer<qint64> m_stampPositions;
    // Milliseconds after m_stampBase: four bytes a stamp instead of eight.
    ChunkedBuffer<quint32> m_stampOffsets;
    qint64 m_stampBase = 0;
    qint64 m_lastPieceTime = 0;
};
