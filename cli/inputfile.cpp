// SPDX-License-Identifier: MIT
#include "cli/inputfile.h"

#include "cli/climessages.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <limits>
#include <sys/stat.h>

namespace inputfile {
namespace {

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a directory");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO (named pipe)");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a file");
}

} // namespace

std::optional<QString> refusal(const QString &path)
{
    // QFileInfo tells no FIFO from a device or a socket; stat does, and it
    // looks without opening.
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        const int error = errno;
        return climessages::fileProblem(path, error == ENOENT ? QStringLiteral("no such file")
                                                              : QString::fromLocal8Bit(std::strerror(error)));
    }
    if (!S_ISREG(status.st_mode))
        return climessages::refusedFile(path, kindOf(status.st_mode));
    if (status.st_size > std::numeric_limits<qint32>::max())
        return climessages::fileTooLarge(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return climessages::fileProblem(path, file.errorString());
    return std::nullopt;
}

} // namespace inputfile
