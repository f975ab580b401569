// SPDX-License-Identifier: MIT
#include "capture/hexpattern.h"

namespace hexpattern {

namespace {

bool isBlank(QChar character)
{
    return character == u' ' || character == u'\t';
}

// Appends the run's bytes; false when the run is not one of the two shapes.
bool readRun(QStringView run, QByteArray &bytes)
{
    for (const QChar character : run) {
        if (digitValue(character) < 0)
            return false;
    }
    if (run.size() == 1) {
        bytes.append(char(digitValue(run[0])));
        return true;
    }
    if (run.size() % 2 != 0)
        return false;
    for (qsizetype i = 0; i < run.size(); i += 2)
        bytes.append(char(digitValue(run[i]) * 16 + digitValue(run[i + 1])));
    return true;
}

} // namespace

int digitValue(QChar character)
{
    const char16_t code = character.unicode();
    if (code >= u'0' && code <= u'9')
        return code - u'0';
    if (code >= u'A' && code <= u'F')
        return code - u'A' + 10;
    if (code >= u'a' && code <= u'f')
        return code - u'a' + 10;
    return -1;
}

Parsed parse(QStringView text)
{
    Parsed parsed;
    qsizetype at = 0;
    while (at < text.size()) {
        if (isBlank(text[at])) {
            ++at;
            continue;
        }
        qsizetype end = at;
        while (end < text.size() && !isBlank(text[end]))
            ++end;
        if (!readRun(text.mid(at, end - at), parsed.bytes))
            return {{}, int(at + 1)};
        at = end;
    }
    if (parsed.bytes.isEmpty())
        return {{}, 1};
    return parsed;
}

QString refusal(QStringView text, int column)
{
    QStringView run = text.mid(column - 1);
    qsizetype end = 0;
    while (end < run.size() && !isBlank(run[end]))
        ++end;
    if (end == 0)
        return QStringLiteral("column %1: no hex bytes").arg(column);
    return QStringLiteral("column %1: \"%2\" is not hex bytes (pairs of digits, or one digit)")
        .arg(column)
        .arg(run.left(end).toString());
}

} // namespace hexpattern
