// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

// Reads back a block that the receive store has moved out of memory.
class BlockReader
{
public:
    virtual ~BlockReader() = default;

    // False, with the reason in errorString(), when the bytes cannot be read.
    [[nodiscard]] virtual bool read(qint64 offset, void *data, qint64 size) = 0;
    virtual QString errorString() const = 0;
};
