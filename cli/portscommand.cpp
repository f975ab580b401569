#include "cli/commands.h"

#include "cli/commandline.h"
#include "cli/portlist.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace commandline;

namespace {

QJsonObject toJson(const PortEntry &entry)
{
    QJsonArray numbers;
    for (const int port : entry.portNumbers)
        numbers.append(port);
    return {{QStringLiteral("device"), entry.device},
            {QStringLiteral("stableName"), entry.stableName},
            {QStringLiteral("description"), entry.description},
            {QStringLiteral("vidPid"), entry.vidPid},
            {QStringLiteral("ports"), numbers}};
}

QString toLine(const PortEntry &entry)
{
    QStringList numbers;
    for (const int port : entry.portNumbers)
        numbers.append(QString::number(port));
    QString line = QStringLiteral("%1\t%2").arg(numbers.isEmpty() ? QStringLiteral("-") : numbers.join(QLatin1Char(',')),
                                                entry.device);
    for (const QString &detail : {entry.stableName, entry.description, entry.vidPid}) {
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
                                                               "Columns: port numbers, device, stable name, description, VID:PID.")))
        return *status;
    const QList<PortEntry> entries = listPorts();
    if (parser.isSet(json)) {
        QJsonArray array;
        for (const PortEntry &entry : entries)
            array.append(toJson(entry));
        printOut(QString::fromUtf8(QJsonDocument(array).toJson()));
        return exitstatus::kDone;
    }
    for (const PortEntry &entry : entries)
        printOut(toLine(entry));
    return exitstatus::kDone;
}
