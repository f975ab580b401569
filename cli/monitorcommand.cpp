// SPDX-License-Identifier: MIT
#include "cli/commands.h"

#include "cli/boardreader.h"
#include "cli/commandline.h"
#include "cli/consoletext.h"
#include "cli/interruptwatch.h"
#include "cli/climessages.h"
#include "capture/hexgroups.h"
#include "serial/serialchannel.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QFile>
#include <QTime>
#include <QTimer>

#include <chrono>

using namespace commandline;

namespace {

struct Options
{
    QString device;
    QString log;
    QString until;
    double duration = 0;
    bool hex = false;
    bool timestamps = false;
};

std::optional<int> readOptions(const QStringList &arguments, Options &options)
{
    QCommandLineParser parser;
    const QCommandLineOption port = portOption();
    const QCommandLineOption hex(QStringLiteral("hex"), QStringLiteral("Show bytes as \"41 42 \" groups."));
    const QCommandLineOption timestamps(QStringLiteral("timestamps"), QStringLiteral("Put the time before each line."));
    const QCommandLineOption log(QStringLiteral("log"), QStringLiteral("Also write what is shown to FILE."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption duration(QStringLiteral("duration"), QStringLiteral("Stop after S seconds."),
                                      QStringLiteral("S"));
    const QCommandLineOption until(QStringLiteral("until"), QStringLiteral("Stop when the board has sent TEXT."),
                                   QStringLiteral("TEXT"));
    parser.addOptions({port, hex, timestamps, log, duration, until});
    if (const std::optional<int> status = parse(parser, arguments, QStringLiteral("monitor [options]"),
                                                QStringLiteral("Shows what the board sends, decoded from CP932.")))
        return status;
    if (!parser.positionalArguments().isEmpty()) {
        printError(QStringLiteral("monitor takes no arguments"));
        return exitstatus::kUsage;
    }
    const std::optional<QString> device = portDevice(parser.value(port));
    std::optional<double> seconds = 0.0;
    if (parser.isSet(duration))
        seconds = number(parser.value(duration), duration.names().constLast(), 0.001, 1e7);
    if (!device || !seconds)
        return exitstatus::kUsage;
    options = {*device, parser.value(log), parser.value(until), *seconds, parser.isSet(hex), parser.isSet(timestamps)};
    return std::nullopt;
}

// What goes to standard output and the log, and where the lines start.
class MonitorOutput : public QObject
{
public:
    MonitorOutput(const Options &options, QFile *log) : m_options(options), m_log(log) {}

    void show(const QByteArray &bytes, const QString &text)
    {
        QString shown = m_options.hex ? hexgroups::format(bytes) : text;
        if (m_options.timestamps) {
            // A hex dump has no lines of its own: each read becomes one.
            const QString start = m_options.hex ? m_stamper.breakLine() : QString();
            shown = start + m_stamper.stamp(shown, QTime::currentTime());
        }
        printOut(shown);
        if (m_log)
            m_log->write(shown.toUtf8());
    }

private:
    const Options &m_options;
    QFile *m_log;
    LineStamper m_stamper;
};

int watch(SerialChannel &channel, const Options &options, QFile *log)
{
    BoardReader reader(channel);
    reader.watchFor(options.until);
    MonitorOutput output(options, log);
    InterruptWatch interrupt;
    QEventLoop loop;
    QObject::connect(&reader, &BoardReader::received, &output, &MonitorOutput::show);
    QObject::connect(&reader, &BoardReader::lineEvent, &loop, [](int code) { printError(climessages::lineEvent(code)); });
    QObject::connect(&reader, &BoardReader::textSeen, &loop, [&loop] { loop.exit(exitstatus::kDone); });
    QObject::connect(&channel, &SerialChannel::disconnected, &loop, [&loop] { loop.exit(exitstatus::kInputOutput); });
    QObject::connect(&interrupt, &InterruptWatch::interrupted, &loop, [&loop] { loop.exit(exitstatus::kInterrupted); });
    const int atTimeout = options.until.isEmpty() ? exitstatus::kDone : exitstatus::kNoAnswer;
    if (options.duration > 0) {
        QTimer::singleShot(std::chrono::milliseconds(qint64(options.duration * 1000)), &loop,
                           [&loop, atTimeout] { loop.exit(atTimeout); });
    }
    const int status = loop.exec();
    if (status == exitstatus::kInputOutput)
        printError(climessages::deviceGone(options.device));
    else if (status == exitstatus::kNoAnswer)
        printError(climessages::noAnswer(options.until, options.duration));
    return status;
}

} // namespace

int runMonitor(const QStringList &arguments)
{
    Options options;
    if (const std::optional<int> status = readOptions(arguments, options))
        return *status;
    QFile log(options.log);
    if (!options.log.isEmpty() && !log.open(QIODevice::WriteOnly | QIODevice::Append)) {
        printError(climessages::fileProblem(options.log, log.errorString()));
        return exitstatus::kFile;
    }
    SerialChannel channel;
    // A trickle is read and printed about once a 60 Hz frame rather than
    // once a write: fewer wake-ups here and in the terminal that shows it.
    channel.setReadRest(std::chrono::milliseconds(14));
    if (const int status = openPort(channel, options.device))
        return status;
    return watch(channel, options, options.log.isEmpty() ? nullptr : &log);
}
