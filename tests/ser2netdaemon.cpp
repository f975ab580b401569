// SPDX-License-Identifier: MIT
#include "ser2netdaemon.h"

#include <QFile>
#include <QThread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// A port the kernel just gave out, free again for ser2net to take.
quint16 freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool accepts(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

} // namespace

Ser2netDaemon::Ser2netDaemon(const QString &dir, const QString &device, Accepter accepter, const QString &line)
    : m_accepter(accepter)
    , m_port(freePort())
{
    m_config = dir + QStringLiteral("/ser2net-%1.yaml").arg(m_port);
    QFile config(m_config);
    if (!config.open(QIODevice::WriteOnly))
        return;
    const QString kind = accepter == Accepter::RawTcp ? QStringLiteral("tcp") : QStringLiteral("telnet(rfc2217),tcp");
    config.write(QStringLiteral("connection: &board\n  accepter: %1,127.0.0.1,%2\n  enable: on\n"
                                "  connector: serialdev,%3,%4,local\n  options:\n    chardelay: false\n")
                     .arg(kind)
                     .arg(m_port)
                     .arg(device, line)
                     .toUtf8());
}

Ser2netDaemon::~Ser2netDaemon()
{
    stop();
}

bool Ser2netDaemon::start()
{
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start(QStringLiteral("ser2net"), {QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-c"), m_config});
    if (!m_process.waitForStarted())
        return false;
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (accepts(m_port)) {
            // Let it finish with the probe before a real client comes.
            QThread::msleep(50);
            return true;
        }
        QThread::msleep(10);
    }
    return false;
}

void Ser2netDaemon::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    m_process.waitForFinished(3000);
}

QString Ser2netDaemon::address() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(m_accepter == Accepter::RawTcp ? QStringLiteral("socket") : QStringLiteral("rfc2217"))
        .arg(m_port);
}
