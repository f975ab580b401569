// SPDX-License-Identifier: MIT
#include "settings/numberreader.h"

#include <QString>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool startsWithDecimal(QStringView text)
{
    for (QChar c : text) {
        if (c != u' ' && c != u'\t' && c != u'\n')
            return (c >= u'0' && c <= u'9') || c == u'.';
    }
    return false;
}

} // namespace

// Whatever the text, the rule gives an integer or an infinity, agrees with
// its 32-bit form, and behaves the same under changes that cannot matter.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const double value = readNumber(text);

    require(!std::isnan(value));
    require(std::isinf(value) || value == std::trunc(value));
    require(!(value == 0 && std::signbit(value)));

    const std::optional<std::int32_t> integer = readInteger<std::int32_t>(text);
    const bool fits = value >= std::numeric_limits<std::int32_t>::min()
                      && value <= std::numeric_limits<std::int32_t>::max();
    require(integer.has_value() == fits);
    require(!integer || double(*integer) == value);

    // An x can continue no number, wherever the reading stopped.
    require(readNumber(text + u'x') == value);
    if (startsWithDecimal(text))
        require(readNumber(u'-' + text) == -value);
    if (std::abs(value) < 1e15)
        require(readNumber(QString::number(qint64(value))) == value);
    return 0;
}
