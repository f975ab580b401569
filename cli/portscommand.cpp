// SPDX-License-Identifier: MIT
#include "cli/commands.h"

#include "cli/commandline.h"
#include "cli/consoletext.h"
#include "serial/portinventory.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace commandline;

namespace {

QJsonObject toJson(const SerialDevice &device)
{
    QJsonArray numbers;
    for (const int port : device.ports)
        numbers.append(port);
    return {{QStringLiteral("device"), device.node},
            {QStringLiteral("stableName"), device.stableName},
            {QStringLiteral("description"), device.description},
            {QStringLiteral("manufacturer"), device.manufacturer},
            {QStringLiteral("serialNumber"), device.serialNumber},
            {QStringLiteral("vidPid"), device.vidPid},
            {QStringLiteral("present"), device.present},
            {QStringLiteral("ports"), numbers}};
}

// Every column always there, "-" when empty, so that a script can cut them;
// names come from the system and are shown without control characters.
QString toLine(const SerialDevice &device)
{
    QStringList numbers;
    for (const int port : device.ports)
        numbers.append(QString::number(port));
    QStringList columns{numbers.join(QLatin1Char(',')), device.node, device.stableName, device.description,
                        device.serialNumber, device.vidPid,
                        device.present ? QStringLiteral("connected") : QStringLiteral("not connected")};
    for (QString &column : columns)
        column = column.isEmpty() ? QStringLiteral("-") : consoletext::withoutControls(column);
    return columns.join(QLatin1Char('\t')) + QLatin1Char('\n');
}

} // namespace

int runPorts(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print a JSON array."));
    parser.addOption(json);
    if (const std::optional<int> status = parse(parser, arguments, QStringLiteral("ports [--json]"),
                                                QStringLiteral("Lists the serial devices and the port numbers that reach them.\n"
                                                               "Columns, tab-separated, \"-\" when empty: port numbers, device, stable name,\n"
                                                               "description, serial number, VID:PID, connected or not connected.")))
        return *status;
    const QList<SerialDevice> devices = PortInventory().devices();
    if (parser.isSet(json)) {
        QJsonArray array;
        for (const SerialDevice &device : devices)
            array.append(toJson(device));
        printOut(jsonLine(QJsonDocument(array), false));
        return exitstatus::kDone;
    }
    for (const SerialDevice &device : devices)
        printOut(toLine(device));
    return exitstatus::kDone;
}
