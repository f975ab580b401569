// SPDX-License-Identifier: MIT
#include "cli/commands.h"

#include "capture/boardcapture.h"
#include "capture/interruptwatch.h"
#include "cli/climessages.h"
#include "cli/commandline.h"
#include "cli/consoletext.h"
#include "cli/downloadsummary.h"
#include "cli/inputfile.h"
#include "cli/progressshow.h"
#include "download/bitheader.h"
#include "download/downloadengine.h"
#include "serial/serialchannel.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <unistd.h>

using namespace commandline;

namespace {

struct Options
{
    QString path;
    QString device;
    QString expect;
    QString part;
    int drop = 14;
    double timeout = 10;
    bool yes = false;
    bool quiet = false;
    bool json = false;
};

std::optional<int> readOptions(const QStringList &arguments, Options &options)
{
    QCommandLineParser parser;
    const QCommandLineOption port = portOption();
    const QCommandLineOption drop(QStringLiteral("drop"),
                                  QStringLiteral("Bytes at the end of the file left unsent, a whole number 0..20 (default 14)."),
                                  QStringLiteral("N"), QStringLiteral("14"));
    const QCommandLineOption yes({QStringLiteral("y"), QStringLiteral("yes")},
                                 QStringLiteral("Do not ask for the board's INIT button."));
    const QCommandLineOption expect(QStringLiteral("expect"), QStringLiteral("Wait for this text from the board."),
                                    QStringLiteral("TEXT"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QStringLiteral("Seconds to wait for --expect (default 10)."),
                                     QStringLiteral("S"), QStringLiteral("10"));
    const QCommandLineOption part(QStringLiteral("part"), QStringLiteral("Send only if the file's header names this part."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")}, QStringLiteral("Show no progress."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Print one JSON object with the outcome on standard output, whatever it is."));
    parser.addOptions({port, drop, yes, expect, timeout, part, quiet, json});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The configuration file (.bit)."));
    if (const std::optional<int> status = parse(parser, arguments, QStringLiteral("download [options] FILE"),
                                                QStringLiteral("Sends a configuration file to the board.")))
        return status;
    if (parser.positionalArguments().size() != 1) {
        printError(QStringLiteral("download takes one FILE"));
        return exitstatus::kUsage;
    }
    const std::optional<int> dropCount = wholeNumber(parser.value(drop), drop.names().constLast(), 0, 20);
    const std::optional<double> seconds = number(parser.value(timeout), timeout.names().constLast(), 0, 86400);
    const std::optional<QString> device = portDevice(parser.value(port));
    if (!dropCount || !seconds || !device)
        return exitstatus::kUsage;
    options = {parser.positionalArguments().constFirst(), *device, parser.value(expect), parser.value(part),
               *dropCount, *seconds, parser.isSet(yes), parser.isSet(quiet), parser.isSet(json)};
    return std::nullopt;
}

std::optional<int> checkFile(const Options &options)
{
    if (const std::optional<QString> refusal = inputfile::refusal(options.path)) {
        printError(*refusal);
        return exitstatus::kFile;
    }
    // The plan would hold no block: a script must not take that for a load.
    const qint64 length = QFileInfo(options.path).size();
    if (length <= options.drop) {
        printError(climessages::nothingToSend(options.path, length, options.drop));
        return exitstatus::kFile;
    }
    return std::nullopt;
}

std::optional<int> checkHeader(const Options &options, DownloadSummary &summary)
{
    summary.header = readBitHeaderOfFile(options.path);
    const std::optional<BitHeader> &header = summary.header;
    if (header && !options.quiet)
        printError(QStringLiteral("bitstream: %1").arg(headerLine(header)));
    if (options.part.isEmpty())
        return std::nullopt;
    if (!header) {
        printError(climessages::noHeaderForPart(options.part));
        return exitstatus::kPartDiffers;
    }
    if (header->part.compare(options.part, Qt::CaseInsensitive) != 0) {
        printError(climessages::partDiffers(header->part, options.part));
        return exitstatus::kPartDiffers;
    }
    return std::nullopt;
}

// Waits for Enter in the event loop, so that Ctrl+C ends the wait as it ends a transfer.
int waitForInit(const Options &options, InterruptWatch &interrupt)
{
    if (options.yes || !isTerminal(STDIN_FILENO))
        return exitstatus::kDone;
    printError(climessages::pressInit());
    QSocketNotifier enter(STDIN_FILENO, QSocketNotifier::Read);
    QEventLoop loop;
    QObject::connect(&enter, &QSocketNotifier::activated, &loop, [&loop] { loop.exit(exitstatus::kDone); });
    QObject::connect(&interrupt, &InterruptWatch::interrupted, &loop, [&loop, &interrupt] { loop.exit(interrupt.exitStatus()); });
    const int status = loop.exec();
    if (status == exitstatus::kDone)
        QTextStream(stdin).readLine();
    else
        printError(climessages::interruptedBeforeSending());
    return status;
}

int failureStatus(const DownloadEngine &engine, const Options &options)
{
    switch (engine.failure()) {
    case DownloadEngine::Failure::PortGone:
        printError(climessages::deviceGone(options.device));
        return exitstatus::kInputOutput;
    case DownloadEngine::Failure::Reopen:
        printError(climessages::reopenFailed(options.device, engine.failureDetail()));
        return exitstatus::kInputOutput;
    default:
        printError(climessages::fileProblem(options.path, engine.failureDetail().isEmpty()
                                                              ? QStringLiteral("the file ended early")
                                                              : engine.failureDetail()));
        return exitstatus::kFile;
    }
}

// The board's text goes to standard output, or to standard error when that
// carries the JSON summary alone.
void showBoardText(const QString &text, bool json)
{
    if (!json)
        return printOut(text);
    QStringList lines;
    for (const QStringView line : QStringView(text).split(QLatin1Char('\n')))
        lines.append(consoletext::withoutControls(line));
    std::fputs(lines.join(QLatin1Char('\n')).toUtf8().constData(), stderr);
    std::fflush(stderr);
}

int awaitAnswer(SerialChannel &channel, const Options &options, InterruptWatch &interrupt)
{
    BoardCapture reader(channel);
    reader.setTakesInput(true);
    reader.watchFor(options.expect);
    QEventLoop loop;
    const bool json = options.json;
    QObject::connect(&reader, &BoardCapture::received, &loop,
                     [json](const QByteArray &, const QString &text) { showBoardText(text, json); });
    QObject::connect(&reader, &BoardCapture::textSeen, &loop, [&loop] { loop.exit(exitstatus::kDone); });
    QObject::connect(&channel, &SerialChannel::disconnected, &loop, [&loop] { loop.exit(exitstatus::kInputOutput); });
    QObject::connect(&interrupt, &InterruptWatch::interrupted, &loop, [&loop, &interrupt] { loop.exit(interrupt.exitStatus()); });
    QTimer::singleShot(std::chrono::milliseconds(qint64(options.timeout * 1000)), &loop,
                       [&loop] { loop.exit(exitstatus::kNoAnswer); });
    const int status = loop.exec();
    if (status == exitstatus::kNoAnswer)
        printError(climessages::noAnswer(options.expect, options.timeout));
    else if (status == exitstatus::kInputOutput)
        printError(climessages::deviceGone(options.device));
    else if (status == interrupt.exitStatus())
        printError(climessages::interruptedWaiting(options.expect));
    return status;
}

int sent(DownloadEngine::Outcome outcome, const DownloadEngine &engine, const Options &options, qint64 total,
         qint64 lastSent, int cancelledStatus)
{
    switch (outcome) {
    case DownloadEngine::Outcome::Failed:
        return failureStatus(engine, options);
    case DownloadEngine::Outcome::Cancelled:
        printError(climessages::interrupted(lastSent, total));
        return cancelledStatus;
    case DownloadEngine::Outcome::ShortFile:
        // The file shrank after it was checked.
        printError(climessages::nothingToSend(options.path, QFileInfo(options.path).size(), options.drop));
        return exitstatus::kFile;
    case DownloadEngine::Outcome::Sent:
        break;
    }
    return exitstatus::kDone;
}

int transfer(SerialChannel &channel, const Options &options, InterruptWatch &interrupt, DownloadSummary &summary)
{
    DownloadEngine engine(channel);
    engine.setKeepAnswer(!options.expect.isEmpty());
    const std::optional<BlockPlan> plan = engine.plan(options.path, std::uint8_t(options.drop));
    // The file was checked, but may have grown since.
    if (!plan) {
        printError(climessages::fileTooLarge(options.path));
        return exitstatus::kFile;
    }
    QObject::connect(&interrupt, &InterruptWatch::interrupted, &engine, &DownloadEngine::cancel);
    ProgressShow progress(plan->payload, options.quiet);
    QObject::connect(&engine, &DownloadEngine::progressed, &progress, &ProgressShow::show);
    QObject::connect(&channel, &SerialChannel::outputTaken, &progress, &ProgressShow::count);
    const DownloadEngine::Outcome outcome = engine.transfer(options.path, *plan);
    progress.finish(outcome == DownloadEngine::Outcome::Sent);
    summary.bytes = progress.handedOver();
    summary.blocks = progress.blocks();
    summary.crc32 = progress.crc();
    summary.seconds = progress.seconds();
    if (const int status = sent(outcome, engine, options, plan->payload, progress.lastSent(), interrupt.exitStatus()))
        return status;
    if (options.expect.isEmpty())
        return exitstatus::kDone;
    const int status = awaitAnswer(channel, options, interrupt);
    summary.expectSeen = status == exitstatus::kDone;
    return status;
}

int download(const QStringList &arguments, DownloadSummary &summary)
{
    Options options;
    if (const std::optional<int> status = readOptions(arguments, options))
        return *status;
    if (!options.expect.isEmpty())
        summary.expectSeen = false;
    if (const std::optional<int> status = checkFile(options))
        return *status;
    if (const std::optional<int> status = checkHeader(options, summary))
        return *status;
    InterruptWatch interrupt;
    SerialChannel channel;
    if (const int status = openPort(channel, options.device))
        return status;
    if (const int status = waitForInit(options, interrupt))
        return status;
    return transfer(channel, options, interrupt, summary);
}

} // namespace

int runDownload(const QStringList &arguments)
{
    DownloadSummary summary;
    summary.exit = download(arguments, summary);
    // Asked for even when the options around it were wrong; not after --help.
    const bool json = arguments.contains(QStringLiteral("--json"));
    const bool help = arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"));
    if (json && !help)
        printOut(jsonLine(QJsonDocument(summary.toJson())));
    return summary.exit;
}
