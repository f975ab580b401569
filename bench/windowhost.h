// SPDX-License-Identifier: MIT
#pragma once

#include <QProcess>
#include <QString>

// The real main window in a process of its own, steered over its standard
// input by one-line commands, so that what it costs and when its pixels
// change can be read from outside: nothing of the measuring runs in it.
class WindowHost
{
public:
    // In the child: shows the window, says "window <id>", then obeys
    // "tab N", "open", "close", "record PATH", "stop" and "quit", each answered "ok".
    static int serve(int argc, char **argv);

    // In the measuring process: starts this program as the child on display.
    bool start(const QString &program, const QString &display);
    bool command(const QByteArray &line);
    void quit();

    qint64 pid() const { return m_process.processId(); }
    quint32 windowId() const { return m_windowId; }

private:
    QByteArray answer();

    QProcess m_process;
    quint32 m_windowId = 0;
};
