// SPDX-License-Identifier: MIT
#include "cli/commandline.h"
#include "cli/commands.h"

#include <QCoreApplication>

#include <functional>
#include <map>

namespace {

const QString kHelp = QStringLiteral(
    "Usage: tolvane-cli COMMAND [options]\n"
    "Loads configuration bitstreams into a board over a serial line, and talks to it.\n\n"
    "Commands:\n"
    "  ports [--json]            the serial devices and the port numbers that reach them\n"
    "  download FILE             send a configuration file, as the window's download does\n"
    "  monitor                   show what the board sends\n"
    "  send TEXT | --hex BYTES   send a line of text, or bytes\n"
    "  bitinfo FILE [--json]     show a file's bitstream header\n\n"
    "\"tolvane-cli COMMAND --help\" tells a command's options.\n\n");

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tolvane-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TOLVANE_VERSION));
    const std::map<QString, std::function<int(const QStringList &)>> commands{
        {QStringLiteral("download"), runDownload}, {QStringLiteral("monitor"), runMonitor},
        {QStringLiteral("send"), runSend},         {QStringLiteral("ports"), runPorts},
        {QStringLiteral("bitinfo"), runBitinfo}};
    const QStringList arguments = QCoreApplication::arguments();
    const QString command = arguments.value(1);
    if (const auto found = commands.find(command); found != commands.end())
        return found->second(arguments.mid(1));
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        commandline::printOut(kHelp + commandline::kExitStatusHelp);
        return exitstatus::kDone;
    }
    if (command == QLatin1String("--version")) {
        commandline::printOut(QStringLiteral("tolvane-cli %1\n").arg(QCoreApplication::applicationVersion()));
        return exitstatus::kDone;
    }
    commandline::printError(command.isEmpty() ? QStringLiteral("a command is needed; see tolvane-cli --help")
                                              : QStringLiteral("unknown command \"%1\"; see tolvane-cli --help").arg(command));
    return exitstatus::kUsage;
}
