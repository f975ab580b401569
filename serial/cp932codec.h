// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

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
    void reset() { m_pending = -1; }
    bool hasPendingByte() const { return m_pending >= 0; }

private:
    int m_pending = -1;
};

// What the platform codec makes of a complete CP932 byte sequence, ASCII
// bytes kept as they are; the decoder's tables are made from it.
QString decodeCp932WithPlatform(QByteArrayView bytes);

// Encodes text in CP932; a character it cannot represent becomes '?'.
QByteArray encodeCp932(QStringView text);

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
