// SPDX-License-Identifier: MIT
#include "cli/commands.h"

#include "capture/boardcapture.h"
#include "capture/interruptwatch.h"
#include "cli/commandline.h"
#include "cli/progressshow.h"
#include "cli/transferfigures.h"
#include "cli/climessages.h"
#include "download/bitheader.h"
#include "download/downloadengine.h"
#include "serial/serialchannel.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <limits>
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
};

std::optional<int> readOptions(const QStringList &arguments, Options &options)
{
    QCommandLineParser parser;
    const QCommandLineOption port = portOption();
    const QCommandLineOption drop(QStringLiteral("drop"), QStringLiteral("Bytes at the end of the file left unsent, 0..20."),
                                  QStringLiteral("N"), QStringLiteral("14"));
    const QCommandLineOption yes({QStringLiteral("y"), QStringLiteral("yes")},
                                 QStringLiteral("Do not ask for the board's INIT button."));
    const QCommandLineOption expect(QStringLiteral("expect"), QStringLiteral("Wait for this text from the board."),
                                    QStringLiteral("TEXT"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QStringLiteral("Seconds to wait for --expect."),
                                     QStringLiteral("S"), QStringLiteral("10"));
    const QCommandLineOption part(QStringLiteral("part"), QStringLiteral("Send only if the file's header names this part."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")}, QStringLiteral("Show no progress."));
    parser.addOptions({port, drop, yes, expect, timeout, part, quiet});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The configuration file (.bit)."));
    if (const std::optional<int> status = parse(parser, arguments, QStringLiteral("download [options] FILE"),
                                                QStringLiteral("Sends a configuration file to the board.")))
        return status;
    if (parser.positionalArguments().size() != 1) {
        printError(QStringLiteral("download takes one FILE"));
        return exitstatus::kUsage;
    }
    const std::optional<double> dropCount = number(parser.value(drop), drop.names().constLast(), 0, 20);
    const std::optional<double> seconds = number(parser.value(timeout), timeout.names().constLast(), 0, 86400);
    const std::optional<QString> device = portDevice(parser.value(port));
    if (!dropCount || !seconds || !device || *dropCount != int(*dropCount))
        return exitstatus::kUsage;
    options = {parser.positionalArguments().constFirst(), *device, parser.value(expect), parser.value(part),
               int(*dropCount), *seconds, parser.isSet(yes), parser.isSet(quiet)};
    return std::nullopt;
}

std::optional<int> checkFile(const QString &path)
{
    const QFileInfo info(path);
    QFile file(path);
    QString reason;
    if (!info.exists())
        reason = QStringLiteral("no such file");
    else if (!info.isFile())
        reason = QStringLiteral("not a regular file");
    else if (!file.open(QIODevice::ReadOnly))
        reason = file.errorString();
    else if (info.size() > std::numeric_limits<qint32>::max())
        reason = climessages::fileTooLarge(path);
    if (reason.isEmpty())
        return std::nullopt;
    printError(reason.startsWith(path) ? reason : climessages::fileProblem(path, reason));
    return exitstatus::kFile;
}

std::optional<int> checkHeader(const Options &options)
{
    const std::optional<BitHeader> header = readBitHeaderOfFile(options.path);
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

void waitForInit(const Options &options)
{
    if (options.yes || !isTerminal(STDIN_FILENO))
        return;
    printError(climessages::pressInit());
    QTextStream(stdin).readLine();
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

int awaitAnswer(SerialChannel &channel, const Options &options, InterruptWatch &interrupt)
{
    BoardCapture reader(channel);
    reader.setTakesInput(true);
    reader.watchFor(options.expect);
    QEventLoop loop;
    QObject::connect(&reader, &BoardCapture::received, &loop, [](const QByteArray &, const QString &text) { printOut(text); });
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
    return status;
}

int transfer(SerialChannel &channel, const Options &options)
{
    DownloadEngine engine(channel);
    const std::optional<BlockPlan> plan = engine.plan(options.path, std::uint8_t(options.drop));
    // The file was checked, but may have grown since.
    if (!plan) {
        printError(climessages::fileTooLarge(options.path));
        return exitstatus::kFile;
    }
    InterruptWatch interrupt;
    QObject::connect(&interrupt, &InterruptWatch::interrupted, &engine, &DownloadEngine::cancel);
    ProgressShow progress(plan->payload, options.quiet);
    QObject::connect(&engine, &DownloadEngine::progressed, &progress, &ProgressShow::show);
    QObject::connect(&channel, &SerialChannel::outputTaken, &progress, &ProgressShow::count);
    const DownloadEngine::Outcome outcome = engine.transfer(options.path, *plan);
    progress.finish(outcome == DownloadEngine::Outcome::Sent);
    switch (outcome) {
    case DownloadEngine::Outcome::Failed:
        return failureStatus(engine, options);
    case DownloadEngine::Outcome::Cancelled:
        printError(climessages::interrupted(progress.lastSent(), plan->payload));
        return interrupt.exitStatus();
    case DownloadEngine::Outcome::ShortFile:
        printError(climessages::nothingToSend(plan->length, options.drop));
        return exitstatus::kDone;
    case DownloadEngine::Outcome::Sent:
        break;
    }
    return options.expect.isEmpty() ? exitstatus::kDone : awaitAnswer(channel, options, interrupt);
}

} // namespace

int runDownload(const QStringList &arguments)
{
    Options options;
    if (const std::optional<int> status = readOptions(arguments, options))
        return *status;
    if (const std::optional<int> status = checkFile(options.path))
        return *status;
    if (const std::optional<int> status = checkHeader(options))
        return *status;
    SerialChannel channel;
    if (const int status = openPort(channel, options.device))
        return status;
    waitForInit(options);
    return transfer(channel, options);
}
