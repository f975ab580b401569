// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <array>

// The texts of the sixteen byte fields, by index.
using ByteRowTexts = std::array<QString, 16>;

// Closes the gaps that empty fields leave in the row: afterwards the filled
// texts stand at 0..n-1 in their former order and the rest are empty.
// Returns the last filled index, n-1, or 0 when every field is empty.
int compactRow(ByteRowTexts &row);
