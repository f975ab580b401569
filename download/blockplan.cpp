// SPDX-License-Identifier: MIT
#include "download/blockplan.h"

BlockPlan planBlocks(qint32 length, std::uint8_t nByte)
{
    BlockPlan plan;
    plan.length = length;
    plan.payload = length - nByte;
    // Integer division truncates toward zero, so a negative payload gives
    // no full block and a negative remainder.
    plan.fullBlocks = plan.payload / BlockPlan::kBlockSize;
    plan.remainder = plan.payload - BlockPlan::kBlockSize * plan.fullBlocks;
    return plan;
}
