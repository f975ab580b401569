#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

// Decodes a stream of CP932 ("windows-31j") bytes that arrives in pieces.
// A lead byte at the end of a piece is held back and joined with the next
// piece, so a double-byte character split across two reads is never garbled.
// QStringDecoder keeps that state too, but does not say whether it holds a
// byte; knowing it lets plain ASCII take a fast path that skips ICU.
class Cp932Decoder
{
public:
    Cp932Decoder();

    QString decode(QByteArrayView bytes);
    void reset();
    bool hasPendingByte() const { return m_pending >= 0; }

private:
    QString decodeComplete(QByteArrayView bytes);

    QStringDecoder m_decoder;
    int m_pending = -1;
};

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
