// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>

// The texts tolvane-cli shows about a download under way and done. Pure
// functions of the figures, so that they are tested without a line.
namespace transferfigures {

// "409600 / 900000 bytes   45%  11520 B/s  0:43 left" for a terminal.
QString terminalLine(qint64 sent, qint64 total, double seconds);
// "40% (409600 of 900000 bytes)": one per tenth when not on a terminal.
QString plainLine(int tenths, qint64 sent, qint64 total);
// Tenths of the total reached, 0..10; an empty total is done at once.
int tenthsReached(qint64 sent, qint64 total);
// "sent 900 bytes in 3 blocks, 0.08 s, 11250 B/s, CRC-32 1a2b3c4d".
QString summary(qint64 bytes, int blocks, double seconds, std::uint32_t crc);
// CRC-32 (IEEE 802.3), continued from previous; Qt has only qChecksum's CRC-16.
std::uint32_t crc32(QByteArrayView bytes, std::uint32_t previous = 0);

} // namespace transferfigures
