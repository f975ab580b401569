#include "cli/transferfigures.h"

#include <array>
#include <cmath>

namespace transferfigures {
namespace {

constexpr std::array<std::uint32_t, 256> makeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        table[i] = value;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = makeCrcTable();

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
    for (const char byte : bytes)
        crc = kCrcTable[(crc ^ std::uint8_t(byte)) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

} // namespace transferfigures
