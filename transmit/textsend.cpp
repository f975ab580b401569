// SPDX-License-Identifier: MIT
#include "transmit/textsend.h"

#include "common/messagebox.h"
#include "serial/serialchannel.h"
#include "transmit/lineendchoice.h"

#include <QCheckBox>
#include <QLineEdit>

TextSend::TextSend(SerialChannel &channel, QLineEdit *text, QCheckBox *crLf, const LineEndChoice &lineEnd,
                   QWidget *window, QObject *parent)
    : QObject(parent)
    , MSCom(channel)
    , txtAscSnd(text)
    , chkCrLf(crLf)
    , m_lineEnd(lineEnd)
    , m_window(window)
{
}

void TextSend::send()
{
    if (!MSCom.portOpen()) {
        showMessage(m_window, messages::portNotOpen());
        return;
    }
    const QString line = txtAscSnd->text();
    // One call, even for an empty line; the channel encodes it in CP932.
    MSCom.output(chkCrLf->checkState() == Qt::Checked ? line + m_lineEnd.characters() : line);
    emit sent(line);
}
