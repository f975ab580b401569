#include "serial/cp932codec.h"

#include <QStringEncoder>

#include <cstring>

namespace {

constexpr const char *kCodePage = "windows-31j";

// Index of the first byte >= 0x80, or size when there is none; eight bytes a step.
qsizetype firstNonAscii(QByteArrayView bytes)
{
    const char *data = bytes.data();
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, sizeof word);
        if (word & 0x8080808080808080ull)
            break;
    }
    for (; i < size; ++i) {
        if (static_cast<unsigned char>(data[i]) & 0x80)
            return i;
    }
    return size;
}

} // namespace

Cp932Decoder::Cp932Decoder()
    : m_decoder(kCodePage)
{
}

QString Cp932Decoder::decode(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return {};
    if (m_pending >= 0) {
        QByteArray joined;
        joined.reserve(bytes.size() + 1);
        joined.append(char(m_pending));
        joined.append(bytes);
        m_pending = -1;
        return decode(joined);
    }

    const qsizetype firstHigh = firstNonAscii(bytes);
    if (firstHigh == bytes.size())
        return QString::fromLatin1(bytes.data(), bytes.size());

    // Walk the characters from the first non-ASCII byte to find out whether
    // the piece ends inside a double-byte character.
    qsizetype i = firstHigh;
    const qsizetype size = bytes.size();
    while (i < size) {
        if (isCp932LeadByte(static_cast<unsigned char>(bytes[i])))
            i += 2;
        else
            ++i;
    }
    if (i > size) {
        m_pending = static_cast<unsigned char>(bytes[size - 1]);
        bytes.chop(1);
    }
    return decodeComplete(bytes);
}

// ICU's windows-31j swaps 0x1A, 0x1C and 0x7F the IBM way, while the
// system's code page maps every ASCII byte to itself. So only the non-ASCII
// characters go to ICU, whole, and ASCII bytes are taken as they are.
QString Cp932Decoder::decodeComplete(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    const qsizetype size = bytes.size();
    for (qsizetype at = 0; at < size;) {
        const qsizetype asciiEnd = at + firstNonAscii(bytes.sliced(at));
        text += QLatin1StringView(bytes.data() + at, asciiEnd - at);
        qsizetype end = asciiEnd;
        while (end < size && static_cast<unsigned char>(bytes[end]) >= 0x80) {
            if (!isCp932LeadByte(static_cast<unsigned char>(bytes[end])))
                ++end;
            else if (end + 1 < size && isCp932TrailByte(static_cast<unsigned char>(bytes[end + 1])))
                end += 2;
            else
                break;
        }
        text += m_decoder.decode(bytes.sliced(asciiEnd, end - asciiEnd));
        if (end < size && static_cast<unsigned char>(bytes[end]) >= 0x80) {
            // A lead byte without a trail byte: the substitute ICU gives it;
            // the byte after it counts on its own.
            text += QChar(0x1A);
            ++end;
        }
        at = end;
    }
    return text;
}

void Cp932Decoder::reset()
{
    m_pending = -1;
    m_decoder.resetState();
}

QByteArray encodeCp932(QStringView text)
{
    // ICU substitutes 0xFC 0xFC for what CP932 lacks; the system's own
    // conversion writes '?', so encode per character and replace that.
    static const QByteArray kIcuSubstitute("\xFC\xFC", 2);
    QStringEncoder encoder(kCodePage);
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const char16_t unit = text[i].unicode();
        if (unit < 0x80) {
            out.append(char(unit));
            ++i;
            continue;
        }
        const qsizetype length = (QChar::isHighSurrogate(unit) && i + 1 < text.size()
                                  && text[i + 1].isLowSurrogate())
                                     ? 2
                                     : 1;
        const QByteArray encoded = encoder.encode(text.sliced(i, length));
        if (encoded.isEmpty() || encoded == kIcuSubstitute)
            out.append('?');
        else
            out.append(encoded);
        i += length;
    }
    return out;
}
