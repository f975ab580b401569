// SPDX-License-Identifier: MIT
#include "cli/commandline.h"

#include "cli/consoletext.h"
#include "cli/climessages.h"
#include "serial/networkaddress.h"
#include "serial/portlocator.h"
#include "serial/serialchannel.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

namespace commandline {

const QString kExitStatusHelp = QStringLiteral(
    "Exit status:\n"
    "  0    done\n"
    "  2    usage: an unknown command or option, a value out of range\n"
    "  3    the port could not be opened (missing, busy, permission)\n"
    "  4    the file is missing, unreadable, or 2 GiB or more\n"
    "  5    input/output failed during the work (device gone, write failed)\n"
    "  6    the expected text did not come in time\n"
    "  7    the bitstream header's part differs from --part\n"
    "  130  interrupted (Ctrl+C)\n");

bool isTerminal(int fd)
{
    return ::isatty(fd) == 1;
}

void printError(const QString &message)
{
    const QString line = QStringLiteral("%1: %2\n").arg(QCoreApplication::applicationName(),
                                                        consoletext::withoutControls(message));
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void printOut(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

QCommandLineOption portOption()
{
    return {{QStringLiteral("p"), QStringLiteral("port")},
            QStringLiteral("Port number 1..16 (the port dir's com<n> link, else /dev/ttyS<n-1>), a device path,\n"
                           "or a network port: rfc2217://host:port, socket://host:port (bytes only)."),
            QStringLiteral("P"), QStringLiteral("3")};
}

std::optional<int> parse(QCommandLineParser &parser, const QStringList &arguments, const QString &synopsis,
                         const QString &description)
{
    const QCommandLineOption help = parser.addHelpOption();
    parser.setApplicationDescription(description + QStringLiteral("\n\n") + kExitStatusHelp);
    if (!parser.parse(arguments)) {
        printError(parser.errorText());
        return exitstatus::kUsage;
    }
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        const QString usage = QStringLiteral("Usage: ");
        const qsizetype end = text.indexOf(QLatin1Char('\n'));
        text.replace(0, end, usage + QCoreApplication::applicationName() + QLatin1Char(' ') + synopsis);
        printOut(text);
        return exitstatus::kDone;
    }
    return std::nullopt;
}

std::optional<double> number(const QString &text, const QString &option, double first, double last)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (ok && value >= first && value <= last)
        return value;
    printError(QStringLiteral("--%1 takes a number from %2 to %3, not \"%4\"").arg(option).arg(first).arg(last).arg(text));
    return std::nullopt;
}

std::optional<QString> portDevice(const QString &value)
{
    if (value.startsWith(QLatin1Char('/')))
        return value;
    if (NetworkAddress::hasScheme(value)) {
        if (NetworkAddress::parse(value))
            return value;
        printError(QStringLiteral("--port: \"%1\" is not rfc2217://host:port or socket://host:port").arg(value));
        return std::nullopt;
    }
    bool ok = false;
    const int port = value.toInt(&ok);
    if (ok && port >= 1 && port <= 16)
        return portlocator::devicePathForPort(port);
    printError(QStringLiteral("--port takes a port number from 1 to 16, a device path or a network address, not \"%1\"").arg(value));
    return std::nullopt;
}

int openPort(SerialChannel &channel, const QString &device)
{
    channel.setDevicePath(device);
    (void)channel.setSettings(QStringLiteral("115200,n,8,1"));
    channel.setHandshaking(0);
    channel.setRtsEnable(false);
    channel.setRThreshold(1);
    channel.setSThreshold(1);
    if (channel.setPortOpen(true))
        return exitstatus::kDone;
    printError(climessages::cannotOpenPort(device, channel.errorString()));
    return exitstatus::kPort;
}

} // namespace commandline
