// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Small pure rules of tolvane-cli's input and output.
namespace consoletext {

// The text with every control character (C0, DEL, C1) shown as '?', so a
// file or device name cannot move the terminal's cursor or colour it.
QString withoutControls(QStringView text);

} // namespace consoletext
