// SPDX-License-Identifier: MIT
#include "cli/commandline.h"

#include "cli/consoletext.h"
#include "cli/climessages.h"
#include "serial/portinventory.h"
#include "serial/networkaddress.h"
#include "serial/portlocator.h"
#include "serial/serialchannel.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace commandline {

const QString kExitStatusHelp = QStringLiteral(
    "Exit status:\n"
    "  0    done\n"
    "  2    usage: an unknown command or option, a value out of range\n"
    "  3    the port could not be opened (missing, busy, permission)\n"
    "  4    the file is missing, unreadable, not a regular file, 2 GiB or more,\n"
    "       or no longer than --drop (nothing to send)\n"
    "  5    input/output failed during the work (device gone, write failed)\n"
    "  6    the expected text did not come in time\n"
    "  7    the bitstream header's part differs from --part\n"
    "  129  hung up (SIGHUP), ended as an interrupt is\n"
    "  130  interrupted (Ctrl+C)\n"
    "  143  terminated (SIGTERM), ended as an interrupt is\n");

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
                           "or a network port: rfc2217://host:port, socket://host:port (bytes only) (default 3)."),
            QStringLiteral("P"), QStringLiteral("3")};
}

std::optional<int> parse(QCommandLineParser &parser, const QStringList &arguments, const QString &synopsis,
                         const QString &description)
{
    const QCommandLineOption help = parser.addHelpOption();
    parser.setApplicationDescription(description);
    if (!parser.parse(arguments)) {
        printError(parser.errorText());
        return exitstatus::kUsage;
    }
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        const QString usage = QStringLiteral("Usage: ");
        const qsizetype end = text.indexOf(QLatin1Char('\n'));
        text.replace(0, end, usage + QCoreApplication::applicationName() + QLatin1Char(' ') + synopsis);
        printOut(text + QLatin1Char('\n') + kExitStatusHelp);
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

std::optional<int> wholeNumber(const QString &text, const QString &option, int first, int last)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (ok && value >= first && value <= last)
        return value;
    printError(QStringLiteral("--%1 takes a whole number from %2 to %3, not \"%4\"").arg(option).arg(first).arg(last).arg(text));
    return std::nullopt;
}

QString jsonLine(const QJsonDocument &document, bool compact)
{
    const QString text =
        QString::fromUtf8(document.toJson(compact ? QJsonDocument::Compact : QJsonDocument::Indented)).trimmed();
    QString line;
    line.reserve(text.size() + 1);
    for (const QChar character : text) {
        const char16_t code = character.unicode();
        if (code >= 0x7F && code < 0xA0)
            line += QStringLiteral("\\u%1").arg(int(code), 4, 16, QLatin1Char('0'));
        else
            line += character;
    }
    return line + QLatin1Char('\n');
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

namespace {

void tellAdapters()
{
    QStringList lines;
    for (const SerialDevice &device : PortInventory().devices()) {
        if (device.present)
            lines.append(QStringLiteral("  ") + deviceLine(device));
    }
    printError(lines.isEmpty() ? climessages::noAdapters() : climessages::adaptersFound());
    for (const QString &line : lines)
        printError(line);
    printError(climessages::seePorts());
}

} // namespace

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
    const QString reason = channel.errorString();
    printError(climessages::cannotOpenPort(device, reason));
    // strerror, as QSerialPort reports it, in any locale.
    const bool missingOrBusy = reason.contains(QString::fromLocal8Bit(std::strerror(ENOENT)))
                               || reason.contains(QString::fromLocal8Bit(std::strerror(EIO)))
                               || reason.contains(QLatin1String("busy"), Qt::CaseInsensitive);
    if (missingOrBusy)
        tellAdapters();
    return exitstatus::kPort;
}

} // namespace commandline
