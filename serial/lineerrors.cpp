// SPDX-License-Identifier: MIT
#include "serial/lineerrors.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

QList<int> lineErrorEvents(const LineErrorCounters &before, const LineErrorCounters &after)
{
    // Counters wrap at 2^32; unsigned subtraction keeps "went up" right across the wrap.
    const auto rose = [](std::uint32_t from, std::uint32_t to) {
        return std::uint32_t(to - from) != 0 && std::uint32_t(to - from) < 0x80000000u;
    };
    QList<int> events;
    if (rose(before.brk, after.brk))
        events.append(commevent::kBreak);
    if (rose(before.frame, after.frame))
        events.append(commevent::kFrame);
    if (rose(before.overrun, after.overrun))
        events.append(commevent::kOverrun);
    if (rose(before.bufOverrun, after.bufOverrun))
        events.append(commevent::kRxOverflow);
    if (rose(before.parity, after.parity))
        events.append(commevent::kParity);
    return events;
}

std::optional<LineErrorCounters> readLineErrorCounters(int fd)
{
    serial_icounter_struct counters{};
    if (::ioctl(fd, TIOCGICOUNT, &counters) != 0)
        return std::nullopt;
    return LineErrorCounters{std::uint32_t(counters.brk), std::uint32_t(counters.frame),
                             std::uint32_t(counters.overrun), std::uint32_t(counters.buf_overrun),
                             std::uint32_t(counters.parity)};
}
