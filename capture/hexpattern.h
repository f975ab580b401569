// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// The one way bytes are typed as hexadecimal text, wherever a run of bytes
// is typed (the command line's send, the search window, macros): blanks
// (space, tab) split the text into runs; a run of an even number of digits
// is read as pairs ("0D0A"), a run of one digit is that value ("D A" is
// 0D 0A). Anything else is refused, naming where.
namespace hexpattern {

struct Parsed
{
    QByteArray bytes;
    // 1-based column of the first character of the refused run; 0 when read.
    int refusedColumn = 0;
    bool ok() const { return refusedColumn == 0; }
};

Parsed parse(QStringView text);

// 0-15 for 0-9, A-F and a-f; -1 for any other character.
int digitValue(QChar character);

// "column 3: 0D0 is not hex bytes", in English for the command line.
QString refusal(QStringView text, int column);

} // namespace hexpattern
