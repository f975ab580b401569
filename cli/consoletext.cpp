// SPDX-License-Identifier: MIT
#include "cli/consoletext.h"

namespace consoletext {

QString withoutControls(QStringView text)
{
    QString shown = text.toString();
    for (QChar &character : shown) {
        const char16_t code = character.unicode();
        if (code < 0x20 || (code >= 0x7F && code < 0xA0))
            character = QLatin1Char('?');
    }
    return shown;
}

} // namespace consoletext
