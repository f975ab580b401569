// SPDX-License-Identifier: MIT
#include "download/bitheader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

// Whatever the bytes, the reader answers without reading past them, and a
// header it reports fits inside the file it was told of.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    for (const qint64 fileSize : {qint64(size), qint64(size) + 1000}) {
        const std::optional<BitHeader> header = readBitHeader(bytes, fileSize);
        if (!header)
            continue;
        require(header->dataOffset > 0 && header->dataOffset <= qint64(size));
        require(header->dataLength >= 0 && header->dataOffset + header->dataLength <= fileSize);
        require(!headerLine(header).isEmpty());
    }
    return 0;
}
