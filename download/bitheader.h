// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// What the header at the start of a .bit file says about its design. The
// file is sent whole either way; the header is only shown and compared.
struct BitHeader
{
    QString design;  // field a up to its first ';'
    QString userId;  // ";UserID=..." of field a, when given
    QString version; // ";Version=..." of field a, when given
    QString part;    // field b
    QString date;    // field c
    QString time;    // field d
    qint64 dataOffset = 0; // where the configuration data starts
    qint64 dataLength = 0; // field e
};

// Reads the header from the first bytes of a file of fileSize bytes; nothing
// when those bytes do not hold a whole, consistent header.
std::optional<BitHeader> readBitHeader(QByteArrayView head, qint64 fileSize);
// The same from a file on disk; nothing when it cannot be read either.
std::optional<BitHeader> readBitHeaderOfFile(const QString &path);
// "design / part / date time", or the empty text without a header.
QString headerLine(const std::optional<BitHeader> &header);
