// SPDX-License-Identifier: MIT
#include "transmit/compactrow.h"

namespace {

// A pass can leave gaps: a text that moves into an emptied place is not
// looked at again in that pass. Six passes close every pattern of sixteen
// fields and leave the last filled index right; all six always run.
constexpr int kPasses = 6;

} // namespace

int compactRow(ByteRowTexts &row)
{
    const int size = int(row.size());
    int lastFilled = 0;
    for (int pass = 0; pass < kPasses; ++pass) {
        for (int i = 0; i < size; ++i) {
            if (!row[i].isEmpty()) {
                lastFilled = i;
                continue;
            }
            for (int j = i + 1; j < size; ++j) {
                row[j - 1] = row[j];
                row[j].clear();
            }
        }
    }
    return lastFilled;
}
