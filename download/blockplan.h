// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <cstdint>

// How a file of length L goes out with nByte bytes left off its end: the
// payload P = L - nByte, N full blocks of 400 bytes and a final block of R
// bytes. Signed 32-bit throughout; P and R are negative when the file is
// shorter than nByte.
struct BlockPlan
{
    static constexpr qint32 kBlockSize = 400;

    qint32 length = 0;
    qint32 payload = 0;
    qint32 fullBlocks = 0;
    qint32 remainder = 0;

    // Output calls the plan makes: N, plus one when R > 0.
    qint32 blockCount() const { return fullBlocks + (remainder > 0 ? 1 : 0); }
    qint32 blockSize(qint32 index) const { return index < fullBlocks ? kBlockSize : remainder; }
};

BlockPlan planBlocks(qint32 length, std::uint8_t nByte);
