// SPDX-License-Identifier: MIT
#include "serial/cp932codec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <array>
#include <cstring>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr const char *kCodePage = "windows-31j";
// What ICU gives a lead byte that has no trail byte.
constexpr char16_t kSubstitute = Cp932Table::kSubstitute;

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

// ICU's windows-31j swaps 0x1A, 0x1C and 0x7F the IBM way, while the
// system's code page maps every ASCII byte to itself. So only the non-ASCII
// characters go to ICU, whole, and ASCII bytes are taken as they are.
QString decodeWith(QStringDecoder &icu, QByteArrayView bytes)
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
        text += icu.decode(bytes.sliced(asciiEnd, end - asciiEnd));
        if (end < size && static_cast<unsigned char>(bytes[end]) >= 0x80) {
            // A lead byte without a trail byte: the byte after it counts on its own.
            text += QChar(kSubstitute);
            ++end;
        }
        at = end;
    }
    return text;
}

QChar firstUnit(QStringDecoder &icu, std::initializer_list<unsigned char> bytes)
{
    const QString text = decodeWith(icu, QByteArrayView(bytes.begin(), qsizetype(bytes.size())));
    return text.isEmpty() ? QChar(kSubstitute) : text.front();
}

struct ByteClasses
{
    quint64 lead = 0;
    quint64 trail = 0;
};

#ifdef __SSE2__
// Bytes from low to high as signed lanes, so that signed compares test ranges.
__m128i inRange(__m128i shifted, unsigned char low, unsigned char high)
{
    const __m128i above = _mm_cmpgt_epi8(shifted, _mm_set1_epi8(char(low ^ 0x80) - 1));
    const __m128i below = _mm_cmplt_epi8(shifted, _mm_set1_epi8(char((high ^ 0x80) + 1)));
    return _mm_and_si128(above, below);
}
#endif

ByteClasses classify(const unsigned char *bytes, int count)
{
    ByteClasses classes;
    int i = 0;
#ifdef __SSE2__
    for (; i + 16 <= count; i += 16) {
        const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + i));
        const __m128i shifted = _mm_xor_si128(raw, _mm_set1_epi8(char(0x80)));
        const __m128i lead = _mm_or_si128(inRange(shifted, 0x81, 0x9F), inRange(shifted, 0xE0, 0xFC));
        const __m128i trail = _mm_or_si128(inRange(shifted, 0x40, 0x7E), inRange(shifted, 0x80, 0xFC));
        classes.lead |= quint64(quint16(_mm_movemask_epi8(lead))) << i;
        classes.trail |= quint64(quint16(_mm_movemask_epi8(trail))) << i;
    }
#endif
    for (; i < count; ++i) {
        classes.lead |= quint64(isCp932LeadByte(bytes[i])) << i;
        classes.trail |= quint64(isCp932TrailByte(bytes[i])) << i;
    }
    return classes;
}

} // namespace

quint64 cp932CharacterStarts(const unsigned char *bytes, int count, bool &afterLead)
{
    // Found the way escaped characters are found in JSON: in a run of
    // possible lead bytes that begins a character every second byte is a
    // trail byte, and a run's start and length decide which ones.
    constexpr quint64 kEvenBits = 0x5555555555555555ull;
    const ByteClasses classes = classify(bytes, count);
    const quint64 carried = afterLead ? 1 : 0;
    const quint64 leads = classes.lead & ~carried;
    const quint64 followsLead = leads << 1 | carried;
    const quint64 oddRunStarts = leads & ~kEvenBits & ~followsLead;
    quint64 evenRuns;
    const bool overflow = __builtin_add_overflow(oddRunStarts, leads, &evenRuns);
    const quint64 second = (kEvenBits ^ (evenRuns << 1)) & followsLead;
    afterLead = count == 64 ? overflow : ((second >> count) & 1) != 0;
    const quint64 valid = count == 64 ? ~quint64(0) : (quint64(1) << count) - 1;
    // A lead byte followed by no trail byte stands alone, and so does the byte after it.
    return ~(second & classes.trail) & valid;
}

