// SPDX-License-Identifier: MIT
#include "cli/commands.h"

#include "cli/commandline.h"
#include "cli/climessages.h"
#include "cli/consoletext.h"
#include "cli/inputfile.h"
#include "download/bitheader.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

using namespace commandline;

namespace {

QJsonObject toJson(const BitHeader &header)
{
    return {{QStringLiteral("design"), header.design},   {QStringLiteral("userId"), header.userId},
            {QStringLiteral("version"), header.version}, {QStringLiteral("part"), header.part},
            {QStringLiteral("date"), header.date},       {QStringLiteral("time"), header.time},
            {QStringLiteral("dataOffset"), header.dataOffset}, {QStringLiteral("dataLength"), header.dataLength}};
}

// A header is the file's own text: shown with its control characters made harmless.
QString toText(const BitHeader &header)
{
    const auto shown = [](const QString &field) { return consoletext::withoutControls(field); };
    return QStringLiteral("design:  %1\nuser id: %2\nversion: %3\npart:    %4\ndate:    %5\ntime:    %6\n"
                          "data:    %7 bytes from offset %8\n")
        .arg(shown(header.design), shown(header.userId), shown(header.version), shown(header.part),
             shown(header.date), shown(header.time))
        .arg(header.dataLength)
        .arg(header.dataOffset);
}

} // namespace

int runBitinfo(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print a JSON object."));
    parser.addOption(json);
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The configuration file (.bit)."));
    if (const std::optional<int> status = parse(parser, arguments, QStringLiteral("bitinfo [--json] FILE"),
                                                QStringLiteral("Shows the bitstream header of a configuration file.")))
        return *status;
    if (parser.positionalArguments().size() != 1) {
        printError(QStringLiteral("bitinfo takes one FILE"));
        return exitstatus::kUsage;
    }
    const QString path = parser.positionalArguments().constFirst();
    if (const std::optional<QString> refusal = inputfile::refusal(path)) {
        printError(*refusal);
        return exitstatus::kFile;
    }
    const std::optional<BitHeader> header = readBitHeaderOfFile(path);
    if (parser.isSet(json)) {
        const QJsonObject object{{QStringLiteral("file"), path},
                                 {QStringLiteral("size"), QFileInfo(path).size()},
                                 {QStringLiteral("header"), header ? QJsonValue(toJson(*header)) : QJsonValue()}};
        printOut(jsonLine(QJsonDocument(object), false));
    } else {
        printOut(header ? toText(*header) : climessages::noHeader() + QLatin1Char('\n'));
    }
    return exitstatus::kDone;
}
