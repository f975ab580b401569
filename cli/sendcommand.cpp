// SPDX-License-Identifier: MIT
#include "cli/commands.h"

#include "cli/commandline.h"
#include "cli/consoletext.h"
#include "capture/hexpattern.h"
#include "cli/climessages.h"
#include "serial/cp932codec.h"
#include "serial/serialchannel.h"

#include <QCommandLineParser>

using namespace commandline;

int runSend(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption port = portOption();
    const QCommandLineOption crlf(QStringLiteral("crlf"), QStringLiteral("Add CR LF after the text."));
    const QCommandLineOption hex(QStringLiteral("hex"), QStringLiteral("TEXT is bytes in hex, e.g. \"11 22 33\"."));
    parser.addOptions({port, crlf, hex});
    parser.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("Sent in CP932 (\"?\" for what it lacks)."));
    if (const std::optional<int> status = parse(parser, arguments, QStringLiteral("send [options] TEXT"),
                                                QStringLiteral("Sends a line of text, or bytes, to the board.")))
        return *status;
    const std::optional<QString> device = portDevice(parser.value(port));
    if (!device)
        return exitstatus::kUsage;
    if (parser.positionalArguments().size() != 1) {
        printError(QStringLiteral("send takes one TEXT"));
        return exitstatus::kUsage;
    }
    const QString text = parser.positionalArguments().constFirst();
    std::optional<QByteArray> bytes = encodeCp932(text);
    if (parser.isSet(hex)) {
        const hexpattern::Parsed parsed = hexpattern::parse(text);
        if (!parsed.ok()) {
            printError(QStringLiteral("--hex: ") + consoletext::withoutControls(hexpattern::refusal(text, parsed.refusedColumn)));
            return exitstatus::kUsage;
        }
        bytes = parsed.bytes;
    }
    if (!bytes) {
        printError(QStringLiteral("TEXT cannot be sent in CP932"));
        return exitstatus::kUsage;
    }
    if (parser.isSet(crlf))
        bytes->append("\r\n");
    SerialChannel channel;
    if (const int status = openPort(channel, *device))
        return status;
    channel.output(*bytes);
    // Closing waits until every byte has left.
    channel.setPortOpen(false);
    if (!channel.errorString().isEmpty()) {
        printError(climessages::deviceGone(*device));
        return exitstatus::kInputOutput;
    }
    return exitstatus::kDone;
}
