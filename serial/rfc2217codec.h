// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>

#include <bitset>
#include <cstdint>

// The telnet layer of a network serial port, both ways, without a socket:
// data bytes with IAC doubled, option negotiation and the COM-PORT-OPTION
// subnegotiations (RFC 854, RFC 2217). What it reads comes from the network
// and is untrusted: every buffer it keeps is bounded.
class Rfc2217Codec
{
public:
    // Client-to-server command codes; a server answers with code + 100.
    enum Command : std::uint8_t {
        SetBaudRate = 1,
        SetDataSize = 2,
        SetParity = 3,
        SetStopSize = 4,
        SetControl = 5,
        NotifyLineState = 6,
        NotifyModemState = 7,
        SetLineStateMask = 10,
        PurgeData = 12,
    };
    static constexpr std::uint8_t kServerOffset = 100;
    static constexpr std::uint8_t kComPortOption = 44;
    // The longest subnegotiation kept; a longer one is read and dropped.
    static constexpr qsizetype kMaxSubnegotiation = 64;
    // Answers kept until taken; more are counted as dropped.
    static constexpr qsizetype kMaxAnswers = 256;

    // A COM-PORT-OPTION message from the server: its command code without
    // the offset, and its value (a baud rate's four bytes, or one byte).
    struct Answer
    {
        std::uint8_t command = 0;
        QByteArray value;
        bool operator==(const Answer &) const = default;
    };

    // The client's first words: it will speak COM-PORT-OPTION and binary
    // both ways. The server's agreement to them then needs no reply.
    QByteArray greeting();
    static QByteArray escapeData(const QByteArray &data);
    static QByteArray command(std::uint8_t command, const QByteArray &value);
    static QByteArray command(std::uint8_t command, std::uint8_t value);
    static QByteArray baudRateValue(std::uint32_t baud);
    static std::uint32_t baudRateOf(const QByteArray &value);

    // Reads what came from the network: data bytes are appended to data;
    // answers are kept for takeAnswers(); replies to the server's option
    // requests are kept for takeReplies().
    void decode(const char *bytes, qsizetype size, QByteArray &data);
    QList<Answer> takeAnswers();
    QByteArray takeReplies();
    qint64 droppedAnswers() const { return m_droppedAnswers; }

private:
    enum class State { Data, Iac, Verb, SubOption, Sub, SubIac };

    void negotiate(std::uint8_t verb, std::uint8_t option);
    void endSubnegotiation();

    State m_state = State::Data;
    std::uint8_t m_verb = 0;
    std::uint8_t m_subOption = 0;
    bool m_subOverflow = false;
    QByteArray m_sub;
    QList<Answer> m_answers;
    QByteArray m_replies;
    // Requests already answered, so that a server repeating one gets no
    // second reply and negotiation cannot loop.
    std::bitset<256 * 4> m_answered;
    qint64 m_droppedAnswers = 0;
};
