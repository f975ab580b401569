// SPDX-License-Identifier: MIT
#pragma once

#include <QList>

#include <cstdint>
#include <optional>

// The kernel's per-port line error counters (TIOCGICOUNT) that map to events.
struct LineErrorCounters
{
    std::uint32_t brk = 0;
    std::uint32_t frame = 0;
    std::uint32_t overrun = 0;
    std::uint32_t bufOverrun = 0;
    std::uint32_t parity = 0;

    friend bool operator==(const LineErrorCounters &, const LineErrorCounters &) = default;
};

namespace commevent {

constexpr int kReceive = 2;
constexpr int kBreak = 1001;
constexpr int kFrame = 1004;
constexpr int kOverrun = 1006;
constexpr int kRxOverflow = 1008;
constexpr int kParity = 1009;

// Codes 1 to 7 are data and modem events (receive, line changes, ring,
// transmit buffer low, end-of-file character); every other code is an error
// the operator is told of.
constexpr bool isError(int code)
{
    return code < 1 || code > 7;
}

} // namespace commevent

// One event code per counter that went up between two readings, in code order.
QList<int> lineErrorEvents(const LineErrorCounters &before, const LineErrorCounters &after);

// Reads the counters of an open tty; nothing when its driver keeps none
// (pseudo-terminals, some USB adapters).
std::optional<LineErrorCounters> readLineErrorCounters(int fd);
