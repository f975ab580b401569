// SPDX-License-Identifier: MIT
#include "serial/sendescapes.h"

#include "capture/hexpattern.h"
#include "serial/cp932codec.h"

#include <utility>

namespace sendescapes {
namespace {

// The byte of the escape at text[at] (a backslash) and its length; length 0 when refused.
std::pair<char, qsizetype> escape(QStringView text, qsizetype at)
{
    const QChar next = at + 1 < text.size() ? text[at + 1] : QChar();
    switch (next.unicode()) {
    case u'r':
        return {'\r', 2};
    case u'n':
        return {'\n', 2};
    case u't':
        return {'\t', 2};
    case u'\\':
        return {'\\', 2};
    case u'x':
        if (at + 3 < text.size() && hexpattern::digitValue(text[at + 2]) >= 0 && hexpattern::digitValue(text[at + 3]) >= 0)
            return {char(hexpattern::digitValue(text[at + 2]) * 16 + hexpattern::digitValue(text[at + 3])), 4};
        return {0, 0};
    default:
        return {0, 0};
    }
}

} // namespace

Parsed parse(QStringView text)
{
    Parsed parsed;
    qsizetype plainStart = 0;
    qsizetype at = 0;
    while (at < text.size()) {
        if (text[at] != u'\\') {
            ++at;
            continue;
        }
        const auto [byte, length] = escape(text, at);
        if (length == 0)
            return {{}, int(at + 1)};
        parsed.bytes += encodeCp932(text.mid(plainStart, at - plainStart));
        parsed.bytes += byte;
        at += length;
        plainStart = at;
    }
    parsed.bytes += encodeCp932(text.mid(plainStart));
    return parsed;
}

QString refusedSequence(QStringView text, int column)
{
    const QStringView from = text.mid(column - 1);
    if (from.size() >= 2 && from[1] == u'x') {
        qsizetype end = 2;
        while (end < from.size() && end < 4 && hexpattern::digitValue(from[end]) >= 0)
            ++end;
        return from.left(end).toString();
    }
    return from.left(2).toString();
}

} // namespace sendescapes
