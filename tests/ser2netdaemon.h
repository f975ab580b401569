// SPDX-License-Identifier: MIT
#pragma once

#include <QProcess>
#include <QString>

// ser2net in the foreground, serving one device (a pseudo-terminal's slave)
// on a free local port, with a configuration of its own. Used by the tests
// and the benchmarks.
class Ser2netDaemon
{
public:
    enum class Accepter { Rfc2217, RawTcp };

    // line as ser2net writes it: "115200n81".
    Ser2netDaemon(const QString &dir, const QString &device, Accepter accepter,
                  const QString &line = QStringLiteral("115200n81"));
    ~Ser2netDaemon();
    Ser2netDaemon(const Ser2netDaemon &) = delete;
    Ser2netDaemon &operator=(const Ser2netDaemon &) = delete;

    // Starts it and waits until it takes connections.
    bool start();
    void stop();
    // rfc2217://127.0.0.1:port or socket://127.0.0.1:port
    QString address() const;

private:
    QProcess m_process;
    QString m_config;
    Accepter m_accepter;
    quint16 m_port = 0;
};
