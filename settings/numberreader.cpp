// SPDX-License-Identifier: MIT
#include "settings/numberreader.h"

#include "capture/hexpattern.h"

#include <QString>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace {

// Far beyond any double's exponent, small enough to add to a text length.
constexpr long long kExponentCap = 1'000'000'000;

char16_t charAt(QStringView text, qsizetype pos)
{
    return pos < text.size() ? text[pos].unicode() : u'\0';
}

qsizetype skipDigits(QStringView text, qsizetype pos)
{
    while (charAt(text, pos) >= u'0' && charAt(text, pos) <= u'9')
        ++pos;
    return pos;
}

// The base announced by "&H" or "&O" at the start, 0 without one.
int radixOf(QStringView text)
{
    if (charAt(text, 0) != u'&')
        return 0;
    switch (charAt(text, 1)) {
    case u'H':
    case u'h': return 16;
    case u'O':
    case u'o': return 8;
    default: return 0;
    }
}

// Beyond 2^53 the double keeps only the magnitude, which is all the range
// checks need; past 256 hexadecimal digits it becomes an infinity.
double readRadixInteger(QStringView digits, int base)
{
    double value = 0;
    for (QChar c : digits) {
        const int digit = hexpattern::digitValue(c);
        if (digit < 0 || digit >= base)
            break;
        value = value * base + digit;
    }
    return value;
}

// The longest decimal number at the start of a text, in its parts.
struct Decimal
{
    bool negative = false;
    QStringView integer;  // digits before the point
    QStringView fraction; // digits after it
    QStringView exponent; // sign and digits after the E
    QStringView magnitude; // from the first digit or point to the end
};

std::optional<Decimal> scanDecimal(QStringView text)
{
    Decimal number;
    number.negative = charAt(text, 0) == u'-';
    const qsizetype start = number.negative || charAt(text, 0) == u'+' ? 1 : 0;
    qsizetype pos = skipDigits(text, start);
    number.integer = text.sliced(start, pos - start);
    if (charAt(text, pos) == u'.') {
        const qsizetype fractionStart = pos + 1;
        pos = skipDigits(text, fractionStart);
        number.fraction = text.sliced(fractionStart, pos - fractionStart);
    }
    if (number.integer.isEmpty() && number.fraction.isEmpty())
        return std::nullopt;
    if (charAt(text, pos) == u'E' || charAt(text, pos) == u'e') {
        const qsizetype digitsStart = pos + 1 + (charAt(text, pos + 1) == u'+' || charAt(text, pos + 1) == u'-');
        const qsizetype digitsEnd = skipDigits(text, digitsStart);
        if (digitsEnd > digitsStart) {
            number.exponent = text.sliced(pos + 1, digitsEnd - pos - 1);
            pos = digitsEnd;
        }
    }
    number.magnitude = text.sliced(start, pos - start);
    return number;
}

long long exponentValue(QStringView exponent)
{
    long long value = 0;
    for (QChar c : exponent) {
        if (c != u'+' && c != u'-')
            value = std::min(value * 10 + (c.unicode() - u'0'), kExponentCap);
    }
    return charAt(exponent, 0) == u'-' ? -value : value;
}

// std::from_chars leaves the value unset when it is out of range, without
// saying whether it lies above or below a double's range: decide that from
// where the first significant digit stands relative to the point.
bool beyondLargestDouble(const Decimal &number)
{
    const auto nonZero = [](QChar c) { return c != u'0'; };
    const auto leadInteger = std::find_if(number.integer.begin(), number.integer.end(), nonZero);
    const auto leadFraction = std::find_if(number.fraction.begin(), number.fraction.end(), nonZero);
    if (leadInteger == number.integer.end() && leadFraction == number.fraction.end())
        return false;
    const long long order = leadInteger != number.integer.end() ? number.integer.end() - leadInteger
                                                                : number.fraction.begin() - leadFraction;
    return order + exponentValue(number.exponent) > 0;
}

double readDecimal(QStringView text)
{
    const std::optional<Decimal> number = scanDecimal(text);
    if (!number)
        return 0;
    // Every character kept is ASCII; from_chars takes no '+' and no locale.
    const std::string digits = number->magnitude.toLatin1().toStdString();
    double value = 0;
    const std::from_chars_result read = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (read.ec == std::errc::result_out_of_range)
        value = beyondLargestDouble(*number) ? std::numeric_limits<double>::infinity() : 0.0;
    return number->negative ? -value : value;
}

} // namespace

double readNumber(QStringView text)
{
    QString kept;
    kept.reserve(text.size());
    for (QChar c : text) {
        if (c != u' ' && c != u'\t' && c != u'\n')
            kept.append(c);
    }

    const int radix = radixOf(kept);
    const double value = radix != 0 ? readRadixInteger(QStringView(kept).sliced(2), radix) : readDecimal(kept);

    // nearbyint rounds in the default mode, to nearest with halves to even;
    // adding zero turns a negative zero into a plain one.
    return std::nearbyint(value) + 0.0;
}
