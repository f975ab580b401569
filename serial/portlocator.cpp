// SPDX-License-Identifier: MIT
#include "serial/portlocator.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace portlocator {

QString portDirectory()
{
    const QString fromEnvironment = qEnvironmentVariable("TOLVANE_PORT_DIR");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    // GenericConfigLocation honours XDG_CONFIG_HOME and falls back to ~/.config.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/tolvane/ports");
}

QString devicePathForPort(int commPort)
{
    const QString link = QDir(portDirectory()).filePath(QStringLiteral("com%1").arg(commPort));
    const QFileInfo entry(link);
    if (entry.exists())
        return entry.canonicalFilePath();
    // A com<n> link whose device is unplugged still names the port the user
    // meant; opening it then fails with that name instead of opening ttyS.
    if (entry.isSymLink())
        return entry.symLinkTarget();
    return QStringLiteral("/dev/ttyS%1").arg(commPort - 1);
}

} // namespace portlocator
