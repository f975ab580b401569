// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <QTime>

#include <optional>

// Small pure rules of tolvane-cli's input and output.
namespace consoletext {

// The text with every control character (C0, DEL, C1) shown as '?', so a
// file or device name cannot move the terminal's cursor or colour it.
QString withoutControls(QStringView text);

} // namespace consoletext

// Puts "[hh:mm:ss.zzz] " before every line of a stream that arrives in
// pieces; remembers whether the last piece ended a line.
class LineStamper
{
public:
    QString stamp(QStringView text, QTime now);
    // The next piece starts a line of its own.
    QString breakLine();

private:
    bool m_atLineStart = true;
};
