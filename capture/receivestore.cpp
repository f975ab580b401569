// SPDX-License-Identifier: MIT
#include "capture/receivestore.h"

#include "capture/hexgroups.h"

#include <QByteArray>

#include <cstring>

namespace {

constexpr qint64 kPageBytes = 4096;

} // namespace

qint64 ReceiveStore::length() const
{
    return m_mode == Mode::Hex ? m_bytes.size() * hexgroups::kGroupWidth : m_bytes.size();
}

void ReceiveStore::appendCp932(QByteArrayView bytes, qint64 msecsSinceEpoch)
{
    if (bytes.isEmpty())
        return;
    if (m_mode == Mode::Hex && !isEmpty())
        convertToText();
    if (m_mode != Mode::Text) {
        m_mode = Mode::Text;
        ++m_generation;
    }
    stampText(bytes, msecsSinceEpoch);
    appendTextBytes(bytes);
}

void ReceiveStore::appendText(QStringView text, qint64 msecsSinceEpoch)
{
    appendCp932(encodeCp932(text), msecsSinceEpoch);
}

void ReceiveStore::appendBytes(QByteArrayView bytes, qint64 msecsSinceEpoch)
{
    if (bytes.isEmpty())
        return;
    if (m_mode == Mode::Text && !isEmpty()) {
        // The box holds text already: the groups become part of that text.
        const QByteArray groups = hexgroups::format(bytes).toLatin1();
        stampText(groups, msecsSinceEpoch);
        appendTextBytes(groups);
        return;
    }
    if (m_mode != Mode::Hex) {
        m_mode = Mode::Hex;
        ++m_generation;
    }
    stampBytes(msecsSinceEpoch);
    m_bytes.append(bytes.data(), bytes.size());
}

// The store ends where a character ends, so the piece's first byte starts
// one, and each page start met in the piece is placed from there.
void ReceiveStore::appendTextBytes(QByteArrayView bytes)
{
    const qint64 start = m_bytes.size();
    for (qint64 page = (start + kPageBytes - 1) / kPageBytes; page * kPageBytes < start + bytes.size(); ++page)
        m_pageSkips.append(isCp932CharacterStart(bytes, qsizetype(page * kPageBytes - start)) ? 0 : 1);
    m_bytes.append(bytes.data(), bytes.size());
}

void ReceiveStore::clear()
{
    m_bytes.clear();
    m_pageSkips.clear();
    m_stampPositions.clear();
    m_stampOffsets.clear();
    ++m_generation;
}

qint64 ReceiveStore::characterStart(qint64 position) const
{
    if (m_mode == Mode::Hex || position <= 0 || position >= m_bytes.size())
        return qBound<qint64>(0, position, length());
    const qint64 page = position / kPageBytes;
    qint64 at = page * kPageBytes + m_pageSkips.at(page);
    if (at > position)
        return position - 1;
    for (qint64 next = at; next <= position; next = at + characterAt(at).length)
        at = next;
    return at;
}

Cp932Char ReceiveStore::characterAt(qint64 position) const
{
    const int next = position + 1 < m_bytes.size() ? static_cast<unsigned char>(m_bytes.at(position + 1)) : -1;
    const Cp932Char found = Cp932Table::instance().at(static_cast<unsigned char>(m_bytes.at(position)), next);
    // The store ends with a whole character; a lead byte there stands alone.
    return {found.unit, qMax(1, found.length)};
}

qint64 ReceiveStore::advance(qint64 position, qint64 count) const
{
    const Cp932Table &table = Cp932Table::instance();
    const qint64 size = m_bytes.size();
    while (count > 0 && position < size) {
        const std::span<const char> piece = m_bytes.span(position, size - position);
        const auto *bytes = reinterpret_cast<const unsigned char *>(piece.data());
        const qsizetype pieceSize = qsizetype(piece.size());
        qsizetype i = 0;
        for (; count > 0 && i < pieceSize; --count) {
            const Cp932Char character = table.at(bytes[i], i + 1 < pieceSize ? bytes[i + 1] : -1);
            // A lead byte that ends the block: its trail byte is in the next one.
            i += character.length > 0 ? character.length : characterAt(position + i).length;
        }
        position += i;
    }
    return qMin(position, size);
}

// A piece gets a stamp when a line starts in it: after a break that ended
// the text so far, or after a break of its own before its last character
// (a break at its end starts a line in the next piece).
void ReceiveStore::stampText(QByteArrayView bytes, qint64 msecsSinceEpoch)
{
    const auto isBreak = [](char byte) { return byte == '\r' || byte == '\n'; };
    const bool afterBreak = m_bytes.isEmpty() || isBreak(m_bytes.last());
    const size_t inner = size_t(bytes.size() - 1);
    if (afterBreak || std::memchr(bytes.data(), '\n', inner) || std::memchr(bytes.data(), '\r', inner))
        addStamp(m_bytes.size(), msecsSinceEpoch);
}

