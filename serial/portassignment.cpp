// SPDX-License-Identifier: MIT
#include "serial/portassignment.h"

#include "serial/networkaddress.h"
#include "serial/portinventory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

PortAssignment::PortAssignment(QString portDir)
    : m_portDir(std::move(portDir))
{
}

bool PortAssignment::assign(int port, const SerialDevice &device)
{
    return assign(port, device.name());
}

bool PortAssignment::assign(int port, const QString &target)
{
    if (!checkPort(port))
        return false;
    // An address is kept as the link's text; there is no file to find.
    const bool address = NetworkAddress::hasScheme(target);
    if (address && !NetworkAddress::parse(target))
        return fail(EINVAL);
    if (!address && !QFileInfo::exists(target))
        return fail(ENOENT);
    // mkpath says nothing of why it failed; the link made below tells.
    QDir().mkpath(m_portDir);
    // QFile::link cannot replace, and a remove first would leave a moment
    // with no link: make it under a temporary name, then rename over.
    const QByteArray link = QFile::encodeName(linkPath(port));
    const QByteArray temporary = link + ".new" + QByteArray::number(::getpid());
    ::unlink(temporary.constData());
    const QString text = address ? target : QFileInfo(target).absoluteFilePath();
    if (::symlink(QFile::encodeName(text).constData(), temporary.constData()) != 0)
        return fail(errno);
    if (::rename(temporary.constData(), link.constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return fail(error);
    }
    m_errorString.clear();
    return true;
}

bool PortAssignment::release(int port)
{
    if (!checkPort(port))
        return false;
    if (::unlink(QFile::encodeName(linkPath(port)).constData()) != 0 && errno != ENOENT)
        return fail(errno);
    m_errorString.clear();
    return true;
}

bool PortAssignment::checkPort(int port)
{
    if (port >= PortInventory::kFirstPort && port <= PortInventory::kLastPort)
        return true;
    m_errorString = QStringLiteral("Port number %1 is not within %2 to %3")
                        .arg(port)
                        .arg(PortInventory::kFirstPort)
                        .arg(PortInventory::kLastPort);
    return false;
}

bool PortAssignment::fail(int error)
{
    m_errorString = QString::fromLocal8Bit(std::strerror(error));
    return false;
}

QString PortAssignment::linkPath(int port) const
{
    return QDir(m_portDir).filePath(QStringLiteral("com%1").arg(port));
}
