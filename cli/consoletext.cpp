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

QString LineStamper::stamp(QStringView text, QTime now)
{
    const QString prefix = now.toString(QStringLiteral("[HH:mm:ss.zzz] "));
    QString stamped;
    stamped.reserve(text.size() + prefix.size());
    for (const QChar character : text) {
        if (m_atLineStart)
            stamped += prefix;
        stamped += character;
        m_atLineStart = character == QLatin1Char('\n');
    }
    return stamped;
}

QString LineStamper::breakLine()
{
    const bool wasAtStart = m_atLineStart;
    m_atLineStart = true;
    return wasAtStart ? QString() : QStringLiteral("\n");
}
