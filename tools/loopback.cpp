// SPDX-License-Identifier: MIT
// The loopback board: a pseudo-terminal linked as com<n> in a port dir that
// echoes every byte it receives, like a loopback plug, until it is stopped.

#include "ptypair.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void requestStop(int)
{
    g_stop = 1;
}

void echoUntilStopped(PtyPair &pty)
{
    char buffer[4096];
    while (!g_stop) {
        pollfd ready{pty.masterFd(), POLLIN, 0};
        if (::poll(&ready, 1, 200) <= 0 || !(ready.revents & POLLIN))
            continue;
        const ssize_t got = ::read(pty.masterFd(), buffer, sizeof buffer);
        if (got > 0)
            pty.write(QByteArray(buffer, got));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <port dir> [port number]\n", argv[0]);
        return 2;
    }
    const int port = argc > 2 ? std::atoi(argv[2]) : 3;
    PtyPair pty(QString::fromLocal8Bit(argv[1]), port);
    if (!pty.isValid()) {
        std::perror("openpty");
        return 1;
    }
    std::signal(SIGTERM, requestStop);
    std::signal(SIGINT, requestStop);
    std::printf("loopback board on %s (%s)\n", qPrintable(pty.linkPath()), qPrintable(pty.slavePath()));
    std::fflush(stdout);
    echoUntilStopped(pty);
    return 0;
}
