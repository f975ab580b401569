// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QtEndian>

// Configuration files as the vendor's tools write them, for the suites.
namespace bitfile {

inline QByteArray bigEndian(quint32 value, int width)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes.right(width);
}

inline QByteArray field(char tag, QByteArray text)
{
    text.append('\0');
    return tag + bigEndian(text.size(), 2) + text;
}

// A header, then the data: FF padding and the sync word.
inline QByteArray make(const QByteArray &part, const QByteArray &extraField = {}, int lengthError = 0,
                       const QByteArray &design = "blinky")
{
    const QByteArray data = QByteArray(32, '\xFF') + QByteArray("\xAA\x99\x55\x66", 4) + QByteArray(64, 'x');
    return bigEndian(9, 2) + QByteArray::fromHex("0ff00ff00ff00ff000") + bigEndian(1, 2)
           + field('a', design + ";UserID=0XFFFFFFFF;Version=2023.1") + extraField + field('b', part)
           + field('c', "2024/01/02") + field('d', "03:04:05") + 'e' + bigEndian(data.size() + lengthError, 4) + data;
}

} // namespace bitfile