Cp932Table::Cp932Table()
{
    QStringDecoder icu(kCodePage);
    for (int byte = 0; byte < 256; ++byte) {
        if (!isCp932LeadByte(byte))
            m_single[byte] = firstUnit(icu, {static_cast<unsigned char>(byte)}).unicode();
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        for (int trail = 0x40; isCp932LeadByte(lead) && trail <= 0xFC; ++trail) {
            if (isCp932TrailByte(trail))
                m_pair[pairIndex(lead, trail)] =
                    firstUnit(icu, {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)}).unicode();
        }
    }
}

const Cp932Table &Cp932Table::instance()
{
    static const Cp932Table made;
    return made;
}

bool isCp932CharacterStart(QByteArrayView bytes, qsizetype at)
{
    // Every byte that is not a possible lead byte ends a character, and a
    // possible lead byte is also a possible trail byte: from the last such
    // end on, the possible lead bytes pair up.
    qsizetype runStart = at;
    while (runStart > 0 && isCp932LeadByte(static_cast<unsigned char>(bytes[runStart - 1])))
        --runStart;
    if ((at - runStart) % 2 == 0)
        return true;
    // A lead byte just before, whose follower is no trail byte: it stands alone.
    return at == bytes.size() || !isCp932TrailByte(static_cast<unsigned char>(bytes[at]));
}

QString Cp932Decoder::decode(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return {};
    const Cp932Table &table = Cp932Table::instance();
    // One character per byte at most, plus the substitute for a held lead byte.
    QString text(bytes.size() + 1, Qt::Uninitialized);
    char16_t *const begin = reinterpret_cast<char16_t *>(text.data());
    char16_t *out = begin;
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    if (m_pending >= 0) {
        // The held lead byte and this piece's first byte: a pair, or a lead byte alone.
        const Cp932Char held = table.at(static_cast<unsigned char>(std::exchange(m_pending, -1)), in[0]);
        *out++ = held.unit;
        i = held.length - 1;
    }
    while (i < size) {
        quint64 word = 0;
        if (i + 8 <= size && (std::memcpy(&word, in + i, 8), !(word & 0x8080808080808080ull))) {
            for (int k = 0; k < 8; ++k)
                out[k] = in[i + k];
            out += 8;
            i += 8;
            continue;
        }
        const Cp932Char character = table.at(in[i], i + 1 < size ? in[i + 1] : -1);
        if (character.length == 0)
            m_pending = in[i]; // the piece's last byte, a lead byte
        else
            *out++ = character.unit;
        i += qMax(1, character.length);
    }
    text.truncate(out - begin);
    return text;
}

void Cp932Decoder::skip(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    qsizetype from = 0;
    if (m_pending >= 0) {
        // Paired with the held byte, the first byte is taken already.
        from = Cp932Table::instance().at(static_cast<unsigned char>(std::exchange(m_pending, -1)),
                                         static_cast<unsigned char>(bytes[0])).length - 1;
    }
    const auto last = static_cast<unsigned char>(bytes.back());
    const QByteArrayView rest = bytes.sliced(from);
    if (!rest.isEmpty() && isCp932LeadByte(last) && isCp932CharacterStart(rest, rest.size() - 1))
        m_pending = last;
}

QByteArray Cp932Decoder::complete(QByteArray bytes)
{
    if (bytes.isEmpty())
        return bytes;
    if (m_pending >= 0)
        bytes.prepend(char(std::exchange(m_pending, -1)));
    const auto last = static_cast<unsigned char>(bytes.back());
    if (isCp932LeadByte(last) && isCp932CharacterStart(bytes, bytes.size() - 1)) {
        m_pending = last;
        bytes.chop(1);
    }
    return bytes;
}

QString decodeCp932WithPlatform(QByteArrayView bytes)
{
    QStringDecoder icu(kCodePage);
    return decodeWith(icu, bytes);
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
