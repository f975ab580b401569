// SPDX-License-Identifier: MIT
#include "serial/lineerrors.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

constexpr std::array<int, 5> kOrder{commevent::kBreak, commevent::kFrame, commevent::kOverrun,
                                    commevent::kRxOverflow, commevent::kParity};

// The counters in the order of their codes above.
constexpr std::array<std::uint32_t LineErrorCounters::*, 5> kFields{
    &LineErrorCounters::brk, &LineErrorCounters::frame, &LineErrorCounters::overrun,
    &LineErrorCounters::bufOverrun, &LineErrorCounters::parity};

// Events come in code order, each at most once.
void requireOrdered(const QList<int> &events)
{
    qsizetype next = 0;
    for (int event : events) {
        while (next < qsizetype(kOrder.size()) && kOrder[next] != event)
            ++next;
        require(next < qsizetype(kOrder.size()));
        ++next;
    }
}

// A later reading is mostly the same counter, a little more, a little less
// (a reset driver) or across the wrap; arbitrary pairs rarely show those.
std::uint32_t laterReading(FuzzedDataProvider &input, std::uint32_t before)
{
    switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return before;
    case 1:
        return before + input.ConsumeIntegralInRange<std::uint32_t>(1, 1000);
    case 2:
        return before - input.ConsumeIntegralInRange<std::uint32_t>(1, 1000);
    default:
        return input.ConsumeIntegral<std::uint32_t>();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    LineErrorCounters before;
    LineErrorCounters after;
    for (auto field : kFields) {
        before.*field = input.ConsumeIntegral<std::uint32_t>();
        after.*field = laterReading(input, before.*field);
    }

    const QList<int> forward = lineErrorEvents(before, after);
    const QList<int> backward = lineErrorEvents(after, before);
    requireOrdered(forward);
    requireOrdered(backward);
    require(lineErrorEvents(before, before).isEmpty());
    require(lineErrorEvents(after, after).isEmpty());
    if (before == after)
        require(forward.isEmpty());

    // A counter that moved went either up or down, never both; only a move
    // of exactly half the range is neither.
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        const std::uint32_t step = after.*kFields[i] - before.*kFields[i];
        const bool up = forward.contains(kOrder[i]);
        const bool down = backward.contains(kOrder[i]);
        require(!(up && down));
        require((up || down) == (step != 0 && step != 0x80000000u));
    }
    return 0;
}
