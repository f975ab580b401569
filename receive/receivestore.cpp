// SPDX-License-Identifier: MIT
#include "receive/receivestore.h"

#include "receive/hexgroups.h"

#include <QByteArray>

namespace {

// A pause this long or longer starts a new row in hex mode with timestamps.
constexpr qint64 kHexPauseMs = 100;

} // namespace

qint64 ReceiveStore::length() const
{
    return m_mode == Mode::Hex ? m_bytes.size() * hexgroups::kGroupWidth : m_text.size();
}

void ReceiveStore::appendText(QStringView text, qint64 msecsSinceEpoch)
{
    if (text.isEmpty())
        return;
    if (m_mode == Mode::Hex && !isEmpty())
        convertToText();
    if (m_mode != Mode::Text) {
        m_mode = Mode::Text;
        ++m_generation;
    }
    stampText(text, msecsSinceEpoch);
    m_text.append(reinterpret_cast<const char16_t *>(text.utf16()), text.size());
}

void ReceiveStore::appendBytes(QByteArrayView bytes, qint64 msecsSinceEpoch)
{
    if (bytes.isEmpty())
        return;
    if (m_mode == Mode::Text && !isEmpty()) {
        // The box holds text already: the groups become part of that text.
        const QString groups = hexgroups::format(bytes);
        stampText(groups, msecsSinceEpoch);
        m_text.append(reinterpret_cast<const char16_t *>(groups.utf16()), groups.size());
        return;
    }
    if (m_mode != Mode::Hex) {
        m_mode = Mode::Hex;
        ++m_generation;
    }
    stampBytes(msecsSinceEpoch);
    m_bytes.append(bytes.data(), bytes.size());
}

void ReceiveStore::clear()
{
    m_text.clear();
    m_bytes.clear();
    m_stampPositions.clear();
    m_stampOffsets.clear();
    ++m_generation;
}

// A piece gets a stamp when a line starts in it: after a break that ended
// the text so far, or after a break of its own before its last character
// (a break at its end starts a line in the next piece).
void ReceiveStore::stampText(QStringView text, qint64 msecsSinceEpoch)
{
    const bool afterBreak = m_text.isEmpty() || m_text.last() == u'\r' || m_text.last() == u'\n';
    const QStringView inner = text.first(text.size() - 1);
    if (afterBreak || inner.indexOf(u'\n') >= 0 || inner.indexOf(u'\r') >= 0)
        addStamp(m_text.size(), msecsSinceEpoch);
}

void ReceiveStore::stampBytes(qint64 msecsSinceEpoch)
{
    if (m_bytes.isEmpty() || msecsSinceEpoch - m_lastPieceTime >= kHexPauseMs)
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
    qint64 low = 0;
    qint64 high = m_stampPositions.size();
    while (low < high) {
        const qint64 mid = (low + high) / 2;
        if (m_stampPositions.at(mid) <= position)
            low = mid + 1;
        else
            high = mid;
    }
    return low - 1;
}

QString ReceiveStore::text(qint64 from, qint64 to) const
{
    from = qBound<qint64>(0, from, length());
    to = qBound<qint64>(from, to, length());
    if (m_mode == Mode::Hex)
        return hexText(from, to);
    QString text(to - from, Qt::Uninitialized);
    m_text.copy(from, to - from, reinterpret_cast<char16_t *>(text.data()));
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
    const QString shown = hexText(0, length());
    m_bytes.clear();
    m_text.clear();
    m_stampPositions.clear();
    m_stampOffsets.clear();
    m_text.append(reinterpret_cast<const char16_t *>(shown.utf16()), shown.size());
    m_mode = Mode::Text;
    ++m_generation;
}
