// SPDX-License-Identifier: MIT
#include "capture/controlpictures.h"

namespace controlpictures {

QString nameOf(char16_t picture)
{
    static const char *const kNames[] = {
        "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS", "HT", "LF",
        "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
        "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US",  "SP",  "DEL",
    };
    if (!isPicture(picture))
        return {};
    return QString::fromLatin1(kNames[picture - 0x2400]);
}

} // namespace controlpictures
