// SPDX-License-Identifier: MIT
#include "download/bitheader.h"

#include <QFile>

namespace {

// Enough for any header a tool writes, and for the data's first bytes.
constexpr qint64 kHeadSize = 4096;
constexpr QByteArrayView kSyncWord("\xAA\x99\x55\x66", 4);

// Reads big-endian numbers and tagged fields, refusing anything past the end.
class HeaderReader
{
public:
    explicit HeaderReader(QByteArrayView bytes) : m_bytes(bytes) {}

    qint64 position() const { return m_position; }
    bool atEnd() const { return m_position >= m_bytes.size(); }
    std::optional<quint32> number(int width)
    {
        if (m_bytes.size() - m_position < width)
            return std::nullopt;
        quint32 value = 0;
        for (int i = 0; i < width; ++i)
            value = (value << 8) | quint8(m_bytes[m_position++]);
        return value;
    }
    std::optional<QByteArrayView> bytes(qint64 count)
    {
        if (m_bytes.size() - m_position < count)
            return std::nullopt;
        const QByteArrayView taken = m_bytes.sliced(m_position, count);
        m_position += count;
        return taken;
    }
    // A 2-byte length and that many bytes of NUL-terminated text.
    std::optional<QString> text()
    {
        const std::optional<quint32> length = number(2);
        const std::optional<QByteArrayView> field = length ? bytes(*length) : std::nullopt;
        if (!field)
            return std::nullopt;
        const qsizetype end = field->indexOf('\0');
        return QString::fromLatin1(end < 0 ? *field : field->first(end));
    }

private:
    QByteArrayView m_bytes;
    qint64 m_position = 0;
};

bool skipPreamble(HeaderReader &reader, QByteArrayView head)
{
    if (!head.isEmpty() && head.front() == 'a')
        return true;
    const std::optional<quint32> length = reader.number(2);
    return length && reader.bytes(*length) && reader.number(2);
}

void splitDesign(BitHeader &header, const QString &field)
{
    const QStringList parts = field.split(QLatin1Char(';'));
    header.design = parts.constFirst();
    for (const QString &part : parts.sliced(1)) {
        if (part.startsWith(QLatin1String("UserID=")))
            header.userId = part.sliced(7);
        else if (part.startsWith(QLatin1String("Version=")))
            header.version = part.sliced(8);
    }
}

// The data is FF padding and then the sync word, as far as the head shows it.
bool dataLooksRight(QByteArrayView data)
{
    qsizetype i = 0;
    while (i < data.size() && quint8(data[i]) == 0xFF)
        ++i;
    return data.sliced(i).startsWith(kSyncWord);
}

bool readField(HeaderReader &reader, char tag, BitHeader &header)
{
    std::optional<QString> text = reader.text();
    if (!text)
        return false;
    switch (tag) {
    case 'a': splitDesign(header, *text); break;
    case 'b': header.part = *text; break;
    case 'c': header.date = *text; break;
    case 'd': header.time = *text; break;
    default: break; // a tag this reader does not know is skipped
    }
    return true;
}

} // namespace

std::optional<BitHeader> readBitHeader(QByteArrayView head, qint64 fileSize)
{
    HeaderReader reader(head);
    if (!skipPreamble(reader, head))
        return std::nullopt;
    BitHeader header;
    bool sawDesign = false;
    while (const std::optional<QByteArrayView> tag = reader.bytes(1)) {
        if (tag->front() == 'e') {
            const std::optional<quint32> length = reader.number(4);
            if (!length || !sawDesign || reader.position() + *length > fileSize)
                return std::nullopt;
            header.dataOffset = reader.position();
            header.dataLength = *length;
            return dataLooksRight(head.sliced(reader.position())) ? std::optional(header) : std::nullopt;
        }
        sawDesign |= tag->front() == 'a';
        if (!readField(reader, tag->front(), header))
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<BitHeader> readBitHeaderOfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return readBitHeader(file.read(kHeadSize), file.size());
}

QString headerLine(const std::optional<BitHeader> &header)
{
    if (!header)
        return {};
    return QStringLiteral("%1 / %2 / %3 %4").arg(header->design, header->part, header->date, header->time);
}
