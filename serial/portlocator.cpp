// SPDX-License-Identifier: MIT
#include "serial/portlocator.h"

#include "serial/networkaddress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <climits>
#include <unistd.h>

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

QString linkText(const QString &path)
{
    // QFileInfo::symLinkTarget() makes the text an absolute path, which an address is not.
    char text[PATH_MAX];
    const ssize_t size = ::readlink(QFile::encodeName(path).constData(), text, sizeof text);
    return size > 0 ? QFile::decodeName(QByteArray(text, qsizetype(size))) : QString();
}

QString devicePathForPort(int commPort)
{
    const QString link = QDir(portDirectory()).filePath(QStringLiteral("com%1").arg(commPort));
    const QFileInfo entry(link);
    // A port on another machine is a link whose text is its address.
    if (const QString text = linkText(link); NetworkAddress::hasScheme(text))
        return text;
    if (entry.exists())
        return entry.canonicalFilePath();
    // A com<n> link whose device is unplugged still names the port the user
    // meant; opening it then fails with that name instead of opening ttyS.
    if (entry.isSymLink())
        return entry.symLinkTarget();
    return QStringLiteral("/dev/ttyS%1").arg(commPort - 1);
}

} // namespace portlocator
