// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringView>

// The rules of a byte typed as hexadecimal text: one or two of 0-9 and A-F,
// compared by character code.

bool isHexDigitCharacter(QChar character);

// What the box check leaves in a field that was given this text: the text
// with a-f turned into A-F when every character is a hexadecimal digit, and
// the empty text as soon as one is not.
QString checkHexByteText(QStringView text);

// The byte a field's text stands for: a lone digit is its own value (7 is
// 0x07), two digits are 16 x first + second, the empty text is 0.
quint8 hexByteValue(QStringView text);
