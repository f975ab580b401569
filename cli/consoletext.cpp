// SPDX-License-Identifier: MIT
#include "cli/consoletext.h"

#include "transmit/hexbytetext.h"

#include <QRegularExpression>

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

std::optional<QByteArray> parseHexBytes(QStringView text)
{
    static const QRegularExpression kBlanks(QStringLiteral("\\s+"));
    QByteArray bytes;
    for (const QString &group : text.toString().split(kBlanks, Qt::SkipEmptyParts)) {
        const QString checked = checkHexByteText(group);
        if (checked.isEmpty() || checked.size() > 2)
            return std::nullopt;
        bytes.append(char(hexByteValue(checked)));
    }
    if (bytes.isEmpty())
        return std::nullopt;
    return bytes;
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
