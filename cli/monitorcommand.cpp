// SPDX-License-Identifier: MIT
#include "cli/commands.h"

#include "capture/boardcapture.h"
#include "capture/interruptwatch.h"
#include "cli/climessages.h"
#include "cli/commandline.h"
#include "cli/monitoroutput.h"
#include "cli/monitorsummary.h"
#include "serial/serialchannel.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <unistd.h>

using namespace commandline;

namespace {

struct Options
{
    QString device;
    // The port number the device was named by; 0 for a path.
    int port = 0;
    QString log;
    QString until;
    double duration = 0;
    MonitorOutput::Form form = MonitorOutput::Form::Text;
    bool timestamps = false;
    bool json = false;
};

const QString kDescription = QStringLiteral(
    "Shows what the board sends, decoded from CP932 to UTF-8, each line end (CR LF, LF or CR) written as LF.\n"
    "--log FILE records as the window's recording does: a name ending .bin gets the exact bytes, any other\n"
    "name the text form (lines stamped with date and time, port and line-error markers), whatever --hex says.");

// The options that cannot go with --raw, and whether raw bytes may reach standard output.
std::optional<int> refuseClashes(const QCommandLineParser &parser, bool raw, bool json, bool hasLog)
{
    if (raw) {
        for (const char *name : {"timestamps", "hex", "json"}) {
            if (parser.isSet(QLatin1String(name))) {
                printError(QStringLiteral("--raw writes the bytes unchanged and cannot go with --%1").arg(QLatin1String(name)));
                return exitstatus::kUsage;
            }
        }
        if (isTerminal(STDOUT_FILENO)) {
            printError(QStringLiteral("--raw is refused on a terminal, whose screen the bytes could rewrite; "
                                      "redirect standard output"));
            return exitstatus::kUsage;
        }
    }
    if (json && !hasLog) {
        printError(QStringLiteral("--json needs --log FILE: the board's data goes to the file, the summary to "
                                  "standard output"));
        return exitstatus::kUsage;
    }
    return std::nullopt;
}

std::optional<int> readOptions(const QStringList &arguments, Options &options)
{
    QCommandLineParser parser;
    const QCommandLineOption port = portOption();
    const QCommandLineOption hex(QStringLiteral("hex"), QStringLiteral("Show bytes as \"41 0D \" groups."));
    const QCommandLineOption raw(QStringLiteral("raw"),
                                 QStringLiteral("Write the bytes exactly as received (not to a terminal)."));
    const QCommandLineOption timestamps(QStringLiteral("timestamps"),
                                        QStringLiteral("Put [HH:MM:SS.mmm] before each line."));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Record to FILE: .bin = exact bytes, else stamped text."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("No board data on standard output; one JSON summary at the end "
                                                 "(needs --log)."));
    const QCommandLineOption duration(QStringLiteral("duration"), QStringLiteral("Stop after S seconds."),
                                      QStringLiteral("S"));
    const QCommandLineOption until(QStringLiteral("until"), QStringLiteral("Stop when the board has sent TEXT."),
                                   QStringLiteral("TEXT"));
    parser.addOptions({port, hex, raw, timestamps, log, json, duration, until});
    if (const std::optional<int> status = parse(parser, arguments, QStringLiteral("monitor [options]"), kDescription))
        return status;
    if (!parser.positionalArguments().isEmpty()) {
        printError(QStringLiteral("monitor takes no arguments"));
        return exitstatus::kUsage;
    }
    if (const std::optional<int> status = refuseClashes(parser, parser.isSet(raw), parser.isSet(json), parser.isSet(log)))
        return status;
    const std::optional<QString> device = portDevice(parser.value(port));
    std::optional<double> seconds = 0.0;
    if (parser.isSet(duration))
        seconds = number(parser.value(duration), duration.names().constLast(), 0.001, 1e7);
    if (!device || !seconds)
        return exitstatus::kUsage;
    using Form = MonitorOutput::Form;
    const Form form = parser.isSet(json) ? Form::Nothing
                      : parser.isSet(raw) ? Form::Raw
                      : parser.isSet(hex) ? Form::Hex
                                          : Form::Text;
    options = {*device, parser.value(port).toInt(), parser.value(log), parser.value(until), *seconds, form, parser.isSet(timestamps),
               parser.isSet(json)};
    return std::nullopt;
}

bool writeOut(const QByteArray &bytes)
{
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size())
           && std::fflush(stdout) == 0;
}

// One run of the command: the board's pieces to standard output, the
// recorder fed by the capture, and the first cause to end it.
class MonitorRun : public QObject
{
public:
    MonitorRun(SerialChannel &channel, BoardCapture &capture, const Options &options)
        : m_channel(channel)
        , m_capture(capture)
        , m_options(options)
        , m_output(options.form, options.timestamps, isTerminal(STDOUT_FILENO))
    {
    }

