// SPDX-License-Identifier: MIT
#include "cli/commands.h"

#include "cli/commandline.h"
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

QString toLine(const SerialDevice &device)
{
    QStringList numbers;
    for (const int port : device.ports)
        numbers.append(QString::number(port));
    QString line = QStringLiteral("%1\t%2").arg(numbers.isEmpty() ? QStringLiteral("-") : numbers.join(QLatin1Char(',')),
                                                device.node);
    if (!device.present)
        line += QStringLiteral("\t(not connected)");
    for (const QString &detail : {device.stableName, device.description, device.serialNumber, device.vidPid}) {
        if (!detail.isEmpty())
            line += QLatin1Char('\t') + detail;
    }
    return line + QLatin1Char('\n');
}

} // namespace

int runPorts(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print a JSON array."));
    parser.addOption(json);
    if (const std::optional<int> status = parse(parser, arguments, QStringLiteral("ports [--json]"),
                                                QStringLiteral("Lists the serial devices and the port numbers that reach them.\n"
                                                               "Columns: port numbers, device, stable name, description, serial number, VID:PID.")))
        return *status;
    const QList<SerialDevice> devices = PortInventory().devices();
    if (parser.isSet(json)) {
        QJsonArray array;
        for (const SerialDevice &device : devices)
            array.append(toJson(device));
        printOut(QString::fromUtf8(QJsonDocument(array).toJson()));
        return exitstatus::kDone;
    }
    for (const SerialDevice &device : devices)
        printOut(toLine(device));
    return exitstatus::kDone;
}
