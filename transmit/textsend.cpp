// SPDX-License-Identifier: MIT
#include "transmit/textsend.h"

#include "common/messagebox.h"
#include "serial/serialchannel.h"

#include <QCheckBox>
#include <QLineEdit>

TextSend::TextSend(SerialChannel &channel, QLineEdit *text, QCheckBox *crLf, QWidget *window,
                   QObject *parent)
    : QObject(parent)
    , MSCom(channel)
    , txtAscSnd(text)
    , chkCrLf(crLf)
    , m_window(window)
{
}

void TextSend::send()
{
    if (!MSCom.portOpen()) {
        showMessage(m_window, messages::portNotOpen());
        return;
    }
    QString line = txtAscSnd->text();
    if (chkCrLf->checkState() == Qt::Checked)
        line += QStringLiteral("\r\n");
    // One call, even for an empty line; the channel encodes it in CP932.
    MSCom.output(line);
}
