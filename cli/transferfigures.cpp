// SPDX-License-Identifier: MIT
#include "cli/transferfigures.h"

#include <array>
#include <cmath>

namespace transferfigures {
namespace {

// Eight tables, so that eight bytes take eight lookups and no loop-carried
// shift per byte ("slicing by 8"): the CRC must keep up with an unpaced line.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr CrcTables makeCrcTables()
{
    CrcTables tables{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        tables[0][i] = value;
    }
    for (std::size_t t = 1; t < tables.size(); ++t) {
        for (std::size_t i = 0; i < 256; ++i)
            tables[t][i] = (tables[t - 1][i] >> 8) ^ tables[0][tables[t - 1][i] & 0xFF];
    }
    return tables;
}

constexpr CrcTables kCrc = makeCrcTables();

QString clock(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString terminalLine(qint64 sent, qint64 total, double seconds)
{
    const double rate = seconds > 0 ? sent / seconds : 0;
    const QString left = rate > 0 ? clock(qint64(std::ceil((total - sent) / rate))) : QStringLiteral("-:--");
    const int percent = total > 0 ? int(sent * 100 / total) : 100;
    return QStringLiteral("%1 / %2 bytes  %3%  %4 B/s  %5 left")
        .arg(sent)
        .arg(total)
        .arg(percent, 3)
        .arg(qint64(rate))
        .arg(left);
}

QString plainLine(int tenths, qint64 sent, qint64 total)
{
    return QStringLiteral("%1% (%2 of %3 bytes)").arg(tenths * 10).arg(sent).arg(total);
}

int tenthsReached(qint64 sent, qint64 total)
{
    return total > 0 ? int(qBound<qint64>(0, sent, total) * 10 / total) : 10;
}

QString summary(qint64 bytes, int blocks, double seconds, std::uint32_t crc)
{
    const qint64 rate = seconds > 0 ? qint64(bytes / seconds) : 0;
    return QStringLiteral("sent %1 bytes in %2 blocks, %3 s, %4 B/s, CRC-32 %5")
        .arg(bytes)
        .arg(blocks)
        .arg(seconds, 0, 'f', 2)
        .arg(rate)
        .arg(crc, 8, 16, QLatin1Char('0'));
}

std::uint32_t crc32(QByteArrayView bytes, std::uint32_t previous)
{
    std::uint32_t crc = ~previous;
    const auto *data = reinterpret_cast<const std::uint8_t *>(bytes.data());
    qsizetype left = bytes.size();
    for (; left >= 8; left -= 8, data += 8) {
        const std::uint32_t low = crc ^ (data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t(data[3]) << 24);
        crc = kCrc[7][low & 0xFF] ^ kCrc[6][(low >> 8) & 0xFF] ^ kCrc[5][(low >> 16) & 0xFF] ^ kCrc[4][low >> 24]
              ^ kCrc[3][data[4]] ^ kCrc[2][data[5]] ^ kCrc[1][data[6]] ^ kCrc[0][data[7]];
    }
    for (; left > 0; --left, ++data)
        crc = kCrc[0][(crc ^ *data) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

} // namespace transferfigures
