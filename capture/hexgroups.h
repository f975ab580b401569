// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>
#include <QString>

// How the receive box shows bytes in hex: each byte as two upper-case
// digits and one space, with nothing else between the groups.
namespace hexgroups {

constexpr int kGroupWidth = 3;
// With timestamps, bytes that come this long or longer after the last start a new line.
constexpr qint64 kPauseMs = 100;

// Writes the groups of bytes to out, which must hold kGroupWidth per byte.
void write(QByteArrayView bytes, QChar *out);
QString format(QByteArrayView bytes);

} // namespace hexgroups
