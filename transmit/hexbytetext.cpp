// SPDX-License-Identifier: MIT
#include "transmit/hexbytetext.h"

#include "capture/hexpattern.h"

namespace {

// Only a-z are upper-cased: QString::toUpper() would turn the ligature
// U+FB00 into "FF" and so let a character other than a-f pass as digits.
QChar toUpperAscii(QChar character)
{
    const char16_t code = character.unicode();
    return code >= u'a' && code <= u'z' ? QChar(char16_t(code - u'a' + u'A')) : character;
}

} // namespace

bool isHexDigitCharacter(QChar character)
{
    const char16_t code = character.unicode();
    return (code >= u'0' && code <= u'9') || (code >= u'A' && code <= u'F');
}

QString checkHexByteText(QStringView text)
{
    QString upper;
    upper.reserve(text.size());
    for (QChar character : text)
        upper.append(toUpperAscii(character));
    for (QChar character : std::as_const(upper)) {
        if (!isHexDigitCharacter(character))
            return {};
    }
    return upper;
}

quint8 hexByteValue(QStringView text)
{
    // The box holds only checked upper-case digits; anything else counts as 0.
    const auto digit = [](QChar character) { return isHexDigitCharacter(character) ? hexpattern::digitValue(character) : 0; };
    const int high = text.size() >= 1 ? digit(text[0]) : 0;
    const int low = text.size() >= 2 ? digit(text[1]) : 0;
    return quint8(text.size() == 1 ? high : 16 * high + low);
}