void ReceiveStore::stampBytes(qint64 msecsSinceEpoch)
{
    if (m_bytes.isEmpty() || msecsSinceEpoch - m_lastPieceTime >= hexgroups::kPauseMs)
        addStamp(m_bytes.size(), msecsSinceEpoch);
    m_lastPieceTime = msecsSinceEpoch;
}

void ReceiveStore::addStamp(qint64 position, qint64 msecsSinceEpoch)
{
    if (m_stampPositions.isEmpty())
        m_stampBase = msecsSinceEpoch;
    m_stampPositions.append(position);
    m_stampOffsets.append(quint32(qBound<qint64>(0, msecsSinceEpoch - m_stampBase, 0xFFFFFFFF)));
}

qint64 ReceiveStore::stampIndexOf(qint64 position) const
{
    return m_stampPositions.lastAtOrBelow(position);
}

qint64 ReceiveStore::byteIndexOf(qint64 position) const
{
    return m_mode == Mode::Hex ? position / hexgroups::kGroupWidth : position;
}

qint64 ReceiveStore::blockStart(qint64 position) const
{
    const qint64 byte = byteIndexOf(position) & ~(ChunkedBuffer<char>::kBlockSize - 1);
    return m_mode == Mode::Hex ? byte * hexgroups::kGroupWidth : byte;
}

qint64 ReceiveStore::blockEnd(qint64 position) const
{
    const qint64 last = byteIndexOf(position) | (ChunkedBuffer<char>::kBlockSize - 1);
    const qint64 byte = qMin<qint64>(m_bytes.size(), last + 1);
    return m_mode == Mode::Hex ? byte * hexgroups::kGroupWidth : byte;
}

qint64 ReceiveStore::unreadableEnd(qint64 from, qint64 to) const
{
    qint64 end = -1;
    for (qint64 at = blockStart(from); at < to && at < length(); at = blockEnd(at)) {
        if (!isReadable(at))
            end = blockEnd(at);
    }
    return end;
}

QString ReceiveStore::text(qint64 from, qint64 to, Unreadable unreadable) const
{
    from = qBound<qint64>(0, from, length());
    to = qBound<qint64>(from, to, length());
    // Asked block by block: a block may be found unreadable only now.
    const bool leaveOut = unreadable == Unreadable::LeftOut;
    if (m_mode == Mode::Hex)
        return leaveOut && unreadableEnd(from, to) >= 0 ? readableHexText(from, to) : hexText(from, to);
    // A character cut at `to` is left out: the decoder holds its lead byte back.
    Cp932Decoder decoder;
    QString text;
    text.reserve(to - from);
    for (from = characterStart(from); from < to;) {
        const std::span<const char> piece = m_bytes.span(from, to - from);
        if (leaveOut && !m_bytes.readable(from))
            decoder.reset(); // a lead byte before the gap has lost its trail byte
        else
            text += decoder.decode(QByteArrayView(piece.data(), qsizetype(piece.size())));
        from += qint64(piece.size());
    }
    // Unless no trail byte follows: then the lead byte is a whole character.
    if (decoder.hasPendingByte() && (to == m_bytes.size() || !isCp932TrailByte(static_cast<unsigned char>(m_bytes.at(to)))))
        text += QChar(Cp932Table::kSubstitute);
    return text;
}

// The groups of the blocks that could be read back, each cut to [from, to).
QString ReceiveStore::readableHexText(qint64 from, qint64 to) const
{
    QString text;
    for (qint64 at = from; at < to; at = blockEnd(at)) {
        const qint64 end = qMin(to, blockEnd(at));
        if (isReadable(at))
            text += hexText(at, end);
    }
    return text;
}

QString ReceiveStore::hexText(qint64 from, qint64 to) const
{
    const qint64 firstByte = from / hexgroups::kGroupWidth;
    const qint64 endByte = (to + hexgroups::kGroupWidth - 1) / hexgroups::kGroupWidth;
    QString text((endByte - firstByte) * hexgroups::kGroupWidth, Qt::Uninitialized);
    QChar *out = text.data();
    for (qint64 index = firstByte; index < endByte;) {
        const std::span<const char> piece = m_bytes.span(index, endByte - index);
        hexgroups::write(QByteArrayView(piece.data(), qsizetype(piece.size())), out);
        out += piece.size() * hexgroups::kGroupWidth;
        index += qint64(piece.size());
    }
    const qint64 skip = from - firstByte * hexgroups::kGroupWidth;
    if (skip == 0 && to - from == text.size())
        return text;
    return text.mid(skip, to - from);
}

// Only reached when hex data was shown and text follows without the box
// being emptied in between; the box then holds the hex text as plain text.
void ReceiveStore::convertToText()
{
    const QByteArray shown = text(0, length()).toLatin1();
    clear();
    m_mode = Mode::Text;
    appendTextBytes(shown);
}
