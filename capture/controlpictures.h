// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// The visible stand-ins for C0 control characters and DEL: the Unicode
// control pictures (U+2400 block), and their abbreviations for drawing them
// where no installed font has those pictures.
namespace controlpictures {

constexpr bool isControl(char16_t unit)
{
    return unit < 0x20 || unit == 0x7F;
}

constexpr char16_t pictureOf(char16_t control)
{
    return control == 0x7F ? char16_t(0x2421) : char16_t(0x2400 + control);
}

constexpr bool isPicture(char16_t unit)
{
    return unit >= 0x2400 && unit <= 0x2421;
}

// "NUL", "ESC", "DEL" ... for a control picture.
QString nameOf(char16_t picture);

} // namespace controlpictures
