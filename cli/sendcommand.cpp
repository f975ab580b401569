// SPDX-License-Identifier: MIT
#include "cli/commands.h"

#include "cli/commandline.h"
#include "cli/consoletext.h"
#include "capture/hexpattern.h"
#include "cli/climessages.h"
#include "serial/cp932codec.h"
#include "serial/sendmacros.h"
#include "serial/serialchannel.h"

#include <QCommandLineParser>

#include <variant>

using namespace commandline;

namespace {

// The bytes of the window's send macro named or numbered so; the exit status when there is none.
std::variant<QByteArray, int> macroBytes(const QString &nameOrSlot)
{
    SendMacros macros;
    if (!macros.load(SendMacros::defaultPath()))
        printError(QStringLiteral("cannot read %1: %2").arg(SendMacros::defaultPath(), macros.errorString()));
    const int slot = macros.find(nameOrSlot);
    if (slot < 0) {
        printError(QStringLiteral("no send macro ") + consoletext::withoutControls(nameOrSlot));
        return exitstatus::kUsage;
    }
    return *SendMacros::bytes(macros.at(slot));
}

// TEXT as the bytes it stands for; nothing when refused, which has been told.
std::optional<QByteArray> textBytes(const QString &text, bool isHex)
{
    if (!isHex)
        return encodeCp932(text);
    const hexpattern::Parsed parsed = hexpattern::parse(text);
    if (!parsed.ok()) {
        printError(QStringLiteral("--hex: ")
                   + consoletext::withoutControls(hexpattern::refusal(text, parsed.refusedColumn)));
        return std::nullopt;
    }
    return parsed.bytes;
}

// What the arguments ask to send; the exit status when they are refused.
std::variant<QByteArray, int> bytesToSend(const QCommandLineParser &parser, const QCommandLineOption &crlf,
                                          const QCommandLineOption &hex, const QCommandLineOption &macro)
{
    const bool byMacro = parser.isSet(macro);
    if (parser.positionalArguments().size() != (byMacro ? 0 : 1)) {
        printError(byMacro ? QStringLiteral("--macro takes no TEXT") : QStringLiteral("send takes one TEXT"));
        return exitstatus::kUsage;
    }
    if (byMacro && (parser.isSet(crlf) || parser.isSet(hex))) {
        printError(QStringLiteral("a macro sends exactly its bytes: no --crlf or --hex with --macro"));
        return exitstatus::kUsage;
    }
    if (byMacro)
        return macroBytes(parser.value(macro));
    std::optional<QByteArray> bytes = textBytes(parser.positionalArguments().constFirst(), parser.isSet(hex));
    if (!bytes)
        return exitstatus::kUsage;
    if (parser.isSet(crlf))
        bytes->append("\r\n");
    return *bytes;
}

} // namespace

int runSend(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption port = portOption();
    const QCommandLineOption crlf(QStringLiteral("crlf"), QStringLiteral("Add CR LF after the text."));
    const QCommandLineOption hex(QStringLiteral("hex"), QStringLiteral("TEXT is bytes in hex, e.g. \"11 22 33\"."));
    const QCommandLineOption macro(
        QStringLiteral("macro"),
        QStringLiteral("Send the window's send macro of this name or slot (1-12), exactly its bytes."),
        QStringLiteral("NAME|SLOT"));
    parser.addOptions({port, crlf, hex, macro});
    parser.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("Sent in CP932 (\"?\" for what it lacks)."));
    if (const std::optional<int> status
        = parse(parser, arguments, QStringLiteral("send [options] TEXT | --macro NAME|SLOT"),
                QStringLiteral("Sends a line of text, or bytes, to the board.")))
        return *status;
    const std::optional<QString> device = portDevice(parser.value(port));
    if (!device)
        return exitstatus::kUsage;
    const std::variant<QByteArray, int> bytes = bytesToSend(parser, crlf, hex, macro);
    if (const int *status = std::get_if<int>(&bytes))
        return *status;
    SerialChannel channel;
    if (const int status = openPort(channel, *device))
        return status;
    channel.output(std::get<QByteArray>(bytes));
    // Closing waits until every byte has left.
    channel.setPortOpen(false);
    if (!channel.errorString().isEmpty()) {
        printError(climessages::deviceGone(*device));
        return exitstatus::kInputOutput;
    }
    return exitstatus::kDone;
}
