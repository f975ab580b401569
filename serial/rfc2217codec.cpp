// SPDX-License-Identifier: MIT
#include "serial/rfc2217codec.h"

#include <utility>

namespace {

constexpr std::uint8_t kIac = 255;
constexpr std::uint8_t kDont = 254;
constexpr std::uint8_t kDo = 253;
constexpr std::uint8_t kWont = 252;
constexpr std::uint8_t kWill = 251;
constexpr std::uint8_t kSb = 250;
constexpr std::uint8_t kSe = 240;
constexpr std::uint8_t kBinary = 0;
constexpr std::uint8_t kEcho = 1;
constexpr std::uint8_t kSuppressGoAhead = 3;

// The options this client takes when the server offers or asks for them.
bool accepted(std::uint8_t option)
{
    return option == kBinary || option == kSuppressGoAhead || option == Rfc2217Codec::kComPortOption
           || option == kEcho;
}

QByteArray triple(std::uint8_t verb, std::uint8_t option)
{
    return QByteArray{"\xff", 1} + char(verb) + char(option);
}

} // namespace

QByteArray Rfc2217Codec::greeting()
{
    for (const std::uint8_t option : {kBinary, kSuppressGoAhead, kComPortOption}) {
        m_answered.set(std::size_t(kWill - kWill) * 256 + option);
        m_answered.set(std::size_t(kDo - kWill) * 256 + option);
    }
    return triple(kWill, kComPortOption) + triple(kWill, kBinary) + triple(kDo, kBinary)
           + triple(kWill, kSuppressGoAhead) + triple(kDo, kSuppressGoAhead);
}

QByteArray Rfc2217Codec::escapeData(const QByteArray &data)
{
    if (!data.contains(char(kIac)))
        return data;
    QByteArray escaped;
    escaped.reserve(data.size() + data.count(char(kIac)));
    for (const char byte : data) {
        escaped += byte;
        if (std::uint8_t(byte) == kIac)
            escaped += byte;
    }
    return escaped;
}

QByteArray Rfc2217Codec::command(std::uint8_t command, const QByteArray &value)
{
    return QByteArray{"\xff", 1} + char(kSb) + char(kComPortOption) + char(command) + escapeData(value)
           + char(kIac) + char(kSe);
}

QByteArray Rfc2217Codec::command(std::uint8_t code, std::uint8_t value)
{
    return command(code, QByteArray(1, char(value)));
}

QByteArray Rfc2217Codec::baudRateValue(std::uint32_t baud)
{
    const char bytes[] = {char(baud >> 24), char(baud >> 16), char(baud >> 8), char(baud)};
    return QByteArray(bytes, sizeof bytes);
}

std::uint32_t Rfc2217Codec::baudRateOf(const QByteArray &value)
{
    std::uint32_t baud = 0;
    for (qsizetype i = 0; i < qMin<qsizetype>(4, value.size()); ++i)
        baud = baud << 8 | std::uint8_t(value.at(i));
    return baud;
}

void Rfc2217Codec::decode(const char *bytes, qsizetype size, QByteArray &data)
{
    for (qsizetype i = 0; i < size; ++i) {
        const auto byte = std::uint8_t(bytes[i]);
        switch (m_state) {
        case State::Data:
            if (byte == kIac)
                m_state = State::Iac;
            else
                data += char(byte);
            break;
        case State::Iac:
            if (byte == kIac) {
                data += char(byte);
                m_state = State::Data;
            } else if (byte >= kWill) {
                m_verb = byte;
                m_state = State::Verb;
            } else {
                // SB starts a subnegotiation; NOP, GA and the rest carry nothing for us.
                m_state = byte == kSb ? State::SubOption : State::Data;
            }
            break;
        case State::Verb:
            negotiate(m_verb, byte);
            m_state = State::Data;
            break;
        case State::SubOption:
            m_subOption = byte;
            m_sub.clear();
            m_subOverflow = false;
            m_state = State::Sub;
            break;
        case State::Sub:
            if (byte == kIac)
                m_state = State::SubIac;
            else if (m_sub.size() < kMaxSubnegotiation)
                m_sub += char(byte);
            else
                m_subOverflow = true;
            break;
        case State::SubIac:
            if (byte == kIac) {
                m_state = State::Sub;
                if (m_sub.size() < kMaxSubnegotiation)
                    m_sub += char(byte);
                else
                    m_subOverflow = true;
            } else {
                // IAC SE ends it; anything else after IAC is a broken one, ended as well.
                endSubnegotiation();
                m_state = State::Data;
            }
            break;
        }
    }
}

void Rfc2217Codec::negotiate(std::uint8_t verb, std::uint8_t option)
{
    const std::size_t slot = std::size_t(verb - kWill) * 256 + option;
    if (m_answered.test(slot))
        return;
    m_answered.set(slot);
    // The server offers (WILL) or asks (DO); refusals need no answer.
    if (verb == kWill)
        m_replies += triple(accepted(option) ? kDo : kDont, option);
    else if (verb == kDo)
        m_replies += triple(accepted(option) && option != kEcho ? kWill : kWont, option);
}

void Rfc2217Codec::endSubnegotiation()
{
    if (m_subOption != kComPortOption || m_subOverflow || m_sub.isEmpty())
        return;
    const auto code = std::uint8_t(m_sub.at(0));
    if (code < kServerOffset)
        return;
    if (m_answers.size() >= kMaxAnswers) {
        ++m_droppedAnswers;
        return;
    }
    m_answers.append(Answer{std::uint8_t(code - kServerOffset), m_sub.mid(1)});
}

QList<Rfc2217Codec::Answer> Rfc2217Codec::takeAnswers()
{
    return std::exchange(m_answers, {});
}

QByteArray Rfc2217Codec::takeReplies()
{
    return std::exchange(m_replies, {});
}
