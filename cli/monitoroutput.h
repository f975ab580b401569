// SPDX-License-Identifier: MIT
#pragma once

#include "capture/recordlines.h"

#include <QByteArray>
#include <QString>

// What monitor writes to standard output for each piece the board sends:
// the text with every line end as one LF, or the box's hex groups, each
// optionally stamped as the box stamps them; or the bytes unchanged. On a
// terminal, control characters other than tab and LF become the box's
// control pictures, so a board cannot rewrite the operator's screen.
class MonitorOutput
{
public:
    enum class Form { Text, Hex, Raw, Nothing };

    MonitorOutput(Form form, bool timestamps, bool terminal);

    QByteArray render(const QByteArray &bytes, const QString &text, qint64 msecsSinceEpoch);
    // Line ends the board sent, by the one line rule, whatever is shown.
    qint64 lines() const { return m_lines; }

private:
    QString shownOnTerminal(QString text) const;

    Form m_form;
    bool m_terminal;
    recordlines::LineStamper m_stamper;
    recordlines::LineStamper m_counter{recordlines::LineStamper::Stamp::None};
    qint64 m_lines = 0;
};
