// SPDX-License-Identifier: MIT
#include "cli/monitoroutput.h"

#include "capture/controlpictures.h"

using Stamp = recordlines::LineStamper::Stamp;

MonitorOutput::MonitorOutput(Form form, bool timestamps, bool terminal)
    : m_form(form)
    , m_terminal(terminal)
    , m_stamper(timestamps ? Stamp::Short : Stamp::None)
{
}

QByteArray MonitorOutput::render(const QByteArray &bytes, const QString &text, qint64 msecsSinceEpoch)
{
    const QString lines = m_counter.feed(text, msecsSinceEpoch);
    m_lines += lines.count(u'\n');
    switch (m_form) {
    case Form::Text:
        return shownOnTerminal(m_stamper.feed(text, msecsSinceEpoch)).toUtf8();
    case Form::Hex:
        return m_stamper.feedHex(bytes, msecsSinceEpoch).toUtf8();
    case Form::Raw:
        return bytes;
    case Form::Nothing:
        break;
    }
    return {};
}

QString MonitorOutput::shownOnTerminal(QString text) const
{
    if (!m_terminal)
        return text;
    for (QChar &character : text) {
        const char16_t unit = character.unicode();
        if (unit == u'\t' || unit == u'\n')
            continue;
        if (controlpictures::isControl(unit))
            character = QChar(controlpictures::pictureOf(unit));
        else if (unit >= 0x80 && unit < 0xA0)
            character = QChar(QChar::ReplacementCharacter); // C1 has no picture
    }
    return text;
}
