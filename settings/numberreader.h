// SPDX-License-Identifier: MIT
#pragma once

#include <QStringView>

#include <limits>
#include <optional>

// The number a settings field holds. Blanks, tabs and line feeds are
// ignored wherever they stand. The rest is read from its start as a decimal
// number (optional sign, digits, optional full stop whatever the locale,
// optional exponent E with optional sign), or after "&H" / "&O" as a
// hexadecimal or octal integer, up to the first character that cannot
// continue it; a text with no number reads as 0. The value is rounded to
// the nearest integer, exact halves to the even neighbour. A value beyond
// a double comes back as an infinity of its sign.
double readNumber(QStringView text);

// The field's number when the integer type holds it, nothing otherwise, so
// that a huge value is refused instead of wrapping into range.
template<typename Integer>
std::optional<Integer> readInteger(QStringView text)
{
    static_assert(std::numeric_limits<Integer>::digits <= 32, "the bounds must be exact doubles");
    const double value = readNumber(text);
    // Written so that a NaN would fail as well: converting one is undefined.
    if (!(value >= double(std::numeric_limits<Integer>::min())
          && value <= double(std::numeric_limits<Integer>::max()))) {
        return std::nullopt;
    }
    return static_cast<Integer>(value);
}
