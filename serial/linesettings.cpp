// SPDX-License-Identifier: MIT
#include "serial/linesettings.h"

#include <QList>

std::optional<LineSettings> parseLineSettings(QStringView text)
{
    const QList<QStringView> fields = text.split(u',');
    if (fields.size() != 4)
        return std::nullopt;

    bool baudOk = false;
    bool dataOk = false;
    bool stopOk = false;
    LineSettings settings;
    settings.baudRate = fields[0].trimmed().toInt(&baudOk);
    settings.dataBits = fields[2].trimmed().toInt(&dataOk);
    settings.stopBits = fields[3].trimmed().toInt(&stopOk);

    const QStringView parity = fields[1].trimmed();
    if (parity.size() != 1 || !QStringView(u"neoms").contains(parity.front().toLower()))
        return std::nullopt;
    settings.parity = char(parity.front().toLower().unicode());

    if (!baudOk || settings.baudRate <= 0 || !dataOk || settings.dataBits < 5
        || settings.dataBits > 8 || !stopOk || (settings.stopBits != 1 && settings.stopBits != 2))
        return std::nullopt;
    return settings;
}