    int watch(InterruptWatch &interrupt);
    // Takes what is left, closes the port and the recording; the final status.
    int finish(int status);
    MonitorSummary summary() const;

private:
    void onReceived(const QByteArray &bytes, const QString &text, qint64 msecsSinceEpoch);
    void onTextSeen();
    void onRecordingFailed(const QString &reason);
    void end(int status) { m_loop.exit(status); }

    SerialChannel &m_channel;
    BoardCapture &m_capture;
    const Options &m_options;
    MonitorOutput m_output;
    QEventLoop m_loop;
    QElapsedTimer m_elapsed;
    qint64 m_bytes = 0;
    bool m_untilSeen = false;
    QString m_failure;
};

int MonitorRun::watch(InterruptWatch &interrupt)
{
    m_elapsed.start();
    m_capture.watchFor(m_options.until);
    connect(&m_capture, &BoardCapture::received, this, &MonitorRun::onReceived);
    connect(&m_capture, &BoardCapture::textSeen, this, &MonitorRun::onTextSeen);
    connect(&m_capture, &BoardCapture::lineError, this, [](int code) { printError(climessages::lineEvent(code)); });
    connect(&m_capture.recorder(), &ReceiveRecorder::failed, this, &MonitorRun::onRecordingFailed);
    connect(&m_channel, &SerialChannel::disconnected, this, [this] { end(exitstatus::kInputOutput); });
    connect(&interrupt, &InterruptWatch::interrupted, this, [this, &interrupt] { end(interrupt.exitStatus()); });
    const int atTimeout = m_options.until.isEmpty() ? exitstatus::kDone : exitstatus::kNoAnswer;
    if (m_options.duration > 0) {
        QTimer::singleShot(std::chrono::milliseconds(qint64(m_options.duration * 1000)), this,
                           [this, atTimeout] { end(atTimeout); });
    }
    const int status = m_loop.exec();
    if (status == exitstatus::kInputOutput && m_failure.isEmpty())
        printError(climessages::deviceGone(m_options.device));
    else if (status == exitstatus::kNoAnswer)
        printError(climessages::noAnswer(m_options.until, m_options.duration));
    return status;
}

void MonitorRun::onReceived(const QByteArray &bytes, const QString &text, qint64 msecsSinceEpoch)
{
    m_bytes += bytes.size();
    if (m_failure.isEmpty() && !writeOut(m_output.render(bytes, text, msecsSinceEpoch))) {
        m_failure = QStringLiteral("standard output: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        printError(m_failure);
        end(exitstatus::kInputOutput);
    }
}

void MonitorRun::onTextSeen()
{
    m_untilSeen = true;
    end(exitstatus::kDone);
}

void MonitorRun::onRecordingFailed(const QString &reason)
{
    if (!m_failure.isEmpty())
        return;
    m_failure = reason;
    printError(climessages::fileProblem(m_options.log, reason + QStringLiteral("; the recording stopped, what was "
                                                                               "written stays")));
    end(exitstatus::kInputOutput);
}

int MonitorRun::finish(int status)
{
    // Bytes the port still holds belong to the recording, whatever ended it.
    m_capture.takeRest();
    m_channel.setPortOpen(false);
    m_capture.recorder().stop();
    return m_failure.isEmpty() ? status : exitstatus::kInputOutput;
}

MonitorSummary MonitorRun::summary() const
{
    const double seconds = m_elapsed.isValid() ? double(m_elapsed.nsecsElapsed()) / 1e9 : 0.0;
    return {0, m_bytes, m_output.lines(), seconds, m_untilSeen};
}

int startRecording(ReceiveRecorder &recorder, const QString &path)
{
    if (path.isEmpty())
        return exitstatus::kDone;
    const bool binary = path.endsWith(QLatin1String(".bin"), Qt::CaseInsensitive);
    if (recorder.start(path, binary ? ReceiveRecorder::Format::Binary : ReceiveRecorder::Format::Text))
        return exitstatus::kDone;
    printError(climessages::fileProblem(path, recorder.errorString()));
    return exitstatus::kFile;
}

} // namespace

int runMonitor(const QStringList &arguments)
{
    Options options;
    if (const std::optional<int> status = readOptions(arguments, options))
        return *status;
    InterruptWatch interrupt;
    SerialChannel channel;
    BoardCapture capture(channel);
    capture.setTakesInput(true);
    MonitorRun run(channel, capture, options);
    // Recording first, so that the port's opening is its first marker.
    int status = startRecording(capture.recorder(), options.log);
    channel.setCommPort(options.port);
    // A trickle is read and printed about once a 60 Hz frame rather than
    // once a write: fewer wake-ups here and in the terminal that shows it.
    channel.setReadRest(std::chrono::milliseconds(14));
    if (status == exitstatus::kDone)
        status = openPort(channel, options.device);
    if (status == exitstatus::kDone)
        status = run.watch(interrupt);
    status = run.finish(status);
    if (options.json) {
        MonitorSummary summary = run.summary();
        summary.exit = status;
        (void)writeOut(summary.toJson());
    }
    return status;
}
