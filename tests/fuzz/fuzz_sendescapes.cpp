// SPDX-License-Identifier: MIT
#include "serial/cp932codec.h"
#include "serial/sendescapes.h"

#include <QString>

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

// The input is read twice: as UTF-16 text a macro could hold, and as bytes
// written back as \xNN escapes, which must come out as those bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QString text(qsizetype(size / 2), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(char16_t(data[2 * i] | data[2 * i + 1] << 8));

    const sendescapes::Parsed parsed = sendescapes::parse(text);
    if (!text.contains(u'\\'))
        require(parsed.ok() && parsed.bytes == encodeCp932(text));
    if (!parsed.ok()) {
        require(parsed.refusedColumn >= 1 && parsed.refusedColumn <= text.size());
        require(text[parsed.refusedColumn - 1] == u'\\');
        require(parsed.bytes.isEmpty());
        require(sendescapes::refusedSequence(text, parsed.refusedColumn).startsWith(u'\\'));
    }

    QString escaped;
    for (std::size_t i = 0; i < size; ++i)
        escaped += QStringLiteral("\\x%1").arg(data[i], 2, 16, QLatin1Char('0'));
    const sendescapes::Parsed back = sendescapes::parse(escaped);
    require(back.ok() && back.bytes == QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
