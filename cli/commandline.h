// SPDX-License-Identifier: MIT
#pragma once

#include <QCommandLineOption>
#include <QString>
#include <QStringList>

#include <optional>

class QCommandLineParser;
class QJsonDocument;
class SerialChannel;

// What tolvane-cli's exit status means; one cause each.
namespace exitstatus {
constexpr int kDone = 0;
constexpr int kUsage = 2;
constexpr int kPort = 3;
constexpr int kFile = 4;
constexpr int kInputOutput = 5;
constexpr int kNoAnswer = 6;
constexpr int kPartDiffers = 7;
constexpr int kHangUp = 129;
constexpr int kInterrupted = 130;
constexpr int kTerminated = 143;
} // namespace exitstatus

// The pieces every subcommand shares: messages, options, the port.
namespace commandline {

extern const QString kExitStatusHelp;

bool isTerminal(int fd);
// "tolvane-cli: message" on standard error, one line, no control codes.
void printError(const QString &message);
// A line on standard output, UTF-8, flushed.
void printOut(const QString &text);

QCommandLineOption portOption();
// Parses a subcommand's arguments (arguments[0] is its name). Nothing when
// the command should go on; otherwise the exit status: 0 after --help,
// kUsage after a mistake, which has been told.
std::optional<int> parse(QCommandLineParser &parser, const QStringList &arguments, const QString &synopsis,
                         const QString &description);
// A number within first..last, or nothing (told as a usage mistake).
std::optional<double> number(const QString &text, const QString &option, double first, double last);
// The same for a whole number: "2.5" is refused by name.
std::optional<int> wholeNumber(const QString &text, const QString &option, int first, int last);
// --port: a port number as the window takes it (1..16), or a device path.
std::optional<QString> portDevice(const QString &value);
// A JSON document as text for standard output, ending in a line end; C1
// and DEL escaped too, which JSON allows but does not require.
QString jsonLine(const QJsonDocument &document, bool compact = true);
// Opens the port on the window's line setting; the exit status on failure,
// told with the adapters there are when the port is missing or busy.
[[nodiscard]] int openPort(SerialChannel &channel, const QString &device);

} // namespace commandline
