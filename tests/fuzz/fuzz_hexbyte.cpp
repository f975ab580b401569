// SPDX-License-Identifier: MIT
#include "transmit/hexbytetext.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// Written apart from the code under test, from what a hex digit is.
bool isHexDigitEitherCase(char16_t code)
{
    return (code >= u'0' && code <= u'9') || (code >= u'A' && code <= u'F') || (code >= u'a' && code <= u'f');
}

bool isUpperHexDigit(char16_t code)
{
    return (code >= u'0' && code <= u'9') || (code >= u'A' && code <= u'F');
}

} // namespace

// The input is read as UTF-16 units, so that every character a field can hold
// (lone surrogates, ligatures, full-width digits) reaches the check.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QString text(qsizetype(size / 2), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(char16_t(data[2 * i] | data[2 * i + 1] << 8));

    bool allHex = !text.isEmpty();
    for (QChar c : std::as_const(text)) {
        require(isHexDigitCharacter(c) == isUpperHexDigit(c.unicode()));
        allHex = allHex && isHexDigitEitherCase(c.unicode());
    }

    const QString checked = checkHexByteText(text);
    require(checked.isEmpty() != allHex);
    if (allHex) {
        require(checked.size() == text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            require(isUpperHexDigit(checked[i].unicode()));
            require(checked[i].toUpper() == text[i].toUpper());
        }
    }
    require(checkHexByteText(checked) == checked);

    // Only the first two digits count; a field holds no more.
    const QString digits = checked.left(2);
    const unsigned reference = digits.isEmpty() ? 0 : digits.toUInt(nullptr, 16);
    require(hexByteValue(checked) == reference);
    require(hexByteValue(digits) == reference);

    // Unchecked text must still give some byte without reading past its end.
    (void)hexByteValue(text);
    return 0;
}
