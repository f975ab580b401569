// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>

// Decodes a stream of CP932 ("windows-31j") bytes that arrives in pieces.
// A lead byte at the end of a piece is held back and joined with the next
// piece, so a double-byte character split across two reads is never garbled.
// Characters come from tables made once from the platform codec, so the cost
// per byte is the same whichever bytes arrive; QStringDecoder goes to ICU
// for every run of non-ASCII bytes, which is several times slower.
class Cp932Decoder
{
public:
    QString decode(QByteArrayView bytes);
    // The same stream kept encoded: the bytes of the whole characters that
    // decode() would give for this piece, the held lead byte in front.
    QByteArray complete(QByteArray bytes);
    // Takes a piece whose text nobody reads: only a lead byte at its end is held back.
    void skip(QByteArrayView bytes);
    void reset() { m_pending = -1; }
    bool hasPendingByte() const { return m_pending >= 0; }

private:
    int m_pending = -1;
};

// True for the first byte of a CP932 double-byte character.
constexpr bool isCp932LeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// True for a byte that can follow a lead byte.
constexpr bool isCp932TrailByte(unsigned char byte)
{
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

// One character of a CP932 stream: its UTF-16 unit and the bytes it took.
struct Cp932Char
{
    char16_t unit;
    int length;
};

// The decoder's tables, for readers that keep the bytes and decode where they look.
class Cp932Table
{
public:
    static const Cp932Table &instance();

    // What a lead byte stands for when no trail byte follows it.
    static constexpr char16_t kSubstitute = 0x1A;

    static constexpr int kPairCount = (31 + 29) * 256;
    // Where a lead byte and a trail byte stand in a table of pairs.
    static constexpr int pairIndex(unsigned char lead, unsigned char trail)
    {
        return (lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + 31) * 256 + trail;
    }

    char16_t single(unsigned char byte) const { return m_single[byte]; }
    char16_t pair(int index) const { return m_pair[index]; }
    char16_t pair(unsigned char lead, unsigned char trail) const { return m_pair[pairIndex(lead, trail)]; }
    // The character that starts with first; next is the byte after it, or
    // -1 at the end of the stream, where a lead byte still waits (length 0).
    Cp932Char at(unsigned char first, int next) const
    {
        if (!isCp932LeadByte(first))
            return {m_single[first], 1};
        if (next < 0)
            return {kSubstitute, 0};
        if (isCp932TrailByte(static_cast<unsigned char>(next)))
            return {pair(first, static_cast<unsigned char>(next)), 2};
        return {kSubstitute, 1};
    }

private:
    Cp932Table();

    std::array<char16_t, 256> m_single{};
    std::array<char16_t, kPairCount> m_pair{};
};

// Whether a character starts at index `at` of bytes that start with one:
// walks back only over the bytes that could be lead bytes, since any other
// byte ends a character.
bool isCp932CharacterStart(QByteArrayView bytes, qsizetype at);

// Which of count (at most 64) bytes start a character, bit i for bytes[i].
// afterLead says whether bytes[0] follows a lead byte that starts a
// character, and on return whether the byte after the last one does. Finds
// the starts of many characters at once, where decoding one character after
// another must wait for each one's length.
quint64 cp932CharacterStarts(const unsigned char *bytes, int count, bool &afterLead);

// What the platform codec makes of a complete CP932 byte sequence, ASCII
// bytes kept as they are; the decoder's tables are made from it.
QString decodeCp932WithPlatform(QByteArrayView bytes);

// Encodes text in CP932; a character it cannot represent becomes '?'.
QByteArray encodeCp932(QStringView text);
