// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// A macro's line of text as bytes: characters in CP932 (as the text line
// sends them, "?" for what CP932 lacks) and the escapes \r, \n, \t, \\ and
// \xNN (exactly two hex digits) as the bytes they name. Any other backslash
// sequence is refused, naming where.
namespace sendescapes {

struct Parsed
{
    QByteArray bytes;
    // 1-based column of the refused backslash; 0 when read.
    int refusedColumn = 0;
    bool ok() const { return refusedColumn == 0; }
};

Parsed parse(QStringView text);

// The refused sequence as typed, e.g. "\q" or "\x4".
QString refusedSequence(QStringView text, int column);

} // namespace sendescapes
